// XML of workbook packages: safe parsing, serialising, A1 cell references and
// the text escapes spreadsheets use inside XML.
#pragma once

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <utility>

namespace dorvane::sheet::ooxml {

// Parses xml (the part `part` of the package `file`). Raises 75 naming both
// when the XML is malformed or carries a DOCTYPE (entities are never expanded).
// Spreadsheet elements written under a prefix ("x:c") come out unprefixed.
void parseXml(pugi::xml_document& doc, const std::string& xml, const std::string& part,
              const std::string& file);

// The document as UTF-8 text with its XML declaration, nothing re-indented.
std::string saveXml(const pugi::xml_document& doc);

// "B3" → (3, 2); "$B$3" too. Nothing for a malformed reference; rows and
// columns outside the sheet are returned as they are (the caller checks).
std::optional<std::pair<long, long>> parseCellRef(std::string_view ref);
// (3, 2) → "B3".
std::string cellRef(long row, long column);
// "A1:C4" (or "B2", one cell) → top, left, bottom, right.
struct Rect {
  long top, left, bottom, right;
};
std::optional<Rect> parseRangeRef(std::string_view ref);

// Element text in a cell or string item → the text shown: _xHHHH_ escapes
// decoded (an escaped "_x" is "_x005F_").
std::u16string decodeCellText(std::string_view utf8);
// Text → element text: characters XML cannot hold and literal "_xHHHH_"
// written as escapes.
std::string encodeCellText(const std::u16string& text);

// The plain text of a string item (<si>, <is>, a comment's <text>): its <t>
// texts in order, phonetic runs (<rPh>) left out.
std::u16string plainText(const pugi::xml_node& item);

// The local name of a node ("x:c" → "c").
std::string_view localName(const pugi::xml_node& node);

// Inserts an element named name into parent before the first child whose
// local name is one of later (a list of names in schema order after it), or
// at the end. Returns the new element.
pugi::xml_node insertInOrder(pugi::xml_node parent, const char* name,
                             std::initializer_list<std::string_view> later);

}  // namespace dorvane::sheet::ooxml
