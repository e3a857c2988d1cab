// The COM server as a C++ client sees it: created by its ProgID, bound by
// name (the Japanese method names too) and by dispatch id, called through
// IDispatch with the argument forms hosts use and through the dual
// interface's table, its properties read and written, its errors reported
// with number and description. Needs Dorvane.ocx registered (run.sh does).
#include <dorvane/ctl_message.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "dorvane_com.h"
#include "platform/text/utf.h"
#include "support/temp_db.h"

namespace {

using dorvane::testing::TempDir;

struct Apartment {
  Apartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~Apartment() { ::CoUninitialize(); }
};

IDispatch* createByProgId() {
  CLSID clsid{};
  if (FAILED(::CLSIDFromProgID(L"Dorvane.ctlMessage", &clsid))) return nullptr;
  IDispatch* d = nullptr;
  ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                     reinterpret_cast<void**>(&d));
  return d;
}

DISPID idOf(IDispatch* d, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

// The sample database with "DB名" naming its own full path, and the sample page.
struct Sample {
  TempDir dir;
  std::string page = dir.file("sampleweb.htm"), db = dir.file("samplekiv.sqlite");
  Sample() {
    std::string sql = dorvane::testing::readBytes("samples/samplekiv.sql");
    for (size_t p; (p = sql.find("'samplekiv.sqlite'")) != std::string::npos;)
      sql.replace(p, 18, "'" + db + "'");
    dorvane::testing::buildDatabase(db, sql);
    const std::string bytes = dorvane::testing::readBytes("samples/sampleweb.htm");
    if (bytes.empty()) throw std::runtime_error("samples/sampleweb.htm: run from the repository");
    dorvane::testing::writeBytes(page, bytes);
  }
  std::u16string text;  // the control's text after the merge
  // What the control itself writes for the page (the façade, no COM).
  std::string expected(int codePage) {
    dorvane::ctlMessage c;
    c.setCodePage(codePage);
    const std::string out = dir.file("expected.htm");
    c.ocxwebKiv(dorvane::text::fromUtf8(page), dorvane::text::fromUtf8(out),
                dorvane::text::fromUtf8(db), u"");
    text = c.get_text();
    return dorvane::testing::readBytes(out);
  }
};

BSTR bstr(const std::string& utf8) {
  const std::u16string w = dorvane::text::fromUtf8(utf8);
  return ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(w.data()),
                             static_cast<UINT>(w.size()));
}

TEST(ComClient, NamesBindToTheDispatchIdsOfTheTable) {
  Apartment apartment;
  IDispatch* d = createByProgId();
  ASSERT_NE(d, nullptr) << "Dorvane.ctlMessage is not registered";
  const struct {
    const wchar_t* name;
    DISPID id;
  } cases[] = {
      {L"ocxwebKiv", 0x60030005},
      {L"OCXWEBKIV", 0x60030005},
      {L"ocxKiv", 0x60030002},
      {L"\u660e\u7d30\u578b", 0x60030001},     // 明細型
      {L"WEB\u660e\u7d30\u578b", 0x60030007},  // WEB明細型
      {L"wkcycle", 0x40030028},
      {L"text", 0x40030029},
      {L"HitStr", 0x4003002A},
      {L"kivrs", 0x40030019},
      {L"curdbloc", DISPID_UNKNOWN},
      {L"mergeWeb", DISPID_UNKNOWN},
  };
  for (const auto& c : cases) EXPECT_EQ(idOf(d, c.name), c.id) << std::wstring(c.name).size();
  d->Release();
}

