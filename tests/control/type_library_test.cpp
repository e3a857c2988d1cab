// The type library description against the control's published tables.
#include "control/type_library.h"

#include <gtest/gtest.h>

#include "platform/text/utf.h"

namespace dorvane::typelib {
namespace {

TEST(TypeLibrary, LibraryAndTypes) {
  const Library& lib = library();
  EXPECT_STREQ(lib.name, "Dorvane");
  EXPECT_STREQ(lib.helpString, "Dorvane");
  EXPECT_EQ(lib.major, 26);
  EXPECT_EQ(lib.minor, 0);
  ASSERT_EQ(lib.types.size(), 3u);
  EXPECT_STREQ(lib.types[0].name, "_ctlMessage");
  EXPECT_EQ(lib.types[0].kind, TypeKind::Interface);
  EXPECT_EQ(lib.types[0].flags &
                (kTypeFlagDual | kTypeFlagHidden | kTypeFlagNonExtensible | kTypeFlagOleAutomation),
            kTypeFlagDual | kTypeFlagHidden | kTypeFlagNonExtensible | kTypeFlagOleAutomation);
  EXPECT_STREQ(lib.types[1].name, "ctlMessage");
  EXPECT_EQ(lib.types[1].kind, TypeKind::CoClass);
  EXPECT_TRUE(lib.types[1].flags & kTypeFlagControl);
  EXPECT_STREQ(lib.types[2].name, "__ctlMessage");
  EXPECT_EQ(lib.types[2].kind, TypeKind::DispInterface);
  EXPECT_TRUE(lib.types[2].flags & kTypeFlagHidden);
  EXPECT_TRUE(lib.types[2].members.empty());
  EXPECT_EQ(kClsidCtlMessage.toString(), "{2362DF56-1756-4226-B838-C3B0E3E905B4}");
  EXPECT_EQ(kLibId.toString(), "{3D60A47F-9CC1-4C06-9103-967168E50A11}");
}

TEST(TypeLibrary, MembersInTheirOrderWithTheirIds) {
  struct Expected {
    const char* name;  // UTF-8
    com::DISPID id;
    MemberKind kind;
    size_t parameters;
  } expected[] = {
      {"c", 0x40030005, MemberKind::ObjectProperty, 0},
      {"kivdbtbl", 0x4003000D, MemberKind::ObjectProperty, 0},
      {"kivdbdetail", 0x4003000E, MemberKind::ObjectProperty, 0},
      {"objExcel", 0x40030014, MemberKind::ObjectProperty, 0},
      {"objWorkbook", 0x40030015, MemberKind::ObjectProperty, 0},
      {"objWorksheet", 0x40030016, MemberKind::ObjectProperty, 0},
      {"kivdb", 0x40030017, MemberKind::ObjectProperty, 0},
      {"DB", 0x40030018, MemberKind::ObjectProperty, 0},
      {"kivrs", 0x40030019, MemberKind::ObjectProperty, 0},
      {"kivrs2", 0x4003001A, MemberKind::ObjectProperty, 0},
      {"rs", 0x4003001B, MemberKind::ObjectProperty, 0},
      {"wkcycle", 0x40030028, MemberKind::ValueProperty, 0},
      {"text", 0x40030029, MemberKind::ValueProperty, 0},
      {"HitStr", 0x4003002A, MemberKind::ValueProperty, 0},
      {"textWeb", 0x4003002B, MemberKind::ValueProperty, 0},
      {"textWebbefore", 0x4003002C, MemberKind::ValueProperty, 0},
      {"明細型", 0x60030001, MemberKind::Method, 0},
      {"ocxKiv", 0x60030002, MemberKind::Method, 2},
      {"ocxwebKiv", 0x60030005, MemberKind::Method, 4},
      {"WEB明細型", 0x60030007, MemberKind::Method, 0},
  };
  const auto& members = defaultInterface().members;
  ASSERT_EQ(members.size(), std::size(expected));
  for (size_t i = 0; i < members.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(text::toUtf8(displayName(members[i])), expected[i].name);
    EXPECT_EQ(members[i].id, expected[i].id);
    EXPECT_EQ(members[i].kind, expected[i].kind);
    EXPECT_EQ(members[i].parameters.size(), expected[i].parameters);
    for (const auto& p : members[i].parameters) EXPECT_STREQ(p.type, "BSTR*");
  }
  // The Japanese names are held in code page 932.
  EXPECT_EQ(members[16].name, "\x96\xbe\x8d\xd7\x8c\x5e");
}

TEST(TypeLibrary, NamesBindCaseBlind) {
  EXPECT_EQ(memberByName(u"OCXWEBKIV")->id, 0x60030005);
  EXPECT_EQ(memberByName(u"hitstr")->id, 0x4003002A);
  EXPECT_EQ(memberByName(u"明細型")->id, 0x60030001);
  EXPECT_EQ(memberByName(u"web明細型")->id, 0x60030007);
  EXPECT_EQ(memberByName(u"nothing"), nullptr);
  EXPECT_EQ(memberById(0x12345), nullptr);
}

TEST(Guid, ParsesWhatItPrints) {
  auto g = com::Guid::parse("{2362df56-1756-4226-b838-c3b0e3e905b4}");
  ASSERT_TRUE(g);
  EXPECT_EQ(*g, kClsidCtlMessage);
  EXPECT_FALSE(com::Guid::parse("{2362DF56-1756-4226-B838-C3B0E3E905B}"));
  EXPECT_FALSE(com::Guid::parse("2362DF56x1756-4226-B838-C3B0E3E905B4"));
  EXPECT_FALSE(com::Guid::parse("{ZZ62DF56-1756-4226-B838-C3B0E3E905B4}"));
}

}  // namespace
}  // namespace dorvane::typelib
