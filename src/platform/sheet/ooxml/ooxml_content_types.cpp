#include "platform/sheet/ooxml/ooxml_content_types.h"

#include <strings.h>

#include <string_view>

#include "platform/sheet/ooxml/ooxml_xml.h"

namespace dorvane::sheet::ooxml {

ContentTypes::ContentTypes(const std::string& xml, const std::string& file) {
  parseXml(doc_, xml, kContentTypesPart, file);
}

pugi::xml_node ContentTypes::findOverride(const std::string& part) const {
  const std::string name = "/" + part;
  for (pugi::xml_node n : doc_.document_element().children("Override")) {
    if (strcasecmp(n.attribute("PartName").value(), name.c_str()) == 0) return n;
  }
  return {};
}

std::string ContentTypes::of(const std::string& part) const {
  if (pugi::xml_node o = findOverride(part)) return o.attribute("ContentType").value();
  const std::size_t dot = part.rfind('.');
  const std::string ext = dot == std::string::npos ? "" : part.substr(dot + 1);
  for (pugi::xml_node n : doc_.document_element().children("Default")) {
    if (strcasecmp(n.attribute("Extension").value(), ext.c_str()) == 0) {
      return n.attribute("ContentType").value();
    }
  }
  return {};
}

void ContentTypes::setOverride(const std::string& part, const char* type) {
  pugi::xml_node o = findOverride(part);
  if (o && std::string_view(o.attribute("ContentType").value()) == type) return;
  changed_ = true;
  if (!o) {
    o = doc_.document_element().append_child("Override");
    o.append_attribute("PartName") = ("/" + part).c_str();
    o.append_attribute("ContentType");
  }
  o.attribute("ContentType") = type;
}

void ContentTypes::ensureDefault(const char* extension, const char* type) {
  for (pugi::xml_node n : doc_.document_element().children("Default")) {
    if (strcasecmp(n.attribute("Extension").value(), extension) == 0) return;
  }
  changed_ = true;
  pugi::xml_node d = doc_.document_element().prepend_child("Default");
  d.append_attribute("Extension") = extension;
  d.append_attribute("ContentType") = type;
}

void ContentTypes::removeOverride(const std::string& part) {
  if (pugi::xml_node o = findOverride(part)) {
    doc_.document_element().remove_child(o);
    changed_ = true;
  }
}

std::string ContentTypes::xml() const { return saveXml(doc_); }

}  // namespace dorvane::sheet::ooxml
