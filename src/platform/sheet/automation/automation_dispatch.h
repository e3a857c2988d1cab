// Late binding to the objects of the running spreadsheet application: a
// counted IDispatch reference and the kind of object it is (Windows only).
//
// Every member is reached by name. Its dispatch id is asked of the
// application the first time a member of that name is used on an object of
// that kind in this process, and kept: the application's object model fixes
// the ids (early-bound macros compile them in), so every later use is one
// Invoke, the one call that crosses into the application's process.
// Failing calls raise dorvane::RuntimeError (see raiseFor).
#pragma once

#include <ole2.h>

#include <initializer_list>
#include <string>

namespace dorvane::sheet::automation {

// The kinds of object the worksheet merge reaches; each keeps its own ids.
enum class Kind { Application, Workbook, Worksheet, Range, Comment };

// A VARIANT that clears itself.
class OwnedVariant {
 public:
  OwnedVariant() { ::VariantInit(&v_); }
  ~OwnedVariant() { ::VariantClear(&v_); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
  OwnedVariant(OwnedVariant&& other) noexcept : v_(other.v_) { ::VariantInit(&other.v_); }
  VARIANT* operator&() { return &v_; }
  const VARIANT& operator*() const { return v_; }

 private:
  VARIANT v_;
};

class Dispatch {
 public:
  Dispatch() = default;
  // Takes over the caller's reference to d (which may be null).
  Dispatch(Kind kind, IDispatch* d) : kind_(kind), d_(d) {}
  Dispatch(const Dispatch& other);
  Dispatch& operator=(const Dispatch& other);
  Dispatch(Dispatch&& other) noexcept;
  Dispatch& operator=(Dispatch&& other) noexcept;
  ~Dispatch();

  explicit operator bool() const { return d_ != nullptr; }
  IDispatch* get() const { return d_; }
  Kind kind() const { return kind_; }

  // The dispatch id of member, kept after the first lookup. Raises 438 when
  // the object has no member of that name.
  DISPID id(const wchar_t* member) const;
  // Whether this object has member: asks the object itself, whatever the
  // kept ids say (one call).
  bool hasMember(const wchar_t* member) const;

  // Property get, with positional arguments in the order written.
  OwnedVariant get(const wchar_t* member, std::initializer_list<VARIANT> args = {}) const;
  // Property put.
  void put(const wchar_t* member, const VARIANT& value) const;
  // Method call, with positional arguments in the order written.
  OwnedVariant call(const wchar_t* member, std::initializer_list<VARIANT> args = {}) const;
  // Method call with one named argument (Comment.Text Text:="...").
  OwnedVariant callNamed(const wchar_t* member, const wchar_t* argument,
                         const VARIANT& value) const;

  // The object a call returned, of the given kind; null for Nothing. Raises
  // 13 when the result is no object.
  static Dispatch objectOf(Kind kind, OwnedVariant&& result, const wchar_t* member);

 private:
  OwnedVariant invoke(const wchar_t* member, WORD flags, DISPID id, VARIANT* args, UINT count,
                      DISPID* named, UINT namedCount) const;

  Kind kind_ = Kind::Application;
  IDispatch* d_ = nullptr;
};

// A VARIANT holding a number or a text for an argument (not owned: the
// text must outlive the call).
VARIANT longArg(long v);
VARIANT boolArg(bool v);
VARIANT dispatchArg(IDispatch* d);

// The kind's name in the object model, for messages ("Range").
const char* kindName(Kind kind);

// Raises the run-time error a failed call stands for: the application's own
// error number when it raised one (1004 from a refused cell or comment call),
// 438 for an unknown member, 13 for a type mismatch, 462 when the
// application went away, else 1004 with the HRESULT. The description names
// the member.
[[noreturn]] void raiseFor(HRESULT h, const EXCEPINFO* info, Kind kind, const wchar_t* member);

}  // namespace dorvane::sheet::automation
