// A stand-in for the running spreadsheet application, for the tests and the
// benchmark of the automation backend: an out-of-process automation server
// that puts its application object into the Running Object Table under the
// class the ProgID "Excel.Application" names (the test's own prefix maps
// the ProgID to the class given here), and serves, through IDispatch by
// name, the members the worksheet merge calls, over the project's
// in-process sheet. It follows the object model as documented: Find/FindNext
// on the range of all cells, Address, Value, Row, Column, Item, Activate,
// Select, AddComment (refused on a cell that has a comment), Comment,
// Comment.Visible, Comment.Text with the named argument Text, and the
// worksheet functions Round, RoundUp, RoundDown. Every GetIDsOfNames and
// Invoke is recorded.
//
//   excel_standin.exe CLASS WORKBOOK RESULT LOG [--chart-sheet]
//                     [--comment ROW COLUMN] [--fail MEMBER N] [--timeout SECONDS]
//   CLASS     the class id to register under ({...})
//   WORKBOOK  an .xlsx loaded by the native workbook backend: its active sheet
//             is the active sheet served ("-": an empty workbook)
//   RESULT    where Application.Quit saves the workbook ("-": not saved)
//   LOG       the calls, one a line: "Range.Address" for an Invoke,
//             "Range.Value=" for a property put, "?Range.Address" for a lookup
//   --chart-sheet   the active sheet is a chart sheet (it has no cells)
//   --comment R C   the cell at row R, column C has a comment already
//   --fail M N      the Nth Invoke of member M ("Range.Value=") raises 1004
// Prints "ready" once registered; ends at Application.Quit, when the file
// LOG.stop appears, or after the timeout (default 120 s), and then writes
// RESULT and LOG.
#include <dorvane/runtime_error.h>
#include <dorvane/sheet.h>
#include <ole2.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/sheet/automation/automation_variant.h"
#include "platform/sheet/memory_sheet.h"
#include "platform/sheet/ooxml/ooxml_workbook.h"
#include "platform/text/utf.h"
#include "resolve/rounding.h"

namespace {

using dorvane::RuntimeError;
using dorvane::Variant;
namespace sheet = dorvane::sheet;
namespace automation = dorvane::sheet::automation;

// Asked of an object of this process for the object itself (never marshalled).
const IID kIidStandinObject = {
    0x5f0e2d1a, 0x8c47, 0x4b6e, {0x9a, 0x21, 0x3d, 0x55, 0x6e, 0x70, 0x81, 0x92}};

// ---- the record of calls --------------------------------------------------------

struct Recorder {
  std::vector<std::string> calls;
  std::map<std::string, int> counts;
  std::string failMember;
  int failAt = 0;

