#include "platform/sheet/ooxml/ooxml_shared_strings.h"

#include "platform/sheet/ooxml/ooxml_xml.h"

namespace dorvane::sheet::ooxml {

std::vector<std::u16string> readSharedStrings(const std::string& xml, const std::string& file) {
  pugi::xml_document doc;
  parseXml(doc, xml, "sharedStrings", file);
  std::vector<std::u16string> out;
  for (pugi::xml_node si : doc.document_element().children()) {
    if (localName(si) == "si") out.push_back(plainText(si));
  }
  return out;
}

}  // namespace dorvane::sheet::ooxml
