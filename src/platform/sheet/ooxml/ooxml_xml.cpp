#include "platform/sheet/ooxml/ooxml_xml.h"

#include <dorvane/runtime_error.h>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

#include "platform/text/utf.h"

namespace dorvane::sheet::ooxml {

namespace {

constexpr const char* kMainNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

// Calls f on every element below root, in document order, without recursion
// (nesting depth comes from the file and is not trusted).
template <typename F>
void forEachElementBelow(pugi::xml_node root, F&& f) {
  pugi::xml_node n = root.first_child();
  while (n) {
    if (n.type() == pugi::node_element) f(n);
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n != root && !n.next_sibling()) n = n.parent();
    if (n == root) break;
    n = n.next_sibling();
  }
}

bool startsName(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Some writers put the spreadsheet elements under a prefix ("<x:worksheet
// xmlns:x=...>"). Every reader here expects them in the default namespace,
// so they are renamed to their local names. A part in which an element
// declares a default namespace or the prefix again is left as it is.
void unprefixMainNamespace(pugi::xml_document& doc) {
  pugi::xml_node root = doc.document_element();
  const std::string_view rootName = root.name();
  const std::size_t colon = rootName.find(':');
  if (colon == std::string_view::npos) return;
  const std::string prefix(rootName.substr(0, colon + 1));
  const std::string declaration = "xmlns:" + prefix.substr(0, colon);
  if (std::string_view(root.attribute(declaration.c_str()).value()) != kMainNamespace) return;
  const pugi::xml_attribute defaultNamespace = root.attribute("xmlns");
  if (defaultNamespace && std::string_view(defaultNamespace.value()) != kMainNamespace) return;
  bool redeclared = false;
  forEachElementBelow(root, [&](pugi::xml_node n) {
    redeclared = redeclared || n.attribute("xmlns") || n.attribute(declaration.c_str());
  });
  if (redeclared) return;
  auto unprefix = [&](pugi::xml_node n) {
    const std::string_view name = n.name();
    // (A local part that cannot start a name, "x:.a", would not survive saving.)
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        startsName(name[prefix.size()])) {
      n.set_name(std::string(name.substr(prefix.size())).c_str());
    }
  };
  unprefix(root);
  forEachElementBelow(root, unprefix);
  if (!defaultNamespace) root.append_attribute("xmlns") = kMainNamespace;
}

}  // namespace

void parseXml(pugi::xml_document& doc, const std::string& xml, const std::string& part,
              const std::string& file) {
  const unsigned options = pugi::parse_default | pugi::parse_ws_pcdata | pugi::parse_doctype;
  pugi::xml_parse_result r = doc.load_buffer(xml.data(), xml.size(), options, pugi::encoding_utf8);
  if (!r) {
    throw RuntimeError(err::kFileAccess, "The workbook " + file + " is damaged: its part " + part +
                                             " is not well-formed XML (" + r.description() +
                                             " at byte " + std::to_string(r.offset) + ")");
  }
  for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_doctype) {
      throw RuntimeError(err::kFileAccess, "The workbook " + file + " is refused: its part " +
                                               part +
                                               " declares a DOCTYPE, which workbooks never do");
    }
  }
  unprefixMainNamespace(doc);
}

std::string saveXml(const pugi::xml_document& doc) {
  std::ostringstream out;
  const bool hasDeclaration = doc.first_child().type() == pugi::node_declaration;
  unsigned flags = pugi::format_raw;
  if (!hasDeclaration) flags |= pugi::format_no_declaration;
  if (!hasDeclaration) out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
  doc.save(out, "", flags, pugi::encoding_utf8);
  return out.str();
}

