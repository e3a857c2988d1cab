#include "ocx/held_object.h"

#include "ocx/ocx_module.h"

namespace dorvane::windows {

namespace {

// Asked for only by this library, to find its own wrappers again.
const IID kIidHeldObject = {
    0x8B3C1E52, 0x4D0A, 0x4F3E, {0x9A, 0x61, 0x2C, 0x77, 0x0E, 0x4B, 0xD1, 0x93}};

class HeldObject final : public IDispatch {
 public:
  explicit HeldObject(std::shared_ptr<Object> object) : object_(std::move(object)) {
    objectCreated();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kIidHeldObject)) {
      AddRef();
      *out = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                          DISPID* ids) override {
    for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  const std::shared_ptr<Object>& object() const { return object_; }

 private:
  ~HeldObject() { objectDestroyed(); }
  LONG refs_ = 1;
  std::shared_ptr<Object> object_;
};

}  // namespace

IDispatch* wrapHeldObject(std::shared_ptr<Object> object) {
  if (!object) return nullptr;
  return new HeldObject(std::move(object));
}

bool unwrapHeldObject(IDispatch* dispatch, std::shared_ptr<Object>& object) {
  object.reset();
  if (!dispatch) return true;
  void* held = nullptr;
  if (FAILED(dispatch->QueryInterface(kIidHeldObject, &held)) || !held) return false;
  auto* wrapper = static_cast<HeldObject*>(static_cast<IDispatch*>(held));
  object = wrapper->object();
  wrapper->Release();
  return true;
}

}  // namespace dorvane::windows
