// The visual control in containers, as a form, a sheet or a page holds it:
// Wine's own ATL (a container no one here wrote) and a minimal container of
// the tests' own that calls in the order Windows containers do. Needs a
// desktop (xvfb-run under Wine), Dorvane.ocx registered, and the sample
// folder in place. Run in the folder of sampleweb.htm and samplekiv.sqlite:
//   dorvane_control_tests.exe SUFFIX
// writes click-bm-SUFFIX.htm, click-mouse-SUFFIX.htm (copies of the sample
// run's result) and dispatch-SUFFIX.htm (ocxwebKiv through the sited
// control) for tests/windows/run.sh to compare with the Linux build's bytes.
// Prints "ok   NAME" or "FAIL NAME (detail)" per check; the exit status is
// the number of failures.
#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "control/atl_host.h"
#include "dorvane_com.h"

namespace {

int failures = 0;

void check(bool ok, const std::string& name, const std::string& detail = "") {
  std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", name.c_str(), ok || detail.empty() ? "" : " (",
              ok || detail.empty() ? "" : (detail + ")").c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

std::string hex(HRESULT h) {
  char s[16];
  std::snprintf(s, sizeof s, "0x%08lX", static_cast<unsigned long>(h));
  return s;
}

const std::wstring kSampleFolder = L"C:\\Users\\Public\\Documents\\Dorvane\\Sample";
const std::wstring kSampleResult = kSampleFolder + L"\\sampleweb1.htm";

bool exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

HWND faceIn(HWND container) {
  return ::FindWindowExW(container, nullptr, L"DorvaneCtlMessageFace", nullptr);
}
HWND buttonOf(HWND face) { return face ? ::FindWindowExW(face, nullptr, L"BUTTON", nullptr) : 0; }

// The face's client size, and whether its button covers it exactly.
std::string faceShape(HWND face) {
  RECT f{}, b{};
  HWND button = buttonOf(face);
  if (!face || !button) return "no face";
  ::GetClientRect(face, &f);
  ::GetWindowRect(button, &b);
  ::MapWindowPoints(nullptr, face, reinterpret_cast<POINT*>(&b), 2);
  wchar_t caption[32] = {};
  ::GetWindowTextW(button, caption, 32);
  char s[96];
  std::snprintf(s, sizeof s, "%ldx%ld %s %s", f.right, f.bottom,
                ::EqualRect(&f, &b) ? "covered" : "uncovered",
                std::wstring(caption) == L"Command1" ? "Command1" : "other caption");
  return s;
}

// ---- members through IDispatch --------------------------------------------------

HRESULT call(IDispatch* d, const wchar_t* name, WORD kind, std::vector<VARIANT> args,
             VARIANT* result) {
  DISPID id;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  HRESULT h = d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(h)) return h;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS p{args.data(), kind == DISPATCH_PROPERTYPUT ? &put : nullptr,
               static_cast<UINT>(args.size()), kind == DISPATCH_PROPERTYPUT ? 1u : 0u};
  h = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &p, result, nullptr, nullptr);
  for (VARIANT& a : args) ::VariantClear(&a);
  return h;
}

VARIANT text(const wchar_t* s) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = ::SysAllocString(s);
  return v;
}

VARIANT number(short n) {
  VARIANT v;
  V_VT(&v) = VT_I2;
  V_I2(&v) = n;
  return v;
}

// wkcycle and text as "wkcycle|text".
std::wstring members(IDispatch* d) {
  VARIANT w, t;
  ::VariantInit(&w);
  ::VariantInit(&t);
  if (FAILED(call(d, L"wkcycle", DISPATCH_PROPERTYGET, {}, &w)) ||
      FAILED(call(d, L"text", DISPATCH_PROPERTYGET, {}, &t)) || V_VT(&t) != VT_BSTR)
    return L"unreadable";
  std::wstring s = std::to_wstring(V_I2(&w)) + L"|" + V_BSTR(&t);
  ::VariantClear(&t);
  return s;
}

// ---- the sample run by a click --------------------------------------------------

// Waits until the sample run's result appears (up to 15 s, pumping).
bool resultAppears() {
  for (int i = 0; i < 300 && !exists(kSampleResult); ++i) atl_host::pump(50);
  return exists(kSampleResult);
}

