// A host of the component: registration in a private registry, creation by
// ProgID, every member through Invoke, a page merge called by name, release
// and unloading, and unregistration.
#include <dorvane/component.h>
#include <dorvane/engine.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "control/type_library.h"
#include "platform/text/utf.h"
#include "support/component_env.h"
#include "support/temp_db.h"

namespace dorvane::com {
namespace {

using testing::ComponentEnvironment;

class Component : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(env_.entry<decltype(&DllRegisterServer)>("DllRegisterServer")(), S_OK);
    std::string reason;
    ASSERT_EQ(CreateObject(u"Dorvane.ctlMessage", control_, &reason), S_OK) << reason;
  }
  void TearDown() override {
    control_.reset();
    env_.entry<decltype(&DllUnregisterServer)>("DllUnregisterServer")();
  }

  Variant get(DISPID id) {
    std::vector<Variant> none;
    Variant v;
    EXPECT_EQ(control_->Invoke(id, DISPATCH_PROPERTYGET, none, &v, nullptr), S_OK);
    return v;
  }
  HRESULT put(DISPID id, Variant v, std::uint16_t kind = DISPATCH_PROPERTYPUT) {
    std::vector<Variant> args{std::move(v)};
    return control_->Invoke(id, kind, args, nullptr, nullptr);
  }

  ComponentEnvironment env_;
  ComPtr<IDispatch> control_;
};