TEST(ComClient, StringArgumentsByValueByReferenceAndAsVariablesMergeAlike) {
  Apartment apartment;
  Sample s;
  const std::string expected = s.expected(static_cast<int>(::GetACP()));
  ASSERT_NE(expected, dorvane::testing::readBytes(s.page));  // something was merged
  enum Form { Value, BstrRef, VariantRef };
  for (Form form : {Value, BstrRef, VariantRef}) {
    IDispatch* d = createByProgId();
    ASSERT_NE(d, nullptr);
    const std::string out = s.dir.file("out" + std::to_string(form) + ".htm");
    BSTR strings[4] = {bstr(s.page), bstr(out), bstr(s.db), bstr("")};
    VARIANT inner[4], args[4];
    for (int i = 0; i < 4; ++i) {
      VARIANT& a = args[3 - i];  // the last argument comes first
      V_VT(&inner[i]) = VT_BSTR;
      V_BSTR(&inner[i]) = strings[i];
      if (form == Value) {
        a = inner[i];
      } else if (form == BstrRef) {
        V_VT(&a) = VT_BSTR | VT_BYREF;
        V_BSTRREF(&a) = &strings[i];
      } else {
        V_VT(&a) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&a) = &inner[i];
      }
    }
    DISPPARAMS params{args, nullptr, 4, 0};
    VARIANT result;
    ::VariantInit(&result);
    EXPECT_EQ(
        d->Invoke(0x60030005, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(V_VT(&result), VT_EMPTY);
    EXPECT_EQ(dorvane::testing::readBytes(out), expected) << "form " << form;
    // The caller's strings are as they were.
    const std::u16string page = dorvane::text::fromUtf8(s.page);
    EXPECT_EQ(std::wstring(strings[0]), std::wstring(page.begin(), page.end()));
    // The members after the call: wkcycle 2, the merged page in text.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT v;
    ::VariantInit(&v);
    ASSERT_EQ(d->Invoke(0x40030028, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(V_VT(&v), VT_I2);
    EXPECT_EQ(V_I2(&v), 2);
    ASSERT_EQ(
        d->Invoke(idOf(d, L"text"), IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr),
        S_OK);
    ASSERT_EQ(V_VT(&v), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&v)), std::wstring(s.text.begin(), s.text.end()));
    ::VariantClear(&v);
    for (BSTR b : strings) ::SysFreeString(b);
    d->Release();
  }
}

TEST(ComClient, TheDualInterfaceTableMergesAsDispatchDoes) {
  Apartment apartment;
  Sample s;
  IDispatch* d = createByProgId();
  ASSERT_NE(d, nullptr);
  _ctlMessage* c = nullptr;
  ASSERT_EQ(d->QueryInterface(IID__ctlMessage, reinterpret_cast<void**>(&c)), S_OK);
  const std::string out = s.dir.file("vtable.htm");
  BSTR a = bstr(s.page), b = bstr(out), k = bstr(s.db), k2 = bstr("");
  VARIANT result;
  ::VariantInit(&result);
  EXPECT_EQ(c->ocxwebKiv(&a, &b, &k, &k2, &result), S_OK);
  const std::string merged = dorvane::testing::readBytes(out);
  EXPECT_NE(merged, dorvane::testing::readBytes(s.page) + "\r\n");
  EXPECT_EQ(merged, s.expected(static_cast<int>(::GetACP())));
  short cycle = 0;
  EXPECT_EQ(c->get_wkcycle(&cycle), S_OK);
  EXPECT_EQ(cycle, 2);
  EXPECT_EQ(c->put_wkcycle(1), S_OK);
  EXPECT_EQ(c->get_wkcycle(&cycle), S_OK);
  EXPECT_EQ(cycle, 1);
  // An object member handed out comes back in: the database of the last pass.
  IDispatch* kivdb = nullptr;
  EXPECT_EQ(c->get_kivdb(&kivdb), S_OK);
  ASSERT_NE(kivdb, nullptr);
  EXPECT_EQ(c->putref_DB(kivdb), S_OK);
  EXPECT_EQ(c->putref_kivrs(kivdb), DISP_E_TYPEMISMATCH);  // a database is no recordset
  kivdb->Release();
  EXPECT_EQ(c->putref_kivdb(nullptr), S_OK);
  EXPECT_EQ(c->get_kivdb(&kivdb), S_OK);
  EXPECT_EQ(kivdb, nullptr);
  for (BSTR x : {a, b, k, k2}) ::SysFreeString(x);
  c->Release();
  d->Release();
}

TEST(ComClient, ErrorsReachTheCallerWithNumberAndDescription) {
  Apartment apartment;
  IDispatch* d = createByProgId();
  ASSERT_NE(d, nullptr);
  ISupportErrorInfo* support = nullptr;
  ASSERT_EQ(d->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__ctlMessage), S_OK);
  support->Release();
  VARIANT null, big, text, ok;
  V_VT(&null) = VT_NULL;
  V_VT(&big) = VT_I4;
  V_I4(&big) = 70000;
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = ::SysAllocString(L"abc");
  V_VT(&ok) = VT_BSTR;
  V_BSTR(&ok) = ::SysAllocString(L"x");
  DISPID put = DISPID_PROPERTYPUT;
  const struct {
    DISPID id;
    WORD kind;
    std::vector<VARIANT> args;  // last argument first
    HRESULT result;
    int number;            // the run-time error in EXCEPINFO, 0 for none
    const wchar_t* names;  // a word its description holds
  } cases[] = {
      {0x60030005, DISPATCH_METHOD, {ok, ok, ok, null}, DISP_E_EXCEPTION, 13, L"readFile"},
      {0x60030002, DISPATCH_METHOD, {null, ok}, DISP_E_EXCEPTION, 13, L"kivdb2loc"},
      {0x40030028, DISPATCH_PROPERTYPUT, {big}, DISP_E_EXCEPTION, 6, L"wkcycle"},
      {0x40030028, DISPATCH_PROPERTYPUT, {text}, DISP_E_EXCEPTION, 13, L"wkcycle"},
      {0x40030029, DISPATCH_PROPERTYPUT, {null}, DISP_E_EXCEPTION, 13, L"text"},
      {0x60030005, DISPATCH_METHOD, {ok, ok}, DISP_E_BADPARAMCOUNT, 0, nullptr},
      {0x12345, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 0, nullptr},
  };
  for (const auto& c : cases) {
    std::vector<VARIANT> args = c.args;
    DISPPARAMS params{args.data(), c.kind == DISPATCH_PROPERTYPUT ? &put : nullptr,
                      static_cast<UINT>(args.size()), c.kind == DISPATCH_PROPERTYPUT ? 1u : 0u};
    EXCEPINFO e{};
    EXPECT_EQ(d->Invoke(c.id, IID_NULL, 0, c.kind, &params, nullptr, &e, nullptr), c.result)
        << std::hex << c.id;
    if (c.number) {
      EXPECT_EQ(e.scode, MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, c.number));
      ASSERT_NE(e.bstrDescription, nullptr);
      EXPECT_NE(std::wstring(e.bstrDescription).find(c.names), std::wstring::npos)
          << std::wstring(e.bstrDescription).size();
      EXPECT_EQ(std::wstring(e.bstrSource ? e.bstrSource : L""), L"Dorvane.ctlMessage");
    }
    ::SysFreeString(e.bstrSource);
    ::SysFreeString(e.bstrDescription);
  }
  ::VariantClear(&text);
  ::VariantClear(&ok);
  d->Release();
}

}  // namespace
