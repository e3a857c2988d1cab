#include "platform/sheet/ooxml/ooxml_formulas.h"

#include <dorvane/sheet.h>

#include <cctype>
#include <cstring>

#include "platform/sheet/ooxml/ooxml_xml.h"

namespace dorvane::sheet::ooxml {

namespace {

bool isNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '\\' ||
         c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

// One part of a reference ("$B", "12") moved by delta, or nothing when it
// leaves the sheet. column tells letters from digits.
bool movePart(std::string& out, bool absolute, long value, long delta, bool column) {
  const long v = absolute ? value : value + delta;
  if (v < 1 || v > (column ? kMaxColumns : kMaxRows)) return false;
  if (absolute) out += '$';
  if (column) {
    const std::string ref = cellRef(1, v);
    out += ref.substr(0, ref.size() - 1);
  } else {
    out += std::to_string(v);
  }
  return true;
}

struct RefPart {
  bool absolute = false;
  long value = 0;
  bool column = false;
};

// Parses "$AB", "AB", "$12", "12" as the whole of s.
bool parsePart(std::string_view s, bool column, RefPart& part) {
  part.column = column;
  part.absolute = !s.empty() && s[0] == '$';
  if (part.absolute) s.remove_prefix(1);
  if (s.empty() || s.size() > (column ? 3u : 7u)) return false;
  part.value = 0;
  for (char c : s) {
    if (column ? !std::isalpha(static_cast<unsigned char>(c))
               : !std::isdigit(static_cast<unsigned char>(c))) {
      return false;
    }
    part.value = column ? part.value * 26 + ((c | 0x20) - 'a' + 1) : part.value * 10 + (c - '0');
  }
  return true;
}

// A token that is a cell reference, "$B$2", split into its parts.
bool parseCell(std::string_view token, RefPart& col, RefPart& row) {
  std::size_t i = token[0] == '$' ? 1 : 0;
  while (i < token.size() && std::isalpha(static_cast<unsigned char>(token[i]))) ++i;
  return parsePart(token.substr(0, i), true, col) && parsePart(token.substr(i), false, row);
}

}  // namespace

std::string shiftFormula(const std::string& f, long rows, long columns) {
  std::string out;
  std::size_t i = 0;
  auto moved = [&](const RefPart& p, std::string& into) {
    return movePart(into, p.absolute, p.value, p.column ? columns : rows, p.column);
  };
  while (i < f.size()) {
    const char c = f[i];
    if (c == '"' || c == '\'') {  // text, or a quoted sheet name: copied whole
      const std::size_t start = i++;
      while (i < f.size()) {
        if (f[i] == c) {
          if (i + 1 < f.size() && f[i + 1] == c) {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      out.append(f, start, i - start);
      continue;
    }
    if (c == '[') {  // structured reference or external book: copied whole
      int depth = 0;
      const std::size_t start = i;
      for (; i < f.size(); ++i) {
        if (f[i] == '[') ++depth;
        if (f[i] == ']' && --depth == 0) {
          ++i;
          break;
        }
      }
      out.append(f, start, i - start);
      continue;
    }
    if (!isNameChar(c)) {
      out += c;
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < f.size() && isNameChar(f[end])) ++end;
    const std::string_view token(f.data() + i, end - i);
    const char after = end < f.size() ? f[end] : '\0';
    RefPart col, row;
    std::string replaced;
    bool handled = false;
    if (after == '(') {
      // a function name
    } else if (after == ':') {
      // B:C or 2:3 — take both sides when they are whole columns or rows.
      std::size_t end2 = end + 1;
      while (end2 < f.size() && isNameChar(f[end2])) ++end2;
      const std::string_view second(f.data() + end + 1, end2 - end - 1);
      RefPart a, b;
      for (bool column : {true, false}) {
        if (!handled && parsePart(token, column, a) && parsePart(second, column, b)) {
          handled = true;
          std::string first, last;
          if (moved(a, first) && moved(b, last)) {
            replaced = first + ":" + last;
          } else {
            replaced = "#REF!";
          }
          end = end2;
        }
      }
    }
    if (!handled && after != '(' && after != '!' && parseCell(token, col, row)) {
      handled = true;
      std::string text;
      replaced = moved(col, text) && moved(row, text) ? text : "#REF!";
    }
    out += handled ? replaced : std::string(token);
    i = end;
  }
  return out;
}

bool dropCachedResults(pugi::xml_document& worksheet) {
  bool changed = false;
  pugi::xml_node sheetData = worksheet.document_element().child("sheetData");
  for (pugi::xml_node row : sheetData.children("row")) {
    for (pugi::xml_node c : row.children("c")) {
      if (!c.child("f")) continue;
      if (pugi::xml_node v = c.child("v")) {
        c.remove_child(v);
        changed = true;
      }
      if (pugi::xml_attribute t = c.attribute("t")) {
        c.remove_attribute(t);
        changed = true;
      }
    }
  }
  return changed;
}

void setFullCalcOnLoad(pugi::xml_document& workbook) {
  pugi::xml_node root = workbook.document_element();
  pugi::xml_node calcPr = root.child("calcPr");
  if (!calcPr) {
    calcPr = insertInOrder(
        root, "calcPr",
        {"oleSize", "customWorkbookViews", "pivotCaches", "smartTagPr", "smartTagTypes",
         "webPublishing", "fileRecoveryPr", "webPublishObjects", "extLst"});
  }
  pugi::xml_attribute a = calcPr.attribute("fullCalcOnLoad");
  if (!a) a = calcPr.append_attribute("fullCalcOnLoad");
  a = "1";
}

}  // namespace dorvane::sheet::ooxml
