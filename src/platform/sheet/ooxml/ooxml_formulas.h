// Formulas in workbook files: moving a formula's relative references, and
// making a written workbook calculate again when it is opened.
#pragma once

#include <pugixml.hpp>
#include <string>

namespace dorvane::sheet::ooxml {

// The formula text as it reads in a cell rows down and columns right of the
// cell it was written for: relative references (B2, B:B, 2:2) move, absolute
// parts ($B$2) stay, text in quotes and structured references stay; a
// reference moved off the sheet becomes #REF!.
std::string shiftFormula(const std::string& formula, long rows, long columns);

// Removes the cached result (<v> and the result type) of every formula cell
// of the worksheet; the formulas stay as they are. True when one was removed.
bool dropCachedResults(pugi::xml_document& worksheet);

// Sets fullCalcOnLoad="1" on the workbook's calculation properties, adding
// them in their place when the workbook has none.
void setFullCalcOnLoad(pugi::xml_document& workbook);

}  // namespace dorvane::sheet::ooxml
