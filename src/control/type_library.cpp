#include "control/type_library.h"

#include "platform/text/code_page.h"
#include "platform/text/compare.h"

namespace dorvane::typelib {

namespace {

using com::DISPID;

// The Japanese method names in code page 932, as the library stores them.
const char kDetailRows[] = "\x96\xbe\x8d\xd7\x8c\x5e";        // 明細型
const char kWebDetailRows[] = "WEB\x96\xbe\x8d\xd7\x8c\x5e";  // WEB明細型

Library build() {
  const std::vector<Parameter> two = {{"kivdbloc", "BSTR*"}, {"kivdb2loc", "BSTR*"}};
  const std::vector<Parameter> four = {
      {"readFile", "BSTR*"}, {"saveFile", "BSTR*"}, {"kivdbloc", "BSTR*"}, {"kivdb2loc", "BSTR*"}};
  auto obj = [](const char* name, DISPID id, const char* type) {
    return Member{name, id, MemberKind::ObjectProperty, type, {}};
  };
  auto val = [](const char* name, DISPID id, const char* type) {
    return Member{name, id, MemberKind::ValueProperty, type, {}};
  };
  TypeInfo iface{"_ctlMessage",
                 kIidCtlMessage,
                 TypeKind::Interface,
                 kTypeFlagHidden | kTypeFlagDual | kTypeFlagNonExtensible | kTypeFlagOleAutomation |
                     kTypeFlagDispatchable,
                 {
                     obj("c", 0x40030005, "IDispatch*"),
                     obj("kivdbtbl", 0x4003000D, "_Recordset*"),
                     obj("kivdbdetail", 0x4003000E, "IDispatch*"),
                     obj("objExcel", 0x40030014, "_Application*"),
                     obj("objWorkbook", 0x40030015, "_Workbook*"),
                     obj("objWorksheet", 0x40030016, "_Worksheet*"),
                     obj("kivdb", 0x40030017, "Database*"),
                     obj("DB", 0x40030018, "Database*"),
                     obj("kivrs", 0x40030019, "IDispatch*"),
                     obj("kivrs2", 0x4003001A, "IDispatch*"),
                     obj("rs", 0x4003001B, "IDispatch*"),
                     val("wkcycle", 0x40030028, "short"),
                     val("text", 0x40030029, "BSTR"),
                     val("HitStr", 0x4003002A, "long"),
                     val("textWeb", 0x4003002B, "BSTR"),
                     val("textWebbefore", 0x4003002C, "BSTR"),
                     Member{kDetailRows, 0x60030001, MemberKind::Method, "void", {}},
                     Member{"ocxKiv", 0x60030002, MemberKind::Method, "VARIANT", two},
                     Member{"ocxwebKiv", 0x60030005, MemberKind::Method, "VARIANT", four},
                     Member{kWebDetailRows, 0x60030007, MemberKind::Method, "void", {}},
                 }};
  TypeInfo coclass{
      "ctlMessage", kClsidCtlMessage, TypeKind::CoClass, kTypeFlagCanCreate | kTypeFlagControl, {}};
  TypeInfo events{"__ctlMessage",
                  kDiidCtlMessageEvents,
                  TypeKind::DispInterface,
                  kTypeFlagHidden | kTypeFlagNonExtensible | kTypeFlagDispatchable,
                  {}};
  return Library{"Dorvane",     "Dorvane",
                 kLibId,        kMajorVersion,
                 kMinorVersion, {std::move(iface), std::move(coclass), std::move(events)}};
}

// Code page 932 to UTF-16 (the names are short and valid).
std::u16string decode932(const std::string& bytes) { return text::decodeCodePage(bytes, 932); }

struct Names {
  std::vector<std::pair<std::u16string, const Member*>> byName;
};

const Names& names() {
  static const Names table = [] {
    Names n;
    for (const Member& m : defaultInterface().members) n.byName.emplace_back(decode932(m.name), &m);
    return n;
  }();
  return table;
}

}  // namespace

const Library& library() {
  static const Library lib = build();
  return lib;
}

const TypeInfo& defaultInterface() { return library().types[0]; }

const Member* memberById(DISPID id) {
  for (const Member& m : defaultInterface().members)
    if (m.id == id) return &m;
  return nullptr;
}

const Member* memberByName(const std::u16string& name) {
  for (const auto& [n, m] : names().byName)
    if (text::equalsText(n, name)) return m;
  return nullptr;
}

std::u16string displayName(const Member& m) {
  for (const auto& [n, member] : names().byName)
    if (member == &m) return n;
  return decode932(m.name);
}

}  // namespace dorvane::typelib