// Clicks the button with press(), then keeps the result as copy.
void clickRuns(const std::string& name, HWND button, IDispatch* control, void (*press)(HWND),
               const std::wstring& copy) {
  ::DeleteFileW(kSampleResult.c_str());
  call(control, L"wkcycle", DISPATCH_PROPERTYPUT, {number(7)}, nullptr);
  call(control, L"text", DISPATCH_PROPERTYPUT, {text(L"kept")}, nullptr);
  press(button);
  const bool written = resultAppears();
  check(written, name + ": the sample run writes sampleweb1.htm");
  ::CopyFileW(kSampleResult.c_str(), copy.c_str(), FALSE);
  const std::wstring after = members(control);
  check(after == L"7|kept", name + ": the clicked instance's members stay as they were",
        std::string(after.begin(), after.end()));
}

void pressByMessage(HWND button) { ::SendMessageW(button, BM_CLICK, 0, 0); }

// A real click: the pointer moved onto the button, pressed and released.
void pressByMouse(HWND button) {
  HWND form = ::GetAncestor(button, GA_ROOT);
  ::SetForegroundWindow(form);
  atl_host::pump(200);
  RECT r;
  ::GetWindowRect(button, &r);
  ::SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  atl_host::pump(100);
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  ::SendInput(1, &input[0], sizeof(INPUT));
  atl_host::pump(100);
  ::SendInput(1, &input[1], sizeof(INPUT));
}

// Watches for the message box of the test's thread from a thread of its
// own: the box's owner and text, then OK.
struct BoxWatcher {
  DWORD mainThread = ::GetCurrentThreadId();
  HWND owner = nullptr;
  std::wstring shown;
  HANDLE thread = nullptr;

  static BOOL CALLBACK findBox(HWND w, LPARAM found) {
    wchar_t c[16] = {};
    ::GetClassNameW(w, c, 16);
    if (std::wstring(c) != L"#32770" || !::IsWindowVisible(w)) return TRUE;
    *reinterpret_cast<HWND*>(found) = w;
    return FALSE;
  }
  static DWORD WINAPI watch(void* self) {
    auto* w = static_cast<BoxWatcher*>(self);
    for (int i = 0; i < 200; ++i) {
      HWND box = nullptr;
      ::EnumThreadWindows(w->mainThread, findBox, reinterpret_cast<LPARAM>(&box));
      if (box) {
        wchar_t t[512] = {};
        ::GetDlgItemTextW(box, 0xFFFF, t, 512);
        w->shown = t;
        w->owner = ::GetWindow(box, GW_OWNER);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        return 0;
      }
      ::Sleep(100);
    }
    return 1;
  }
  void start() { thread = ::CreateThread(nullptr, 0, watch, this, 0, nullptr); }
  void join() {
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
  }
};

// ---- Wine's ATL ------------------------------------------------------------------------

