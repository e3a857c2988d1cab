#include "platform/sheet/ooxml/ooxml_styles.h"

#include <cstdlib>

#include "platform/sheet/ooxml/ooxml_xml.h"

namespace dorvane::sheet::ooxml {

namespace {

// Built-in number formats that show dates or times (14-22, 45-47, and the
// East Asian ones 27-36 and 50-58).
bool builtInDate(unsigned id) {
  return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
         (id >= 50 && id <= 58);
}

constexpr unsigned kDateFormat = 14;      // m/d/yyyy, shown in the user's short date form
constexpr unsigned kDateTimeFormat = 22;  // m/d/yyyy h:mm

// The least style sheet the spreadsheet applications accept: one font, the
// two fills they reserve, one border and the Normal style.
constexpr const char* kMinimalStyles =
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
    "</cellStyleXfs><cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
    "borderId=\"0\" xfId=\"0\"/></cellXfs><cellStyles count=\"1\"><cellStyle name=\"Normal\" "
    "xfId=\"0\" builtinId=\"0\"/></cellStyles></styleSheet>";

}  // namespace

bool isDateFormatCode(const std::string& code) {
  bool inQuote = false;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (inQuote) {
      if (c == '"') inQuote = false;
      continue;
    }
    switch (c) {
      case '"':
        inQuote = true;
        break;
      case '\\':
      case '_':
      case '*':
        ++i;
        break;
      case '[': {
        const std::size_t end = code.find(']', i);
        if (end == std::string::npos) return false;
        const char first = static_cast<char>(i + 1 < code.size() ? code[i + 1] | 0x20 : 0);
        if (first == 'h' || first == 'm' || first == 's') return true;  // elapsed time
        i = end;
        break;
      }
      case ';':
        return false;  // only the first section decides
      default: {
        const char l = static_cast<char>(c | 0x20);
        const char next = i + 1 < code.size() ? code[i + 1] : '\0';
        if (l == 'e' && (next == '+' || next == '-')) break;  // scientific "0.00E+00"
        if (l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's' || l == 'e' || l == 'g') {
          // "General" holds e, n, r, a, l: the name as a whole is no date.
          if (code.compare(i, 7, "General") == 0 || code.compare(i, 7, "general") == 0) {
            i += 6;
            break;
          }
          return true;
        }
      }
    }
  }
  return false;
}

Styles::Styles(const std::string& xml, const std::string& file) {
  if (xml.empty()) return;
  parseXml(doc_, xml, "styles", file);
  pugi::xml_node root = doc_.document_element();
  for (pugi::xml_node n : root.child("numFmts").children("numFmt")) {
    dateNumFmt_[n.attribute("numFmtId").as_uint()] =
        isDateFormatCode(n.attribute("formatCode").value());
  }
  cellXfs_ = root.child("cellXfs");
  for (pugi::xml_node xf : cellXfs_.children("xf"))
    numFmtOfXf_.push_back(xf.attribute("numFmtId").as_uint());
}

bool Styles::isDate(unsigned s) const {
  if (s >= numFmtOfXf_.size()) return false;
  const unsigned id = numFmtOfXf_[s];
  auto custom = dateNumFmt_.find(id);
  return custom != dateNumFmt_.end() ? custom->second : builtInDate(id);
}

unsigned Styles::dateFormatLike(unsigned s, bool withTime) {
  if (isDate(s)) return s;
  if (!doc_.document_element()) {
    doc_.load_string(kMinimalStyles);
    cellXfs_ = doc_.document_element().child("cellXfs");
    numFmtOfXf_.assign(1, 0);
    created_ = true;
  }
  if (!cellXfs_) return s;
  if (auto it = added_.find({s, withTime}); it != added_.end()) return it->second;
  pugi::xml_node base;
  unsigned i = 0;
  for (pugi::xml_node xf : cellXfs_.children("xf")) {
    if (i++ == s) base = xf;
  }
  pugi::xml_node xf = base ? cellXfs_.append_copy(base) : cellXfs_.append_child("xf");
  const unsigned fmt = withTime ? kDateTimeFormat : kDateFormat;
  (xf.attribute("numFmtId") ? xf.attribute("numFmtId") : xf.append_attribute("numFmtId")) = fmt;
  (xf.attribute("applyNumberFormat") ? xf.attribute("applyNumberFormat")
                                     : xf.append_attribute("applyNumberFormat")) = 1;
  if (!xf.attribute("xfId")) xf.append_attribute("xfId") = 0;
  const unsigned index = static_cast<unsigned>(numFmtOfXf_.size());
  numFmtOfXf_.push_back(fmt);
  if (pugi::xml_attribute count = cellXfs_.attribute("count")) count = index + 1;
  added_[{s, withTime}] = index;
  changed_ = true;
  return index;
}

std::string Styles::xml() const { return saveXml(doc_); }

}  // namespace dorvane::sheet::ooxml
