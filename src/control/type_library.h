// The type library "Dorvane": the description of the control that
// registration, dispatch and hosts read. Its readable source is dorvane.idl
// beside this file; the two say the same.
#pragma once

#include <dorvane/component.h>

#include <cstdint>
#include <string>
#include <vector>

namespace dorvane::typelib {

// Identities chosen once and kept: hosts bind by them.
inline constexpr com::Guid kLibId{
    0x3D60A47F, 0x9CC1, 0x4C06, {0x91, 0x03, 0x96, 0x71, 0x68, 0xE5, 0x0A, 0x11}};
inline constexpr com::Guid kClsidCtlMessage{
    0x2362DF56, 0x1756, 0x4226, {0xB8, 0x38, 0xC3, 0xB0, 0xE3, 0xE9, 0x05, 0xB4}};
inline constexpr com::Guid kIidCtlMessage{
    0x27E78DE4, 0x94C9, 0x4507, {0x8E, 0x84, 0x78, 0xAD, 0x6B, 0xF5, 0x38, 0x85}};
inline constexpr com::Guid kDiidCtlMessageEvents{
    0xDD55E4B7, 0x22ED, 0x4710, {0x9B, 0x80, 0x86, 0x6F, 0xC1, 0x51, 0x70, 0x74}};

inline constexpr char kProgId[] = "Dorvane.ctlMessage";
inline constexpr std::uint16_t kMajorVersion = 26;
inline constexpr std::uint16_t kMinorVersion = 0;

// Type flags as the automation type library records them.
inline constexpr unsigned kTypeFlagCanCreate = 0x2;
inline constexpr unsigned kTypeFlagHidden = 0x10;
inline constexpr unsigned kTypeFlagControl = 0x20;
inline constexpr unsigned kTypeFlagDual = 0x40;
inline constexpr unsigned kTypeFlagNonExtensible = 0x80;
inline constexpr unsigned kTypeFlagOleAutomation = 0x100;
inline constexpr unsigned kTypeFlagDispatchable = 0x1000;

enum class MemberKind {
  ObjectProperty,  // get and put-by-reference
  ValueProperty,   // get and put
  Method,
};

struct Parameter {
  const char* name;
  const char* type;  // "BSTR*" for the [in, out] strings
};

struct Member {
  std::string name;  // as the type library holds it: code page 932 bytes
  com::DISPID id;
  MemberKind kind;
  const char* type;  // the property's type, or the method's result ("void", "VARIANT")
  std::vector<Parameter> parameters;
};

enum class TypeKind { Interface, CoClass, DispInterface };

struct TypeInfo {
  const char* name;
  com::Guid guid;
  TypeKind kind;
  unsigned flags;
  std::vector<Member> members;  // in slot order
};

struct Library {
  const char* name;
  const char* helpString;
  com::Guid libId;
  std::uint16_t major, minor;
  std::vector<TypeInfo> types;  // _ctlMessage, ctlMessage, __ctlMessage
};

// The library description (built once).
const Library& library();

// The default interface _ctlMessage.
const TypeInfo& defaultInterface();

// The member of _ctlMessage with dispatch id id, or nullptr.
const Member* memberById(com::DISPID id);

// The member whose name equals name (case-blind, as automation binds names),
// or nullptr. name is UTF-16; the stored code page 932 names are decoded.
const Member* memberByName(const std::u16string& name);

// A member's name decoded from code page 932 to UTF-16.
std::u16string displayName(const Member& m);

}  // namespace dorvane::typelib