  // Records the call; true when it is the one to fail.
  bool record(const std::string& call) {
    calls.push_back(call);
    return call == failMember && ++counts[call] == failAt;
  }
};

Recorder recorder;

std::string utf8(const wchar_t* s) {
  return dorvane::text::toUtf8(std::u16string(reinterpret_cast<const char16_t*>(s)));
}

// ---- arguments ----------------------------------------------------------------------

// Argument `position` (0-based, as written), or the named argument `named`;
// null when the caller left it out.
const VARIANT* argument(const DISPPARAMS* p, UINT position, DISPID named = DISPID_UNKNOWN) {
  for (UINT i = 0; i < p->cNamedArgs; ++i) {
    if (p->rgdispidNamedArgs[i] == named) return &p->rgvarg[i];
  }
  const UINT positional = p->cArgs - p->cNamedArgs;
  if (position >= positional) return nullptr;
  const VARIANT* v = &p->rgvarg[p->cArgs - 1 - position];
  while (V_VT(v) == (VT_VARIANT | VT_BYREF)) v = V_VARIANTREF(v);
  if (V_VT(v) == VT_ERROR && V_ERROR(v) == DISP_E_PARAMNOTFOUND) return nullptr;  // missing
  return v;
}

const VARIANT& required(const DISPPARAMS* p, UINT position, DISPID named = DISPID_UNKNOWN) {
  const VARIANT* v = argument(p, position, named);
  if (!v) throw RuntimeError(450, "Wrong number of arguments or invalid property assignment");
  return *v;
}

double number(const VARIANT& v) {
  VARIANT d;
  ::VariantInit(&d);
  if (FAILED(::VariantChangeType(&d, const_cast<VARIANT*>(&v), 0, VT_R8))) {
    throw RuntimeError(13, "Type mismatch: a number was expected");
  }
  return V_R8(&d);
}

std::u16string text(const VARIANT& v) {
  const Variant value = automation::fromVARIANT(v);
  if (!value.isString()) throw RuntimeError(13, "Type mismatch: a text was expected");
  return value.asString();
}

// ---- objects ------------------------------------------------------------------------

struct Member {
  const wchar_t* name;
  DISPID id;
};

// An automation object of the stand-in: IDispatch over a member table.
class StandinObject : public IDispatch {
 public:
  StandinObject(const char* kind, std::vector<Member> members)
      : kind_(kind), members_(std::move(members)) {}
  virtual ~StandinObject() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kIidStandinObject) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (count == 0) return E_INVALIDARG;
    recorder.record("?" + std::string(kind_) + "." + utf8(names[0]));
    HRESULT h = S_OK;
    ids[0] = DISPID_UNKNOWN;
    for (const Member& m : members_) {
      if (::lstrcmpiW(m.name, names[0]) == 0) ids[0] = m.id;
    }
    if (ids[0] == DISPID_UNKNOWN) h = DISP_E_UNKNOWNNAME;
    for (UINT i = 1; i < count; ++i) {
      ids[i] = argumentId(ids[0], names[i]);
      if (ids[i] == DISPID_UNKNOWN) h = DISP_E_UNKNOWNNAME;
    }
    return h;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT*) override {
    const wchar_t* name = nullptr;
    for (const Member& m : members_) {
      if (m.id == id) name = m.name;
    }
    if (!name) return DISP_E_MEMBERNOTFOUND;
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    const std::string call = std::string(kind_) + "." + utf8(name) + (put ? "=" : "");
    VARIANT ignored;
    ::VariantInit(&ignored);
    if (!result) result = &ignored;
    try {
      if (recorder.record(call)) {
        throw RuntimeError(1004, "The stand-in refuses " + call + " (a failure made on purpose)");
      }
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      invoke(id, put, params ? params : &none, *result);
      ::VariantClear(&ignored);
      return S_OK;
    } catch (const RuntimeError& e) {
      ::VariantClear(&ignored);
      if (info) {
        *info = EXCEPINFO{};
        info->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, e.number());
        const std::u16string d = dorvane::text::fromUtf8(e.description());
        info->bstrDescription = ::SysAllocString(reinterpret_cast<const OLECHAR*>(d.c_str()));
        info->bstrSource = ::SysAllocString(L"Excel stand-in");
      }
      return DISP_E_EXCEPTION;
    }
  }

 protected:
  // Runs member id; put for a property put (the value is argument 0).
  virtual void invoke(DISPID id, bool put, const DISPPARAMS* p, VARIANT& result) = 0;
  // The dispatch id of a named argument of member, DISPID_UNKNOWN for none.
  virtual DISPID argumentId(DISPID, const wchar_t*) { return DISPID_UNKNOWN; }

  static void returnObject(VARIANT& result, StandinObject* object) {
    V_VT(&result) = VT_DISPATCH;
    V_DISPATCH(&result) = object;  // null for Nothing
  }
  static void returnValue(VARIANT& result, const Variant& v) { automation::toVARIANT(v, result); }

 private:
  const char* kind_;
  std::vector<Member> members_;
  ULONG refs_ = 1;
};

// The object a caller passed back (FindNext's After), as this process made it.
template <class T>
T* ownObject(const VARIANT& v) {
  if (V_VT(&v) != VT_DISPATCH || !V_DISPATCH(&v)) return nullptr;
  IDispatch* self = nullptr;
  if (FAILED(V_DISPATCH(&v)->QueryInterface(kIidStandinObject, reinterpret_cast<void**>(&self)))) {
    return nullptr;
  }
  self->Release();
  return dynamic_cast<T*>(static_cast<StandinObject*>(self));
}

