// The control as a COM object: ctlMessage behind its dual interface
// _ctlMessage, made by the class factory of this library, and a visual
// control that containers site (OleControl). A thin host: every
// property and method is the control's own; this object only turns COM
// arguments into the control's and its run-time errors into COM errors
// (an HRESULT of the control facility with the error number, and the
// description in IErrorInfo or EXCEPINFO).
#pragma once

#include <dorvane/ctl_message.h>
#include <ocidl.h>
#include <windows.h>

#include "dorvane_com.h"
#include "ocx/ole_control.h"

namespace dorvane::windows {

class CtlMessageCom final : public _ctlMessage, public ISupportErrorInfo, public OleControl {
 public:
  // A new object with one reference.
  static CtlMessageCom* create();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch: names bound through the type library (the Japanese method
  // names included); strings by reference accepted as BSTR*, VARIANT* or by
  // value.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* argError) override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

  // _ctlMessage: the object members
#define DORVANE_OBJECT_PROPERTY(name)                               \
  HRESULT STDMETHODCALLTYPE get_##name(IDispatch** value) override; \
  HRESULT STDMETHODCALLTYPE putref_##name(IDispatch* value) override;
  DORVANE_OBJECT_PROPERTY(c)
  DORVANE_OBJECT_PROPERTY(kivdbtbl)
  DORVANE_OBJECT_PROPERTY(kivdbdetail)
  DORVANE_OBJECT_PROPERTY(objExcel)
  DORVANE_OBJECT_PROPERTY(objWorkbook)
  DORVANE_OBJECT_PROPERTY(objWorksheet)
  DORVANE_OBJECT_PROPERTY(kivdb)
  DORVANE_OBJECT_PROPERTY(DB)
  DORVANE_OBJECT_PROPERTY(kivrs)
  DORVANE_OBJECT_PROPERTY(kivrs2)
  DORVANE_OBJECT_PROPERTY(rs)
#undef DORVANE_OBJECT_PROPERTY

  // _ctlMessage: the value members
  HRESULT STDMETHODCALLTYPE get_wkcycle(short* value) override;
  HRESULT STDMETHODCALLTYPE put_wkcycle(short value) override;
  HRESULT STDMETHODCALLTYPE get_text(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_text(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_HitStr(LONG* value) override;
  HRESULT STDMETHODCALLTYPE put_HitStr(LONG value) override;
  HRESULT STDMETHODCALLTYPE get_textWeb(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_textWeb(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_textWebbefore(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_textWebbefore(BSTR value) override;

  // _ctlMessage: the methods (Detail is 明細型, WebDetail WEB明細型)
  HRESULT STDMETHODCALLTYPE Detail() override;
  HRESULT STDMETHODCALLTYPE ocxKiv(BSTR* kivdbloc, BSTR* kivdb2loc, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE ocxwebKiv(BSTR* readFile, BSTR* saveFile, BSTR* kivdbloc,
                                      BSTR* kivdb2loc, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE WebDetail() override;

 private:
  CtlMessageCom();
  ~CtlMessageCom();
  HRESULT invokeMethod(DISPID id, DISPPARAMS* params, VARIANT* result, UINT* argError);
  HRESULT getProperty(DISPID id, VARIANT* result);
  HRESULT putProperty(DISPID id, bool byRef, const VARIANT& value);
  DISPID idOfName(LPOLESTR name);

  LONG refs_ = 1;
  ITypeInfo* typeInfo_ = nullptr;  // _ctlMessage, read at the first name bound
  ctlMessage control_;
};

}  // namespace dorvane::windows