TEST_F(Component, MembersStartEmptyAndTakeWhatIsPut) {
  for (const auto& m : typelib::defaultInterface().members) {
    if (m.kind == typelib::MemberKind::Method) continue;
    SCOPED_TRACE(m.name);
    Variant start = get(m.id);
    if (m.kind == typelib::MemberKind::ObjectProperty) {
      EXPECT_EQ(start.type(), VarType::Object);
      EXPECT_EQ(start.asObject(), nullptr);
    } else if (start.isString()) {
      EXPECT_TRUE(start.asString().empty());
    } else {
      EXPECT_EQ(start.asInt(), 0);
    }
  }
  // Values by id and by name.
  EXPECT_EQ(put(0x40030028, Variant::longValue(2)), S_OK);
  EXPECT_EQ(get(0x40030028), Variant::integer(2));
  EXPECT_EQ(put(0x40030028, Variant::longValue(40000)), DISP_E_OVERFLOW);
  DISPID hit = 0;
  ASSERT_EQ(control_->GetIDsOfNames(u"HITSTR", &hit), S_OK);
  EXPECT_EQ(put(hit, Variant::string(u"12")), S_OK);
  EXPECT_EQ(get(hit), Variant::longValue(12));
  for (DISPID id : {0x40030029, 0x4003002B, 0x4003002C}) {
    EXPECT_EQ(put(id, Variant::string(u"テキスト")), S_OK);
    EXPECT_EQ(get(id), Variant::string(u"テキスト"));
  }
  // Objects by reference only, and of their own kind.
  testing::TempDir dir;
  testing::buildDatabase(dir.file("x.sqlite"), "CREATE TABLE t (a TEXT);");
  auto db = Engine::instance().OpenDatabase(text::fromUtf8(dir.file("x.sqlite")));
  EXPECT_EQ(put(0x40030018, Variant::object(db), DISPATCH_PROPERTYPUTREF), S_OK);
  EXPECT_EQ(get(0x40030018).asObject(), db);
  EXPECT_EQ(put(0x40030019, Variant::object(db), DISPATCH_PROPERTYPUTREF), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(put(0x40030018, Variant::object(db)), DISP_E_MEMBERNOTFOUND);  // not by value
  EXPECT_EQ(put(0x40030018, Variant::object(nullptr), DISPATCH_PROPERTYPUTREF), S_OK);
  EXPECT_EQ(get(0x40030018).asObject(), nullptr);
  DISPID unknown;
  EXPECT_EQ(control_->GetIDsOfNames(u"nothing", &unknown), DISP_E_UNKNOWNNAME);
  DISPID detail = 0;
  EXPECT_EQ(control_->GetIDsOfNames(u"明細型", &detail), S_OK);
  EXPECT_EQ(detail, 0x60030001);
  EXPECT_EQ(control_->GetIDsOfNames(u"web明細型", &detail), S_OK);
  EXPECT_EQ(detail, 0x60030007);
}

TEST_F(Component, OcxwebKivByNameMergesAPageAndLeavesItsArgumentsAlone) {
  testing::TempDir dir;
  const std::string db = dir.file("kiv.sqlite");
  testing::buildDatabase(db,
                         std::string(testing::referenceTableSchema()) +
                             "CREATE TABLE items (code TEXT, price DOUBLE);"
                             "INSERT INTO items VALUES ('A01', 120), ('A01', 80);"
                             "INSERT INTO 参照ﾃｰﾌﾞﾙ (ｷｰ, 転送優先, ｷｰﾌｨｰﾙﾄﾞ, DB名, ﾌｨｰﾙﾄﾞ名, "
                             "ﾌｨｰﾙﾄﾞﾀｲﾌﾟ, \"ﾃｰﾌﾞﾙ／ｸｴﾘｰF\", ﾃｰﾌﾞﾙ名, 単位, ﾗｳﾝﾄﾞ, 小数位) VALUES "
                             "('!!price', 1, 'code', '" +
                             db + "', 'price', '数値', 'table', 'items', 1, '四捨五入', 0);");
  std::ofstream(dir.file("in.htm"), std::ios::binary) << "<p>!!price,A01; gethere</p>";
  std::vector<Variant> args = {Variant::string(text::fromUtf8(dir.file("in.htm"))),
                               Variant::string(text::fromUtf8(dir.file("out.htm"))),
                               Variant::string(text::fromUtf8(db)), Variant::string(u"")};
  const auto before = args;
  Variant result = Variant::string(u"not touched yet");
  std::string reason;
  ASSERT_EQ(CallByName(*control_.get(), u"OcxWebKiv", DISPATCH_METHOD, args, &result, &reason),
            S_OK)
      << reason;
  EXPECT_TRUE(result.isEmpty());
  EXPECT_EQ(args, before);
  std::ifstream in(dir.file("out.htm"), std::ios::binary);
  std::string out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(out, "<p>!!price,A01; 200</p>\r\n");
  EXPECT_EQ(get(0x40030028), Variant::integer(2));  // wkcycle after the call

  std::vector<Variant> one = {Variant::string(u"x")};
  EXPECT_EQ(CallByName(*control_.get(), u"ocxwebKiv", DISPATCH_METHOD, one, nullptr),
            DISP_E_BADPARAMCOUNT);
}

TEST_F(Component, AnObjectAnswersOnlyOnItsOwnThread) {
  HRESULT fromOther = S_OK;
  std::thread([&] {
    DISPID id;
    fromOther = control_->GetIDsOfNames(u"text", &id);
  }).join();
  EXPECT_EQ(fromOther, RPC_E_WRONG_THREAD);
}

TEST_F(Component, TheLibraryUnloadsOnlyWhenNoObjectIsAlive) {
  auto canUnload = env_.entry<decltype(&DllCanUnloadNow)>("DllCanUnloadNow");
  EXPECT_EQ(canUnload(), S_FALSE);
  ComPtr<IDispatch> second = control_;
  control_.reset();
  EXPECT_EQ(canUnload(), S_FALSE);
  second.reset();
  EXPECT_EQ(canUnload(), S_OK);
  FreeUnusedLibraries();
}

TEST(ComponentRegistry, UnregisteredProgIdsAndMissingLibraries) {
  ComponentEnvironment env;
  ComPtr<IDispatch> object;
  std::string reason;
  EXPECT_EQ(CreateObject(u"Dorvane.ctlMessage", object, &reason), CO_E_CLASSSTRING);
  EXPECT_NE(reason.find("Dorvane.ctlMessage"), std::string::npos);
  std::ofstream(env.dir().file("registry"))
      << "[HKEY_CLASSES_ROOT\\Dorvane.ctlMessage\\CLSID]\n"
         "@=\"{2362DF56-1756-4226-B838-C3B0E3E905B4}\"\n"
         "[HKEY_CLASSES_ROOT\\CLSID\\{2362DF56-1756-4226-B838-C3B0E3E905B4}\\InprocServer32]\n"
         "@=\"/nonexistent/Dorvane.ocx\"\n";
  EXPECT_EQ(CreateObject(u"Dorvane.ctlMessage", object, &reason), CO_E_DLLNOTFOUND);
  EXPECT_NE(reason.find("/nonexistent/Dorvane.ocx"), std::string::npos);
}

}  // namespace
}  // namespace dorvane::com
