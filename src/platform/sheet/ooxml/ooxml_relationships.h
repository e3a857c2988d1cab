// Relationships of a package part (its _rels/NAME.rels part): reading them,
// resolving their targets to part names, adding and removing one.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <vector>

namespace dorvane::sheet::ooxml {

inline constexpr const char* kRelWorksheet =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
inline constexpr const char* kRelComments =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments";
inline constexpr const char* kRelVmlDrawing =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/vmlDrawing";
inline constexpr const char* kRelThreadedComments =
    "http://schemas.microsoft.com/office/2017/10/relationships/threadedComment";
inline constexpr const char* kRelCalcChain =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/calcChain";
inline constexpr const char* kRelSharedStrings =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings";
inline constexpr const char* kRelStyles =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr const char* kRelOfficeDocument =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";

// The name of the relationships part of part: "xl/workbook.xml" →
// "xl/_rels/workbook.xml.rels"; "" (the package) → "_rels/.rels".
std::string relsPartOf(const std::string& part);

// A target relative to the folder of part (or absolute, "/xl/x.xml") → the
// part's name without a leading "/", with "." and ".." resolved.
std::string resolveTarget(const std::string& part, const std::string& target);

// The relative target from part's folder to the part target ("xl/worksheets/
// sheet1.xml" to "xl/comments1.xml" → "../comments1.xml").
std::string relativeTarget(const std::string& part, const std::string& target);

struct Relationship {
  std::string id, type, target;  // target as a part name (resolved)
  bool external = false;
};

class Relationships {
 public:
  // Parses the relationships of part from xml ("" when the part has none).
  Relationships(std::string part, const std::string& xml, const std::string& file);

  const std::vector<Relationship>& all() const { return rels_; }
  // The first relationship of the given type, or null.
  const Relationship* ofType(const char* type) const;
  const Relationship* byId(const std::string& id) const;
  // Adds a relationship to the part target; returns its new id.
  std::string add(const char* type, const std::string& target);
  // Removes every relationship of the type; true when there was one.
  bool removeType(const char* type);
  std::string xml() const;

 private:
  std::string part_;
  pugi::xml_document doc_;
  std::vector<Relationship> rels_;
};

}  // namespace dorvane::sheet::ooxml
