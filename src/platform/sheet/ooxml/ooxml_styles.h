// The styles part of a workbook as far as cell values need it: which cell
// formats show dates, and a date format for a cell written with a date.
#pragma once

#include <map>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

namespace dorvane::sheet::ooxml {

inline constexpr const char* kStylesContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";

class Styles {
 public:
  // Parses the part's xml; "" stands for a workbook without styles, which
  // gets a minimal style sheet once a date format must be added.
  Styles(const std::string& xml, const std::string& file);

  // Whether cell format s (the cell's "s" attribute) shows a date or time.
  bool isDate(unsigned s) const;
  // A cell format like s that shows a date (with the time when withTime):
  // s itself when it shows one, else a format added for it. Returns its index.
  unsigned dateFormatLike(unsigned s, bool withTime);
  // True when dateFormatLike added a format, and xml() must be saved; created()
  // when the style sheet is new and needs a part of its own.
  bool changed() const { return changed_; }
  bool created() const { return created_; }
  std::string xml() const;

 private:
  pugi::xml_document doc_;
  pugi::xml_node cellXfs_;
  std::vector<unsigned> numFmtOfXf_;
  std::map<unsigned, bool> dateNumFmt_;  // custom number formats: id → shows a date
  std::map<std::pair<unsigned, bool>, unsigned> added_;
  bool changed_ = false;
  bool created_ = false;
};

// Whether a number format code shows a date or time ("yyyy/m/d", "h:mm",
// "[$-411]ggge年m月d日"); quoted text, escapes and colours do not count.
bool isDateFormatCode(const std::string& code);

}  // namespace dorvane::sheet::ooxml
