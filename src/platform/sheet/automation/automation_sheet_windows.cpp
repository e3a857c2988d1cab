#include <dorvane/runtime_error.h>

#include <cstdio>
#include <optional>
#include <string>

#include "platform/sheet/address.h"
#include "platform/sheet/automation/automation_dispatch.h"
#include "platform/sheet/automation/automation_sheet.h"
#include "platform/sheet/automation/automation_variant.h"
#include "platform/text/utf.h"

namespace dorvane::sheet::automation {

namespace {

// A text argument, freed when it goes.
class TextArg {
 public:
  explicit TextArg(const std::u16string& s) {
    ::VariantInit(&v_);
    V_VT(&v_) = VT_BSTR;
    V_BSTR(&v_) = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()),
                                      static_cast<UINT>(s.size()));
    if (!V_BSTR(&v_)) throw RuntimeError(err::kOutOfMemory, "Out of memory for a text argument");
  }
  ~TextArg() { ::VariantClear(&v_); }
  TextArg(const TextArg&) = delete;
  TextArg& operator=(const TextArg&) = delete;
  const VARIANT& operator*() const { return v_; }

 private:
  VARIANT v_;
};

// The result of a call as the given automation type; raises 13 when it is
// none.
OwnedVariant as(OwnedVariant&& result, VARTYPE type, Kind kind, const wchar_t* member) {
  if (V_VT(&*result) == type) return std::move(result);
  OwnedVariant converted;
  const HRESULT h = ::VariantChangeType(&converted, &result, 0, type);
  if (FAILED(h)) raiseFor(DISP_E_TYPEMISMATCH, nullptr, kind, member);
  return converted;
}

std::u16string textOf(OwnedVariant&& result, Kind kind, const wchar_t* member) {
  OwnedVariant s = as(std::move(result), VT_BSTR, kind, member);
  const BSTR b = V_BSTR(&*s);
  return b ? std::u16string(reinterpret_cast<const char16_t*>(b), ::SysStringLen(b))
           : std::u16string();
}

class AutomationComment : public Comment {
 public:
  explicit AutomationComment(Dispatch d) : d_(std::move(d)) {}

  void setVisible(bool visible) override { d_.put(L"Visible", boolArg(visible)); }
  void setText(const std::u16string& text) override {
    TextArg arg(text);
    d_.callNamed(L"Text", L"Text", *arg);
  }
  std::u16string text() const override { return textOf(d_.call(L"Text"), d_.kind(), L"Text"); }
  bool visible() const override {
    OwnedVariant v = as(d_.get(L"Visible"), VT_BOOL, d_.kind(), L"Visible");
    return V_BOOL(&*v) != VARIANT_FALSE;
  }

 private:
  Dispatch d_;
};

class AutomationRange : public Range {
 public:
  explicit AutomationRange(Dispatch d) : d_(std::move(d)) {}

  std::shared_ptr<Range> Find(const std::u16string& what) override {
    TextArg arg(what);
    return wrap(Dispatch::objectOf(Kind::Range, d_.call(L"Find", {*arg}), L"Find"));
  }

  std::shared_ptr<Range> FindNext(const Range& after) override {
    const auto* previous = dynamic_cast<const AutomationRange*>(&after);
    if (!previous) {
      throw RuntimeError(err::kTypeMismatch,
                         "Type mismatch: FindNext after a cell of another spreadsheet application");
    }
    return wrap(Dispatch::objectOf(
        Kind::Range, d_.call(L"FindNext", {dispatchArg(previous->d_.get())}), L"FindNext"));
  }

  std::u16string Address() const override {
    if (!address_) address_ = textOf(d_.get(L"Address"), Kind::Range, L"Address");
    return *address_;
  }

  Variant Value() const override {
    OwnedVariant v = d_.get(L"Value");
    return fromVARIANT(*v);
  }

  void setValue(const Variant& value) override {
    OwnedVariant v;
    toVARIANT(value, *&v);
    d_.put(L"Value", *v);
  }

  long Row() const override {
    if (row_ == 0) row_ = number(L"Row");
    return row_;
  }
  long Column() const override {
    if (column_ == 0) column_ = number(L"Column");
    return column_;
  }

  void Activate() override { d_.call(L"Activate"); }
  void Select() override { d_.call(L"Select"); }

  std::shared_ptr<Comment> AddComment() override {
    Dispatch note = Dispatch::objectOf(Kind::Comment, d_.call(L"AddComment"), L"AddComment");
    if (!note) {
      throw RuntimeError(err::kSheetOperationFailed,
                         "Range.AddComment: the spreadsheet application gave no comment");
    }
    return std::make_shared<AutomationComment>(std::move(note));
  }

  std::shared_ptr<Comment> comment() override {
    Dispatch note = Dispatch::objectOf(Kind::Comment, d_.get(L"Comment"), L"Comment");
    if (!note) return nullptr;
    return std::make_shared<AutomationComment>(std::move(note));
  }