class StandinComment : public StandinObject {
 public:
  explicit StandinComment(std::shared_ptr<sheet::Comment> c)
      : StandinObject("Comment", {{L"Visible", 1}, {L"Text", 2}}), c_(std::move(c)) {}

 protected:
  void invoke(DISPID id, bool put, const DISPPARAMS* p, VARIANT& result) override {
    if (id == 1) {
      if (put) {
        c_->setVisible(number(required(p, 0, DISPID_PROPERTYPUT)) != 0);
      } else {
        returnValue(result, Variant::boolean(c_->visible()));
      }
      return;
    }
    // Text(Text, Start, Overwrite): sets the text when given one; gives it.
    if (const VARIANT* t = argument(p, 0, 0)) c_->setText(text(*t));
    returnValue(result, Variant::string(c_->text()));
  }
  DISPID argumentId(DISPID member, const wchar_t* name) override {
    if (member != 2) return DISPID_UNKNOWN;
    if (::lstrcmpiW(name, L"Text") == 0) return 0;
    if (::lstrcmpiW(name, L"Start") == 0) return 1;
    if (::lstrcmpiW(name, L"Overwrite") == 0) return 2;
    return DISPID_UNKNOWN;
  }

 private:
  std::shared_ptr<sheet::Comment> c_;
};

class StandinRange : public StandinObject {
 public:
  enum : DISPID {
    kFind = 1,
    kFindNext,
    kAddress,
    kValue,
    kRow,
    kColumn,
    kItem,
    kActivate,
    kSelect,
    kAddComment,
    kComment
  };
  StandinRange(std::shared_ptr<sheet::Worksheet> ws, std::shared_ptr<sheet::Range> r)
      : StandinObject("Range", {{L"Find", kFind},
                                {L"FindNext", kFindNext},
                                {L"Address", kAddress},
                                {L"Value", kValue},
                                {L"Row", kRow},
                                {L"Column", kColumn},
                                {L"Item", kItem},
                                {L"Activate", kActivate},
                                {L"Select", kSelect},
                                {L"AddComment", kAddComment},
                                {L"Comment", kComment}}),
        ws_(std::move(ws)),
        r_(std::move(r)) {}

 protected:
  void invoke(DISPID id, bool put, const DISPPARAMS* p, VARIANT& result) override {
    switch (id) {
      case kFind:
        return range(result, r_->Find(text(required(p, 0))));
      case kFindNext: {
        auto* after = ownObject<StandinRange>(required(p, 0));
        if (!after) throw RuntimeError(13, "Type mismatch: FindNext wants a cell of this sheet");
        return range(result, r_->FindNext(*after->r_));
      }
      case kAddress:
        return returnValue(result, Variant::string(r_->Address()));
      case kValue:
        if (put) {
          r_->setValue(automation::fromVARIANT(required(p, 0, DISPID_PROPERTYPUT)));
        } else {
          returnValue(result, r_->Value());
        }
        return;
      case kRow:
        return returnValue(result, Variant::longValue(r_->Row()));
      case kColumn:
        return returnValue(result, Variant::longValue(r_->Column()));
      case kItem:
        return range(result, ws_->Cells(static_cast<long>(number(required(p, 0))),
                                        static_cast<long>(number(required(p, 1)))));
      case kActivate:
        r_->Activate();
        return returnValue(result, Variant::boolean(true));
      case kSelect:
        r_->Select();
        return returnValue(result, Variant::boolean(true));
      case kAddComment:
        return comment(result, r_->AddComment());
      case kComment:
        return comment(result, r_->comment());
      default:
        throw RuntimeError(438, "Object doesn't support this property or method");
    }
  }

 private:
  void range(VARIANT& result, std::shared_ptr<sheet::Range> r) {
    returnObject(result, r ? new StandinRange(ws_, std::move(r)) : nullptr);
  }
  static void comment(VARIANT& result, std::shared_ptr<sheet::Comment> c) {
    returnObject(result, c ? new StandinComment(std::move(c)) : nullptr);
  }

