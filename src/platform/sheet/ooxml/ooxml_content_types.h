// The content types part ([Content_Types].xml) of a workbook package.
#pragma once

#include <pugixml.hpp>
#include <string>

namespace dorvane::sheet::ooxml {

inline constexpr const char* kContentTypesPart = "[Content_Types].xml";

class ContentTypes {
 public:
  ContentTypes(const std::string& xml, const std::string& file);
  // The content type of the part (name without a leading "/"): its override,
  // else the default of its extension, else "".
  std::string of(const std::string& part) const;
  // Gives the part its own content type (an override).
  void setOverride(const std::string& part, const char* type);
  // Adds a default for an extension that has none.
  void ensureDefault(const char* extension, const char* type);
  void removeOverride(const std::string& part);
  // Whether a call above changed anything, so xml() must be saved.
  bool changed() const { return changed_; }
  std::string xml() const;

 private:
  pugi::xml_node findOverride(const std::string& part) const;
  pugi::xml_document doc_;
  bool changed_ = false;
};

}  // namespace dorvane::sheet::ooxml
