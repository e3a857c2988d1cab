// The component runtime: objects created by ProgID and called by name, in the
// manner of automation. A host creates the control with CreateObject
// ("Dorvane.ctlMessage"), binds names to dispatch ids with GetIDsOfNames and
// calls Invoke; the library registers itself with DllRegisterServer.
//
// Ownership: interfaces are reference counted (AddRef/Release); ComPtr holds
// one reference and releases it when it goes. An object answers only on the
// thread that created it; a call from another thread gets RPC_E_WRONG_THREAD.
#pragma once

#include <dorvane/message_box.h>
#include <dorvane/variant.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane::com {

using HRESULT = std::int32_t;
using DISPID = std::int32_t;

constexpr HRESULT hr(std::uint32_t v) { return static_cast<HRESULT>(v); }
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOINTERFACE = hr(0x80004002);  // the object has no such interface
inline constexpr HRESULT E_POINTER = hr(0x80004003);      // a null out pointer
inline constexpr HRESULT E_FAIL = hr(0x80004005);         // unspecified failure
inline constexpr HRESULT E_INVALIDARG = hr(0x80070057);   // a bad argument
inline constexpr HRESULT CLASS_E_NOAGGREGATION = hr(0x80040110);      // aggregation refused
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hr(0x80040111);  // not this library's class
inline constexpr HRESULT REGDB_E_CLASSNOTREG = hr(0x80040154);        // class id not registered
inline constexpr HRESULT CO_E_CLASSSTRING = hr(0x800401F3);           // ProgID not registered
inline constexpr HRESULT CO_E_DLLNOTFOUND = hr(0x800401F8);           // server library missing
inline constexpr HRESULT SELFREG_E_CLASS = hr(0x80040201);            // registration failed
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = hr(0x80020003);      // no such member or access
inline constexpr HRESULT DISP_E_TYPEMISMATCH = hr(0x80020005);   // an argument of the wrong kind
inline constexpr HRESULT DISP_E_UNKNOWNNAME = hr(0x80020006);    // no member of that name
inline constexpr HRESULT DISP_E_EXCEPTION = hr(0x80020009);      // the member raised an error
inline constexpr HRESULT DISP_E_OVERFLOW = hr(0x8002000A);       // a number out of range
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = hr(0x8002000E);  // wrong number of arguments
inline constexpr HRESULT RPC_E_WRONG_THREAD = hr(0x8001010E);    // called from another thread

inline bool succeeded(HRESULT h) { return h >= 0; }

// Invoke kinds (may be combined, as hosts do for "get or call").
inline constexpr std::uint16_t DISPATCH_METHOD = 1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUT = 4;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUTREF = 8;

struct Guid {
  std::uint32_t data1;
  std::uint16_t data2, data3;
  std::uint8_t data4[8];

  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
  std::string toString() const;
  static std::optional<Guid> parse(std::string_view text);
  friend bool operator==(const Guid& a, const Guid& b);
};

inline constexpr Guid IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// What a member that raised an error reports (Invoke returns DISP_E_EXCEPTION).
struct ExcepInfo {
  int number = 0;
  std::string source;
  std::string description;
};

class IUnknown {
 public:
  virtual HRESULT QueryInterface(const Guid& iid, void** out) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

class IDispatch : public IUnknown {
 public:
  // The dispatch id of the member called name (case-blind), or DISP_E_UNKNOWNNAME.
  virtual HRESULT GetIDsOfNames(const std::u16string& name, DISPID* id) = 0;
  // Calls member id. args are the arguments in the member's parameter order;
  // arguments passed by reference are read and never written back. result
  // may be null; excep receives the error of a member that raised one.
  virtual HRESULT Invoke(DISPID id, std::uint16_t kind, std::vector<Variant>& args, Variant* result,
                         ExcepInfo* excep) = 0;

 protected:
  ~IDispatch() = default;
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out) = 0;
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// One counted reference to an interface.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Takes over a reference the caller already owns.
  static ComPtr adopt(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out parameters: releases what it held and gives the slot.
  void** out() {
    reset();
    return reinterpret_cast<void**>(&p_);
  }

 private:
  T* p_ = nullptr;
};

// Creates a new object of the class registered under progId: looks the class
// up in the registry, loads its library, asks it for the class factory and
// creates an instance. reason receives a sentence for a failure.
HRESULT CreateObject(const std::u16string& progId, ComPtr<IDispatch>& out,
                     std::string* reason = nullptr);

// Asks every library loaded by CreateObject whether it can be unloaded
// (DllCanUnloadNow) and unloads those that can.
void FreeUnusedLibraries();

// Invoke by name: GetIDsOfNames, then Invoke. reason receives a sentence for
// a failure (the member's error description when it raised one).
HRESULT CallByName(IDispatch& object, const std::u16string& name, std::uint16_t kind,
                   std::vector<Variant>& args, Variant* result, std::string* reason = nullptr);

// Gives box (not owned; it must outlive them) to the controls of this host
// and of every component library it loads from now on: their merge passes
// show "error" in it. A window host passes its dialog box; null restores the
// console box.
void SetHostMessageBox(MessageBox* box);

// The registry file: DORVANE_REGISTRY, else $XDG_CONFIG_HOME/dorvane/registry,
// else ~/.config/dorvane/registry.
std::string registryPath();

}  // namespace dorvane::com