  std::shared_ptr<sheet::Worksheet> ws_;
  std::shared_ptr<sheet::Range> r_;
};

class StandinWorksheet : public StandinObject {
 public:
  explicit StandinWorksheet(std::shared_ptr<sheet::Worksheet> ws)
      : StandinObject("Worksheet", {{L"Cells", 1}}), ws_(std::move(ws)) {}

 protected:
  // Cells, or Cells(row, column) as a script writes it.
  void invoke(DISPID, bool, const DISPPARAMS* p, VARIANT& result) override {
    const VARIANT* row = argument(p, 0);
    const VARIANT* column = argument(p, 1);
    auto r = row && column
                 ? ws_->Cells(static_cast<long>(number(*row)), static_cast<long>(number(*column)))
                 : ws_->Cells();
    returnObject(result, new StandinRange(ws_, std::move(r)));
  }

 private:
  std::shared_ptr<sheet::Worksheet> ws_;
};

// A chart sheet: a sheet without cells.
class StandinChart : public StandinObject {
 public:
  StandinChart() : StandinObject("Chart", {{L"Name", 1}}) {}

 protected:
  void invoke(DISPID, bool, const DISPPARAMS*, VARIANT& result) override {
    returnValue(result, Variant::string(u"Chart1"));
  }
};

class StandinWorkbook : public StandinObject {
 public:
  explicit StandinWorkbook(std::shared_ptr<sheet::Workbook> wb, bool chart)
      : StandinObject("Workbook", {{L"ActiveSheet", 1}}), wb_(std::move(wb)), chart_(chart) {}

 protected:
  void invoke(DISPID, bool, const DISPPARAMS*, VARIANT& result) override {
    if (chart_) return returnObject(result, new StandinChart);
    returnObject(result, new StandinWorksheet(wb_->ActiveSheet()));
  }

 private:
  std::shared_ptr<sheet::Workbook> wb_;
  bool chart_;
};

class StandinFunctions : public StandinObject {
 public:
  StandinFunctions()
      : StandinObject("WorksheetFunction", {{L"Round", 1}, {L"RoundUp", 2}, {L"RoundDown", 3}}) {}

 protected:
  void invoke(DISPID id, bool, const DISPPARAMS* p, VARIANT& result) override {
    const dorvane::RoundingMode mode = id == 1   ? dorvane::RoundingMode::Nearest
                                       : id == 2 ? dorvane::RoundingMode::Up
                                                 : dorvane::RoundingMode::Down;
    returnValue(result, Variant::dbl(dorvane::roundDecimal(number(required(p, 0)),
                                                           number(required(p, 1)), mode)));
  }
};

class StandinApplication : public StandinObject {
 public:
  StandinApplication(std::shared_ptr<sheet::Application> app, bool chart)
      : StandinObject(
            "Application",
            {{L"ActiveWorkbook", 1}, {L"WorksheetFunction", 2}, {L"Quit", 3}, {L"Name", 4}}),
        app_(std::move(app)),
        chart_(chart) {}

 protected:
  void invoke(DISPID id, bool, const DISPPARAMS*, VARIANT& result) override {
    switch (id) {
      case 1:
        return returnObject(result, new StandinWorkbook(app_->ActiveWorkbook(), chart_));
      case 2:
        return returnObject(result, new StandinFunctions);
      case 3:
        ::PostQuitMessage(0);
        return;
      default:
        return returnValue(result, Variant::string(u"Microsoft Excel (Dorvane test stand-in)"));
    }
  }

 private:
  std::shared_ptr<sheet::Application> app_;
  bool chart_;
};

// The class object: CreateObject("Excel.Application") in a script reaches the
// running stand-in through it (the benchmark's script does).
class StandinFactory : public IClassFactory {
 public:
  explicit StandinFactory(IDispatch* app) : app_(app) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    return app_->QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  IDispatch* app_;
};

