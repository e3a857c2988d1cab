// The control as a component object: ctlMessage behind IDispatch, created by
// the library's class factory. Calls are accepted only on the thread that
// created the object.
#pragma once

#include <dorvane/component.h>
#include <dorvane/ctl_message.h>

#include <atomic>
#include <memory>
#include <thread>

namespace dorvane::com {

// Objects and server locks alive in this library (DllCanUnloadNow).
std::atomic<long>& liveObjects();
std::atomic<long>& serverLocks();

class CtlMessageObject final : public IDispatch {
 public:
  // A new object with one reference.
  static CtlMessageObject* create();

  HRESULT QueryInterface(const Guid& iid, void** out) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;
  HRESULT GetIDsOfNames(const std::u16string& name, DISPID* id) override;
  HRESULT Invoke(DISPID id, std::uint16_t kind, std::vector<Variant>& args, Variant* result,
                 ExcepInfo* excep) override;

  ctlMessage& control() { return control_; }

 private:
  CtlMessageObject();
  ~CtlMessageObject();
  HRESULT getProperty(DISPID id, Variant* result);
  HRESULT putProperty(DISPID id, const Variant& value, bool byRef);
  HRESULT callMethod(DISPID id, std::vector<Variant>& args, Variant* result, ExcepInfo* excep);

  std::atomic<std::uint32_t> refs_{1};
  std::thread::id owner_;
  ctlMessage control_;
};

// The class factory of ctlMessage.
class CtlMessageFactory final : public IClassFactory {
 public:
  static CtlMessageFactory* create();
  HRESULT QueryInterface(const Guid& iid, void** out) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;
  HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out) override;
  HRESULT LockServer(bool lock) override;

 private:
  CtlMessageFactory() { ++liveObjects(); }
  ~CtlMessageFactory() { --liveObjects(); }
  std::atomic<std::uint32_t> refs_{1};
};

}  // namespace dorvane::com
