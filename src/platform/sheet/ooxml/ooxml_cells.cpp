#include "platform/sheet/ooxml/ooxml_cells.h"

#include <dorvane/runtime_error.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/sheet/ooxml/ooxml_formulas.h"
#include "platform/sheet/ooxml/ooxml_xml.h"
#include "platform/text/utf.h"

namespace dorvane::sheet::ooxml {

namespace {

constexpr const char* kWholeSheet = "A1:XFD1048576";

// Days since 1899-12-30 of an ISO date-time "2024-01-31T12:00:00".
std::optional<double> isoToSerial(const char* s) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  double sec = 0;
  const int got = std::sscanf(s, "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &sec);
  if (got < 3 || mo < 1 || mo > 12 || d < 1 || d > 31) return std::nullopt;
  // days_from_civil (H. Hinnant)
  y -= mo <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = era * 146097 + doe - 719468;  // since 1970-01-01
  return static_cast<double>(days + 25569) + (h * 3600 + mi * 60 + sec) / 86400.0;
}

std::string numberText(double d) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

void removeChildren(pugi::xml_node c, const char* name) {
  while (pugi::xml_node n = c.child(name)) c.remove_child(n);
}

void setAttr(pugi::xml_node n, const char* name, const char* value) {
  pugi::xml_attribute a = n.attribute(name);
  if (!a) a = n.append_attribute(name);
  a = value;
}

// A cell's content as the value v, keeping its style; the date style from
// styles when v is a date.
void writeValue(pugi::xml_node c, const Variant& v, Styles& styles) {
  for (const char* name : {"f", "v", "is"}) removeChildren(c, name);
  for (const char* name : {"t", "cm", "vm"}) c.remove_attribute(name);
  auto value = [&](const std::string& text) { c.append_child("v").text() = text.c_str(); };
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      return;
    case VarType::String: {
      if (v.asString().empty()) return;
      setAttr(c, "t", "inlineStr");
      pugi::xml_node t = c.append_child("is").append_child("t");
      t.append_attribute("xml:space") = "preserve";
      t.text() = encodeCellText(v.asString()).c_str();
      return;
    }
    case VarType::Boolean:
      setAttr(c, "t", "b");
      value(v.asBool() ? "1" : "0");
      return;
    case VarType::Date: {
      const double d = v.asDouble();
      const unsigned s = styles.dateFormatLike(c.attribute("s").as_uint(), d != std::floor(d));
      if (s != c.attribute("s").as_uint() || c.attribute("s"))
        setAttr(c, "s", std::to_string(s).c_str());
      value(numberText(d));
      return;
    }
    case VarType::Currency:
      value(numberText(static_cast<double>(v.asInt()) / 10000.0));
      return;
    case VarType::Single:
    case VarType::Double:
      if (!std::isfinite(v.asDouble())) {
        setAttr(c, "t", "e");
        value("#NUM!");
        return;
      }
      value(numberText(v.asDouble()));
      return;
    default:
      value(std::to_string(v.asInt()));
  }
}

}  // namespace

WorksheetCells::WorksheetCells(std::string part, const std::string& xml, std::string file)
    : part_(std::move(part)), file_(std::move(file)) {
  parseXml(doc_, xml, part_, file_);
  sheetData_ = doc_.document_element().child("sheetData");
  if (!sheetData_) {
    throw RuntimeError(err::kFileAccess, "The workbook " + file_ + " is damaged: its worksheet " +
                                             part_ + " has no cell data");
  }
}