  const Dispatch& dispatch() const { return d_; }

 private:
  static std::shared_ptr<Range> wrap(Dispatch d) {
    if (!d) return nullptr;
    return std::make_shared<AutomationRange>(std::move(d));
  }

  long number(const wchar_t* member) const {
    OwnedVariant v = as(d_.get(member), VT_I4, Kind::Range, member);
    return V_I4(&*v);
  }

  Dispatch d_;
  // What a cell's range says of itself does not change while it is held.
  mutable std::optional<std::u16string> address_;
  mutable long row_ = 0;
  mutable long column_ = 0;
};

class AutomationWorksheet : public Worksheet {
 public:
  explicit AutomationWorksheet(Dispatch d) : d_(std::move(d)) {}

  std::shared_ptr<Range> Cells() override { return std::make_shared<AutomationRange>(allCells()); }

  // Cells(row, column) is the Item of the range of all cells.
  std::shared_ptr<Range> Cells(long row, long column) override {
    requireOnSheet(row, column);
    Dispatch cell = Dispatch::objectOf(
        Kind::Range, allCells().get(L"Item", {longArg(row), longArg(column)}), L"Item");
    if (!cell) {
      throw RuntimeError(err::kSheetOperationFailed,
                         "Range.Item: the spreadsheet application gave no cell at " +
                             text::toUtf8(absoluteAddress(row, column)));
    }
    return std::make_shared<AutomationRange>(std::move(cell));
  }

 private:
  const Dispatch& allCells() {
    if (!cells_) cells_ = Dispatch::objectOf(Kind::Range, d_.get(L"Cells"), L"Cells");
    if (!cells_) {
      throw RuntimeError(err::kObjectNotSet, "Worksheet.Cells: the worksheet gave no cells");
    }
    return cells_;
  }

  Dispatch d_;
  Dispatch cells_;
};

class AutomationWorkbook : public Workbook {
 public:
  explicit AutomationWorkbook(Dispatch d) : d_(std::move(d)) {}

  // A sheet is taken as a worksheet when it has cells: chart and dialog
  // sheets have none.
  std::shared_ptr<Worksheet> ActiveSheet() override {
    Dispatch sheet = Dispatch::objectOf(Kind::Worksheet, d_.get(L"ActiveSheet"), L"ActiveSheet");
    if (!sheet) {
      throw RuntimeError(err::kObjectNotSet,
                         "Workbook.ActiveSheet: the workbook has no active sheet");
    }
    if (!sheet.hasMember(L"Cells")) {
      throw RuntimeError(err::kTypeMismatch,
                         "Type mismatch: the active sheet is not a worksheet (a chart or dialog "
                         "sheet has no cells)");
    }
    return std::make_shared<AutomationWorksheet>(std::move(sheet));
  }

 private:
  Dispatch d_;
};

class AutomationApplication : public Application {
 public:
  explicit AutomationApplication(Dispatch d) : d_(std::move(d)) {}

  std::shared_ptr<Workbook> ActiveWorkbook() override {
    Dispatch book =
        Dispatch::objectOf(Kind::Workbook, d_.get(L"ActiveWorkbook"), L"ActiveWorkbook");
    if (!book) {
      throw RuntimeError(err::kObjectNotSet,
                         "Application.ActiveWorkbook: the spreadsheet application has no workbook "
                         "open");
    }
    return std::make_shared<AutomationWorkbook>(std::move(book));
  }

 private:
  Dispatch d_;
};

std::string hex(HRESULT h) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(h));
  return buf;
}

}  // namespace

std::shared_ptr<Application> attach(const std::u16string& progId) {
  const std::string name = text::toUtf8(progId);
  CLSID clsid;
  HRESULT h = ::CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(progId.c_str()), &clsid);
  if (FAILED(h)) {
    throw RuntimeError(err::kCannotCreateObject, "ActiveX component can't create object: \"" +
                                                     name + "\" is not registered (" + hex(h) +
                                                     ")");
  }
  IUnknown* running = nullptr;
  h = ::GetActiveObject(clsid, nullptr, &running);
  if (FAILED(h) || !running) {
    throw RuntimeError(err::kCannotCreateObject, "ActiveX component can't create object: no \"" +
                                                     name + "\" is running (GetActiveObject " +
                                                     hex(h) + ")");
  }
  IDispatch* d = nullptr;
  h = running->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
  running->Release();
  if (FAILED(h) || !d) {
    throw RuntimeError(err::kCannotCreateObject,
                       "ActiveX component can't create object: the "
                       "running \"" +
                           name + "\" offers no automation (" + hex(h) + ")");
  }
  return std::make_shared<AutomationApplication>(Dispatch(Kind::Application, d));
}

}  // namespace dorvane::sheet::automation
