// The cells of a worksheet part: loading them into the in-process sheet the
// merge runs on, and writing the cells the merge wrote back into the part.
//
// Loading normalises the part (every row and cell gets its explicit "r") and
// keeps the parsed document, so writing changes only the written cells, the
// dimension, the sheet view's selection and the cached formula results.
#pragma once

#include <map>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "platform/sheet/memory_sheet.h"
#include "platform/sheet/ooxml/ooxml_styles.h"

namespace dorvane::sheet::ooxml {

class WorksheetCells {
 public:
  // Parses the worksheet part named part of file. Raises 75 naming the file
  // on malformed XML, cells off the sheet or rows out of order.
  WorksheetCells(std::string part, const std::string& xml, std::string file);

  // Stores every cell's value (and formula text for the search) in ws, locks
  // array formula ranges, and sets ws's active cell and selection from the
  // sheet view. sharedStrings and styles give the values their kind.
  void load(MemoryWorksheet& ws, const std::vector<std::u16string>& sharedStrings,
            const Styles& styles);

  // Writes each cell in ws.writtenCells() with its value in ws: value and
  // type, a written cell's formula removed (the other cells of a shared
  // formula it anchored keep theirs); then the dimension. Returns true when
  // a formula cell was written.
  bool writeCells(const MemoryWorksheet& ws, Styles& styles);
  // Writes ws's active cell and selection into the sheet view when they
  // differ from the loaded ones; true when it did.
  bool writeSelection(const MemoryWorksheet& ws);

  pugi::xml_document& document() { return doc_; }
  std::string xml() const;

 private:
  struct SharedFormula {
    long row = 0, column = 0;  // the anchor
    std::string text;
    std::vector<std::pair<long, long>> members;  // every cell of the group
  };
  pugi::xml_node selectionNode(bool create);
  void expandSharedFormula(const std::string& si, const std::map<long, pugi::xml_node>& rows);
  void updateDimension();

  std::string part_, file_;
  pugi::xml_document doc_;
  pugi::xml_node sheetData_;
  std::map<std::string, SharedFormula> shared_;
  std::pair<long, long> loadedActive_{1, 1};
  bool loadedWhole_ = false;
};

}  // namespace dorvane::sheet::ooxml