void WorksheetCells::load(MemoryWorksheet& ws, const std::vector<std::u16string>& sharedStrings,
                          const Styles& styles) {
  auto damaged = [&](const std::string& why) {
    throw RuntimeError(err::kFileAccess, "The workbook " + file_ +
                                             " is damaged: in its worksheet " + part_ + ", " + why);
  };
  long lastRow = 0;
  for (pugi::xml_node row : sheetData_.children("row")) {
    long r = lastRow + 1;
    if (pugi::xml_attribute ra = row.attribute("r")) {
      r = ra.as_int();
    } else {
      row.append_attribute("r") = r;
    }
    if (r <= lastRow || r > kMaxRows)
      damaged("row " + std::to_string(r) + " lies off the sheet or out of order");
    lastRow = r;
    long lastColumn = 0;
    for (pugi::xml_node c : row.children("c")) {
      long col = lastColumn + 1;
      if (pugi::xml_attribute ref = c.attribute("r")) {
        auto at = parseCellRef(ref.value());
        if (!at || at->first != r)
          damaged(std::string("cell reference ") + ref.value() + " is not in row " +
                  std::to_string(r));
        col = at->second;
      } else {
        c.append_attribute("r") = cellRef(r, col).c_str();
      }
      if (col <= lastColumn || col > kMaxColumns) {
        damaged("cell " + cellRef(r, col) +
                " lies off the sheet (past column XFD) or out of order");
      }
      lastColumn = col;

      const std::string_view t = c.attribute("t").value();
      pugi::xml_node vNode = c.child("v");
      if (!*vNode.text().get()) vNode = pugi::xml_node();  // <v/> holds nothing (some writers)
      const char* v = vNode.text().get();
      Variant value;
      if (t == "s") {
        // Without an index (<v/>, as some writers leave a cleared cell) the
        // cell is empty, as spreadsheet applications read it.
        const unsigned long i = std::strtoul(v, nullptr, 10);
        if (vNode && i >= sharedStrings.size())
          damaged("cell " + cellRef(r, col) + " names a shared string that does not exist");
        if (vNode) value = Variant::string(sharedStrings[i]);
      } else if (t == "inlineStr") {
        value = Variant::string(plainText(c.child("is")));
      } else if (t == "str" || t == "e") {
        if (vNode) value = Variant::string(decodeCellText(v));
      } else if (t == "b") {
        if (vNode) value = Variant::boolean(std::strcmp(v, "0") != 0);
      } else if (t == "d") {
        if (auto serial = isoToSerial(v)) value = Variant::date(*serial);
      } else if (vNode) {
        char* end = nullptr;
        const double d = std::strtod(v, &end);
        if (end == v) damaged("cell " + cellRef(r, col) + " holds no number");
        value = styles.isDate(c.attribute("s").as_uint()) ? Variant::date(d) : Variant::dbl(d);
      }

      std::string formula;
      if (pugi::xml_node f = c.child("f")) {
        const std::string_view kind = f.attribute("t").value();
        formula = f.text().get();
        if (kind == "shared") {
          const std::string si = f.attribute("si").value();
          SharedFormula& group = shared_[si];
          if (f.attribute("ref") && !formula.empty()) {
            group.row = r;
            group.column = col;
            group.text = formula;
          } else if (!group.text.empty()) {
            formula = shiftFormula(group.text, r - group.row, col - group.column);
          }
          group.members.emplace_back(r, col);
        } else if (kind == "array" || kind == "dataTable") {
          if (auto range = parseRangeRef(f.attribute("ref").value())) {
            ws.lockRange(range->top, range->left, range->bottom, range->right);
          }
        }
      }
      if (value.isEmpty() && formula.empty()) continue;
      ws.load(r, col, value, formula.empty() ? std::u16string() : u"=" + text::fromUtf8(formula));
    }
  }

  if (pugi::xml_node sel = selectionNode(false)) {
    if (auto at = parseCellRef(sel.attribute("activeCell").value())) {
      if (at->first >= 1 && at->first <= kMaxRows && at->second >= 1 && at->second <= kMaxColumns) {
        loadedActive_ = *at;
      }
    }
    const std::string_view sqref = sel.attribute("sqref").value();
    loadedWhole_ = sqref == kWholeSheet || sqref == "1:1048576";
  }
  ws.select(loadedActive_.first, loadedActive_.second, loadedWhole_);
  if (loadedWhole_) ws.activate(loadedActive_.first, loadedActive_.second, false);
}

pugi::xml_node WorksheetCells::selectionNode(bool create) {
  pugi::xml_node root = doc_.document_element();
  pugi::xml_node views = root.child("sheetViews");
  if (!views && !create) return {};
  if (!views) views = insertInOrder(root, "sheetViews", {"sheetFormatPr", "cols", "sheetData"});
  pugi::xml_node view = views.child("sheetView");
  if (!view && !create) return {};
  if (!view) {
    view = views.append_child("sheetView");
    view.append_attribute("workbookViewId") = 0;
  }
  const char* pane = view.child("pane").attribute("activePane").value();
  for (pugi::xml_node sel : view.children("selection")) {
    const char* p = sel.attribute("pane").value();
    if (std::strcmp(p, pane) == 0 || (!*pane && std::strcmp(p, "topLeft") == 0)) return sel;
  }
  if (!create) return {};
  pugi::xml_node sel = view.append_child("selection");
  if (*pane) sel.append_attribute("pane") = pane;
  return sel;
}