void inWinesAtl(const atl_host::Atl& atl, const std::wstring& suffix) {
  HWND form = atl_host::makeForm(420, 300);
  HWND ax = ::CreateWindowExW(0, L"AtlAxWin", L"Dorvane.ctlMessage", WS_CHILD | WS_VISIBLE, 10, 10,
                              160, 50, form, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  atl_host::pump(100);
  HWND face = faceIn(ax);
  check(face && ::IsWindowVisible(face), "AtlAxWin: the control is sited and its face shown");
  check(faceShape(face) == "160x50 covered Command1", "AtlAxWin: Command1 covers the face",
        faceShape(face));
  IUnknown* unknown = nullptr;
  atl.getControl(ax, &unknown);
  IOleInPlaceObject* inPlace = nullptr;
  HWND window = nullptr;
  if (unknown) unknown->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace));
  if (inPlace) inPlace->GetWindow(&window);
  check(window && window == face, "AtlAxWin: in-place active (its window is the face)");
  if (inPlace) inPlace->Release();
  ::MoveWindow(ax, 10, 10, 240, 80, TRUE);
  atl_host::pump(50);
  check(faceShape(face) == "240x80 covered Command1", "AtlAxWin: resized, Command1 still covers",
        faceShape(face));

  IDispatch* control = nullptr;
  if (unknown) unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&control));
  if (unknown) unknown->Release();
  if (!control || !buttonOf(face)) {
    check(false, "AtlAxWin: the sited control answers IDispatch");
    return;
  }
  clickRuns("BM_CLICK", buttonOf(face), control, pressByMessage, L"click-bm-" + suffix + L".htm");
  clickRuns("mouse click", buttonOf(face), control, pressByMouse,
            L"click-mouse-" + suffix + L".htm");

  // Without the sample folder: the reason in a box owned by the form.
  const std::wstring away = kSampleFolder + L".away";
  ::MoveFileW(kSampleFolder.c_str(), away.c_str());
  BoxWatcher watcher;
  watcher.start();
  pressByMessage(buttonOf(face));
  watcher.join();
  ::MoveFileW(away.c_str(), kSampleFolder.c_str());
  check(watcher.shown.find(L"does not exist") != std::wstring::npos,
        "no sample folder: a box gives the reason",
        std::string(watcher.shown.begin(), watcher.shown.end()));
  check(watcher.owner == form, "no sample folder: the box is owned by the form");
  check(::IsWindow(face) && members(control) == L"7|kept", "no sample folder: the host goes on");

  // The entry method through the sited control's IDispatch.
  VARIANT result;
  ::VariantInit(&result);
  const std::wstring saved = L"dispatch-" + suffix + L".htm";
  HRESULT h = call(
      control, L"ocxwebKiv", DISPATCH_METHOD,
      {text(L""), text(L"samplekiv.sqlite"), text(saved.c_str()), text(L"sampleweb.htm")}, &result);
  check(h == S_OK && V_VT(&result) == VT_EMPTY && exists(saved),
        "ocxwebKiv through the sited control's IDispatch", hex(h));
  control->Release();

  // atl100.dll's AtlAxCreateControlEx on a window of the form.
  HWND host = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 120, 200, 60, form,
                                nullptr, ::GetModuleHandleW(nullptr), nullptr);
  IUnknown *container = nullptr, *created = nullptr;
  h = atl.createControlEx(L"Dorvane.ctlMessage", host, nullptr, &container, &created, IID_NULL,
                          nullptr);
  atl_host::pump(50);
  check(h == S_OK && created && faceShape(faceIn(host)) == "200x60 covered Command1",
        "AtlAxCreateControlEx: sited and in-place active", hex(h) + " " + faceShape(faceIn(host)));
  if (container) container->Release();
  if (created) created->Release();
  ::DestroyWindow(form);  // the containers close and release their controls
  atl_host::pump(50);
}

// ---- a minimal container of the tests' own -------------------------------------------

// The site of one control on a form: IOleClientSite, IOleInPlaceSite and
// the ambient properties (IDispatch: UserMode). It records the calls.
class Site final : public IOleClientSite, public IOleInPlaceSite, public IDispatch {
 public:
  HWND form = nullptr;
  RECT rect{10, 10, 130, 50};
  bool userMode = false;
  std::string calls;
  LONG refs = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleInPlaceSite) || IsEqualIID(iid, IID_IOleWindow)) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override {
    *c = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override {
    *w = form;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return log("can ", S_OK); }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return log("active ", S_OK); }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return log("ui ", S_OK); }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override {
    *frame = nullptr;
    *doc = nullptr;
    *position = *clip = rect;
    info->fMDIApp = FALSE;
    info->hwndFrame = form;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return log("ui-off ", S_OK); }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return log("inactive ", S_OK); }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return E_NOTIMPL; }
  // IDispatch: the ambient properties
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    if (id != DISPID_AMBIENT_USERMODE || !result) return DISP_E_MEMBERNOTFOUND;
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = userMode ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

 private:
  HRESULT log(const char* call, HRESULT h) {
    calls += call;
    return h;
  }
};

// A sink of the event interface and a property bag: each counts what it gets.
class Counter final : public IPropertyBag {
 public:
  LONG refs = 1;
  int writes = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyBag) ||
        IsEqualIID(iid, DIID___ctlMessage)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR, VARIANT*, IErrorLog*) override { return E_INVALIDARG; }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override {
    ++writes;
    return S_OK;
  }
};

template <class I>
I* as(IUnknown* u, REFIID iid) {
  I* i = nullptr;
  u->QueryInterface(iid, reinterpret_cast<void**>(&i));
  return i;
}