std::optional<std::pair<long, long>> parseCellRef(std::string_view ref) {
  std::size_t i = 0;
  if (i < ref.size() && ref[i] == '$') ++i;
  long column = 0;
  std::size_t letters = 0;
  for (; i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'));
       ++i, ++letters) {
    if (letters >= 3) return std::nullopt;
    column = column * 26 + ((ref[i] | 0x20) - 'a' + 1);
  }
  if (letters == 0) return std::nullopt;
  if (i < ref.size() && ref[i] == '$') ++i;
  long row = 0;
  std::size_t digits = 0;
  for (; i < ref.size() && ref[i] >= '0' && ref[i] <= '9'; ++i, ++digits) {
    if (digits >= 8) return std::nullopt;
    row = row * 10 + (ref[i] - '0');
  }
  if (digits == 0 || i != ref.size()) return std::nullopt;
  return std::pair<long, long>{row, column};
}

std::string cellRef(long row, long column) {
  std::string letters;
  for (long c = column; c > 0; c = (c - 1) / 26)
    letters.push_back(static_cast<char>('A' + (c - 1) % 26));
  std::reverse(letters.begin(), letters.end());
  return letters + std::to_string(row);
}

std::optional<Rect> parseRangeRef(std::string_view ref) {
  const std::size_t colon = ref.find(':');
  auto a = parseCellRef(ref.substr(0, colon));
  if (!a) return std::nullopt;
  auto b = colon == std::string_view::npos ? a : parseCellRef(ref.substr(colon + 1));
  if (!b) return std::nullopt;
  return Rect{std::min(a->first, b->first), std::min(a->second, b->second),
              std::max(a->first, b->first), std::max(a->second, b->second)};
}

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of an escape "_xHHHH_" at s[i], or -1.
int escapeAt(std::u16string_view s, std::size_t i) {
  if (i + 7 > s.size() || s[i] != u'_' || s[i + 1] != u'x' || s[i + 6] != u'_') return -1;
  int v = 0;
  for (std::size_t k = 2; k < 6; ++k) {
    const int h = s[i + k] < 128 ? hexValue(static_cast<char>(s[i + k])) : -1;
    if (h < 0) return -1;
    v = v * 16 + h;
  }
  return v;
}

}  // namespace

std::u16string decodeCellText(std::string_view utf8) {
  const std::u16string s = text::fromUtf8(std::string(utf8));
  if (s.find(u"_x") == std::u16string::npos) return s;
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const int v = escapeAt(s, i);
    if (v >= 0) {
      out.push_back(static_cast<char16_t>(v));
      i += 7;
    } else {
      out.push_back(s[i++]);
    }
  }
  return out;
}

std::string encodeCellText(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  static const char16_t* const kHex = u"0123456789ABCDEF";
  auto escape = [&](char16_t c) {
    out += u"_x";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
    out.push_back(u'_');
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool control = c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r';
    const bool loneSurrogate =
        (c >= 0xD800 && c <= 0xDBFF &&
         !(i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)) ||
        (c >= 0xDC00 && c <= 0xDFFF && !(i > 0 && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF));
    if (control || c == 0xFFFE || c == 0xFFFF || loneSurrogate ||
        (c == u'_' && escapeAt(text, i) >= 0)) {
      escape(c);
    } else {
      out.push_back(c);
    }
  }
  return text::toUtf8(out);
}

std::u16string plainText(const pugi::xml_node& item) {
  std::string utf8;
  // Iterative walk: nesting depth comes from the file and is not trusted.
  pugi::xml_node n = item.first_child();
  while (n && n != item) {
    const std::string_view name = localName(n);
    if (name == "t") {
      utf8 += n.text().get();
    } else if (name != "rPh" && n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n != item && !n.next_sibling()) n = n.parent();
    if (n == item) break;
    n = n.next_sibling();
  }
  return decodeCellText(utf8);
}

std::string_view localName(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node insertInOrder(pugi::xml_node parent, const char* name,
                             std::initializer_list<std::string_view> later) {
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    if (std::find(later.begin(), later.end(), localName(child)) != later.end()) {
      return parent.insert_child_before(name, child);
    }
  }
  return parent.append_child(name);
}

}  // namespace dorvane::sheet::ooxml