bool WorksheetCells::writeCells(const MemoryWorksheet& ws, Styles& styles) {
  const auto& written = ws.writtenCells();
  if (written.empty()) return false;
  std::map<long, pugi::xml_node> rows;
  for (pugi::xml_node row : sheetData_.children("row")) rows[row.attribute("r").as_int()] = row;

  bool formulaWritten = false;
  for (const auto& [r, col] : written) {
    auto it = rows.find(r);
    if (it == rows.end()) {
      auto next = rows.upper_bound(r);
      pugi::xml_node row = next == rows.end() ? sheetData_.append_child("row")
                                              : sheetData_.insert_child_before("row", next->second);
      row.append_attribute("r") = r;
      it = rows.emplace(r, row).first;
    }
    pugi::xml_node row = it->second;
    pugi::xml_node c;
    pugi::xml_node before;
    for (pugi::xml_node x : row.children("c")) {
      const long at = parseCellRef(x.attribute("r").value())->second;
      if (at == col) c = x;
      if (at >= col) {
        before = x;
        break;
      }
    }
    if (!c) {
      c = before ? row.insert_child_before("c", before) : row.append_child("c");
      c.append_attribute("r") = cellRef(r, col).c_str();
      row.remove_attribute("spans");  // a hint only; stale once the row grows
    }
    if (pugi::xml_node f = c.child("f")) {
      formulaWritten = true;
      if (std::strcmp(f.attribute("t").value(), "shared") == 0) {
        const std::string si = f.attribute("si").value();
        auto group = shared_.find(si);
        if (group != shared_.end() && group->second.row == r && group->second.column == col) {
          removeChildren(c, "f");
          expandSharedFormula(si, rows);
        }
      }
    }
    writeValue(c, ws.get(r, col), styles);
  }
  updateDimension();
  return formulaWritten;
}

// The anchor of the shared formula si was overwritten: every other cell of the
// group gets the formula as it reads there, as an ordinary formula.
void WorksheetCells::expandSharedFormula(const std::string& si,
                                         const std::map<long, pugi::xml_node>& rows) {
  SharedFormula& group = shared_.at(si);
  for (const auto& [r, col] : group.members) {
    auto row = rows.find(r);
    if (row == rows.end()) continue;
    for (pugi::xml_node c : row->second.children("c")) {
      if (parseCellRef(c.attribute("r").value())->second != col) continue;
      pugi::xml_node f = c.child("f");
      if (f && std::strcmp(f.attribute("si").value(), si.c_str()) == 0 && !f.attribute("ref")) {
        for (const char* a : {"t", "si", "ref"}) f.remove_attribute(a);
        f.text() = shiftFormula(group.text, r - group.row, col - group.column).c_str();
      }
      break;
    }
  }
  shared_.erase(si);
}

void WorksheetCells::updateDimension() {
  long top = 0, left = 0, bottom = 0, right = 0;
  for (pugi::xml_node row : sheetData_.children("row")) {
    for (pugi::xml_node c : row.children("c")) {
      const auto at = *parseCellRef(c.attribute("r").value());
      if (!top) {
        top = bottom = at.first;
        left = right = at.second;
      }
      top = std::min(top, at.first);
      bottom = std::max(bottom, at.first);
      left = std::min(left, at.second);
      right = std::max(right, at.second);
    }
  }
  const std::string ref = !top ? "A1"
                          : top == bottom && left == right
                              ? cellRef(top, left)
                              : cellRef(top, left) + ":" + cellRef(bottom, right);
  pugi::xml_node root = doc_.document_element();
  pugi::xml_node dim = root.child("dimension");
  if (!dim)
    dim = insertInOrder(root, "dimension", {"sheetViews", "sheetFormatPr", "cols", "sheetData"});
  setAttr(dim, "ref", ref.c_str());
}

bool WorksheetCells::writeSelection(const MemoryWorksheet& ws) {
  const auto active = ws.activeCell();
  const bool whole = ws.wholeSheetSelected();
  if (active == loadedActive_ && whole == loadedWhole_) return false;
  pugi::xml_node sel = selectionNode(true);
  const std::string cell = cellRef(active.first, active.second);
  setAttr(sel, "activeCell", cell.c_str());
  sel.remove_attribute("activeCellId");
  setAttr(sel, "sqref", whole ? kWholeSheet : cell.c_str());
  return true;
}

std::string WorksheetCells::xml() const { return saveXml(doc_); }

}  // namespace dorvane::sheet::ooxml