int usage() {
  std::fprintf(stderr,
               "usage: excel_standin CLASS WORKBOOK RESULT LOG [--chart-sheet] "
               "[--comment ROW COLUMN] [--fail MEMBER N] [--timeout SECONDS]\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return usage();
  const std::string workbookPath = utf8(argv[2]), resultPath = utf8(argv[3]),
                    logPath = utf8(argv[4]);
  bool chart = false;
  long commentRow = 0, commentColumn = 0;
  unsigned timeoutSeconds = 120;
  for (int i = 5; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--chart-sheet") {
      chart = true;
    } else if (a == L"--comment" && i + 2 < argc) {
      commentRow = std::wcstol(argv[i + 1], nullptr, 10);
      commentColumn = std::wcstol(argv[i + 2], nullptr, 10);
      i += 2;
    } else if (a == L"--fail" && i + 2 < argc) {
      recorder.failMember = utf8(argv[i + 1]);
      recorder.failAt = static_cast<int>(std::wcstol(argv[i + 2], nullptr, 10));
      i += 2;
    } else if (a == L"--timeout" && i + 1 < argc) {
      timeoutSeconds = static_cast<unsigned>(std::wcstoul(argv[i + 1], nullptr, 10));
      ++i;
    } else {
      return usage();
    }
  }

  CLSID clsid;
  if (FAILED(::CLSIDFromString(argv[1], &clsid))) return usage();

  std::unique_ptr<sheet::ooxml::WorkbookFile> file;
  std::shared_ptr<sheet::Application> app;
  try {
    if (workbookPath != "-") {
      file = sheet::ooxml::WorkbookFile::open(workbookPath);
      app = file->application();
    } else {
      auto memory = std::make_shared<sheet::MemoryApplication>();
      memory->addWorkbook()->addWorksheet();
      app = memory;
    }
    if (commentRow > 0) {
      app->ActiveWorkbook()
          ->ActiveSheet()
          ->Cells(commentRow, commentColumn)
          ->AddComment()
          ->setText(u"already here");
    }
  } catch (const RuntimeError& e) {
    std::fprintf(stderr, "excel_standin: cannot load %s: error %d: %s\n", workbookPath.c_str(),
                 e.number(), e.description());
    return 1;
  }

  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  auto* application = new StandinApplication(app, chart);
  DWORD cookie = 0;
  // The table lives in the RPC service, which the call starts when it is not
  // running yet; the entry is there when the call returns.
  const HRESULT h = ::RegisterActiveObject(application, clsid, ACTIVEOBJECT_STRONG, &cookie);
  if (FAILED(h)) {
    std::fprintf(stderr, "excel_standin: RegisterActiveObject failed: 0x%08lX\n",
                 static_cast<unsigned long>(h));
    return 1;
  }
  StandinFactory factory(application);
  DWORD classCookie = 0;
  ::CoRegisterClassObject(clsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &classCookie);
  std::printf("ready\n");
  std::fflush(stdout);

  // Calls arrive through this thread's message loop; Quit, the stop file or
  // the timeout ends it.
  const std::wstring stopFile = std::wstring(argv[4]) + L".stop";
  const UINT_PTR timeout = ::SetTimer(nullptr, 0, timeoutSeconds * 1000, nullptr);
  const UINT_PTR poll = ::SetTimer(nullptr, 0, 100, nullptr);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr) {
      if (msg.wParam == poll) {
        if (::GetFileAttributesW(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES) break;
        continue;
      }
      if (msg.wParam == timeout) {
        std::fprintf(stderr, "excel_standin: not ended within %u s\n", timeoutSeconds);
        break;
      }
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  ::RevokeActiveObject(cookie, nullptr);
  ::CoRevokeClassObject(classCookie);
  ::CoDisconnectObject(application, 0);
  application->Release();
  ::CoUninitialize();

  int status = 0;
  if (file && resultPath != "-") {
    try {
      file->save(resultPath, resultPath);
    } catch (const RuntimeError& e) {
      std::fprintf(stderr, "excel_standin: cannot save %s: %s\n", resultPath.c_str(),
                   e.description());
      status = 1;
    }
  }
  std::ofstream log(logPath, std::ios::binary);
  for (const std::string& call : recorder.calls) log << call << '\n';
  return status;
}