// Draws the face into a white 100 × 40 bitmap at (10, 5)-(90, 35): what is
// outside stays white, the face's colour fills it, its caption is darker.
std::string drawn(IViewObject* view, HRESULT* h) {
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 100, 40);
  ::ReleaseDC(nullptr, screen);
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  RECT all{0, 0, 100, 40};
  ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  const RECTL bounds{10, 5, 90, 35};
  *h =
      view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
  int outside = 0, face = 0, dark = 0;
  const COLORREF button = ::GetSysColor(COLOR_BTNFACE);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 100; ++x) {
      const COLORREF c = ::GetPixel(dc, x, y);
      if (x < 10 || x >= 90 || y < 5 || y >= 35) {
        outside += c != RGB(255, 255, 255);
      } else {
        face += c == button;
        dark += GetRValue(c) + GetGValue(c) + GetBValue(c) < 200;
      }
    }
  }
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  char s[96];
  std::snprintf(s, sizeof s, "outside %s, face %s, caption %s", outside ? "touched" : "white",
                face > 1200 ? "filled" : "empty", dark > 20 ? "drawn" : "missing");
  return s;
}

void inOwnContainer() {
  Site site;
  site.form = atl_host::makeForm(300, 200);
  IOleObject* object = nullptr;
  HRESULT h = ::CoCreateInstance(CLSID_ctlMessage, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                 reinterpret_cast<void**>(&object));
  check(h == S_OK, "own container: created as IOleObject", hex(h));
  if (!object) return;
  DWORD misc = 0;
  object->GetMiscStatus(DVASPECT_CONTENT, &misc);
  check(misc == 0x20191 && (misc & OLEMISC_SETCLIENTSITEFIRST),
        "own container: miscellaneous status 0x20191", hex(misc));

  // The order of Windows containers: site first, InitNew, extent, activate.
  IPersistStreamInit* stream = as<IPersistStreamInit>(object, IID_IPersistStreamInit);
  SIZEL size{4000, 1200}, back{};
  const HRESULT steps[] = {
      object->SetClientSite(&site), stream ? stream->InitNew() : E_NOINTERFACE,
      object->SetExtent(DVASPECT_CONTENT, &size), object->GetExtent(DVASPECT_CONTENT, &back),
      object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, site.form, &site.rect)};
  bool allOk = true;
  for (HRESULT s : steps) allOk = allOk && s == S_OK;
  check(allOk && back.cx == 4000 && back.cy == 1200,
        "own container: site, InitNew, extent, in-place activate");
  check(site.calls == "can active ", "own container: the site asked, then told of activation",
        site.calls);
  HWND face = faceIn(site.form);
  check(faceShape(face) == "120x40 covered Command1", "own container: Command1 covers the face",
        faceShape(face));
  IOleInPlaceObject* inPlace = as<IOleInPlaceObject>(object, IID_IOleInPlaceObject);
  const RECT wider{10, 10, 210, 70};
  h = inPlace->SetObjectRects(&wider, &wider);
  check(h == S_OK && faceShape(face) == "200x60 covered Command1",
        "own container: SetObjectRects, the face recomposes", faceShape(face));
  HWND tab = ::GetNextDlgTabItem(site.form, nullptr, FALSE);
  check(tab == buttonOf(face), "own container: Tab reaches the button");

  // Design mode: a click runs nothing. Run mode: Enter presses the button.
  ::DeleteFileW(kSampleResult.c_str());
  ::SendMessageW(buttonOf(face), BM_CLICK, 0, 0);
  atl_host::pump(300);
  check(!exists(kSampleResult), "design mode (UserMode False): a click runs nothing");
  site.userMode = true;
  IOleControl* control = as<IOleControl>(object, IID_IOleControl);
  control->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE);
  control->Release();
  IOleInPlaceActiveObject* active =
      as<IOleInPlaceActiveObject>(object, IID_IOleInPlaceActiveObject);
  MSG enter{buttonOf(face), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
  h = active->TranslateAccelerator(&enter);
  active->Release();
  check(h == S_OK && resultAppears(), "run mode: Enter on the button runs the sample", hex(h));

  // The face drawn into a memory device context.
  IViewObject2* view = as<IViewObject2>(object, IID_IViewObject2);
  check(drawn(view, &h) == "outside white, face filled, caption drawn" && h == S_OK,
        "Draw paints the face into a memory DC", drawn(view, &h));
  RECTL r{0, 0, 10, 10};
  HDC memoryDc = ::CreateCompatibleDC(nullptr);
  h = view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, memoryDc, &r, nullptr, nullptr, 0);
  ::DeleteDC(memoryDc);
  check(h == DV_E_DVASPECT, "Draw: only the content aspect", hex(h));
  view->Release();

  // Persistence stores nothing.
  IStream* memory = nullptr;
  ::CreateStreamOnHGlobal(nullptr, TRUE, &memory);
  ULARGE_INTEGER end{};
  stream->Save(memory, TRUE);
  memory->Seek(LARGE_INTEGER{}, STREAM_SEEK_END, &end);
  memory->Release();
  Counter bag;
  IPersistPropertyBag* bags = as<IPersistPropertyBag>(object, IID_IPersistPropertyBag);
  h = bags->Save(&bag, TRUE, TRUE);
  bags->Release();
  check(end.QuadPart == 0 && bag.writes == 0 && h == S_OK && stream->IsDirty() == S_FALSE,
        "persistence: nothing written to a stream or a property bag");
  stream->Release();

  // A sink of __ctlMessage connected and disconnected.
  IConnectionPointContainer* points =
      as<IConnectionPointContainer>(object, IID_IConnectionPointContainer);
  IConnectionPoint* point = nullptr;
  points->FindConnectionPoint(DIID___ctlMessage, &point);
  Counter sink;
  DWORD cookie = 0;
  const HRESULT connected = point ? point->Advise(&sink, &cookie) : E_NOINTERFACE;
  const LONG held = sink.refs;
  const HRESULT disconnected = point ? point->Unadvise(cookie) : E_NOINTERFACE;
  check(connected == S_OK && cookie && held > 1 && disconnected == S_OK && sink.refs == 1 &&
            point->Unadvise(cookie) == CONNECT_E_NOCONNECTION,
        "events: a sink connected (held) and disconnected (released)");
  if (point) point->Release();
  points->Release();

  // The class: a control whose default source is __ctlMessage.
  IProvideClassInfo2* info = as<IProvideClassInfo2>(object, IID_IProvideClassInfo2);
  GUID source{};
  ITypeInfo* type = nullptr;
  TYPEATTR* attr = nullptr;
  info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source);
  if (SUCCEEDED(info->GetClassInfo(&type))) type->GetTypeAttr(&attr);
  check(IsEqualGUID(source, DIID___ctlMessage) && attr && attr->typekind == TKIND_COCLASS &&
            IsEqualGUID(attr->guid, CLSID_ctlMessage) && (attr->wTypeFlags & TYPEFLAG_FCONTROL),
        "class info: the coclass, flagged as a control, source __ctlMessage");
  if (attr) type->ReleaseTypeAttr(attr);
  if (type) type->Release();
  info->Release();

  // Deactivate, close, leave the site: every reference back.
  h = inPlace->InPlaceDeactivate();
  inPlace->Release();
  check(h == S_OK && !::IsWindow(face) && site.calls.find("inactive") != std::string::npos,
        "own container: in-place deactivated, the face gone", site.calls);
  h = object->Close(OLECLOSE_NOSAVE);
  object->SetClientSite(nullptr);
  check(h == S_OK && site.refs == 1, "own container: closed, the site released",
        std::to_string(site.refs));
  object->Release();
  ::DestroyWindow(site.form);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring suffix = argc > 1 ? argv[1] : L"64";
  ::OleInitialize(nullptr);
  atl_host::Atl atl;
  const bool loaded = atl_host::load(atl);
  check(loaded, "Wine's ATL: AtlAxWinInit, AtlAxCreateControlEx, AtlAxGetControl");
  if (loaded) inWinesAtl(atl, suffix);
  inOwnContainer();
  atl_host::pump(100);
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  auto canUnload = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"Dorvane.ocx"), "DllCanUnloadNow")));
  const HRESULT h = canUnload ? canUnload() : E_FAIL;
  check(h == S_OK, "teardown: DllCanUnloadNow S_OK once every window is gone", hex(h));
  ::OleUninitialize();
  return failures;
}
