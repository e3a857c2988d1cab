#include "platform/sheet/ooxml/ooxml_relationships.h"

#include <cstring>

#include "platform/sheet/ooxml/ooxml_xml.h"

namespace dorvane::sheet::ooxml {

namespace {

constexpr const char* kRelsNamespace =
    "http://schemas.openxmlformats.org/package/2006/relationships";

std::string folderOf(const std::string& part) {
  const std::size_t slash = part.rfind('/');
  return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

}  // namespace

std::string relsPartOf(const std::string& part) {
  const std::string folder = folderOf(part);
  return folder + "_rels/" + part.substr(folder.size()) + ".rels";
}

std::string resolveTarget(const std::string& part, const std::string& target) {
  std::string path =
      !target.empty() && target[0] == '/' ? target.substr(1) : folderOf(part) + target;
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string seg = path.substr(start, end - start);
    if (seg == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segments.push_back(seg);
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& s : segments) out += (out.empty() ? "" : "/") + s;
  return out;
}

std::string relativeTarget(const std::string& part, const std::string& target) {
  std::string from = folderOf(part);
  std::string up;
  while (!from.empty() && target.compare(0, from.size(), from) != 0) {
    from.pop_back();
    from = folderOf(from);
    up += "../";
  }
  return up + target.substr(from.size());
}

Relationships::Relationships(std::string part, const std::string& xml, const std::string& file)
    : part_(std::move(part)) {
  if (xml.empty()) {
    doc_.append_child("Relationships").append_attribute("xmlns") = kRelsNamespace;
    return;
  }
  parseXml(doc_, xml, relsPartOf(part_), file);
  for (pugi::xml_node r : doc_.document_element().children()) {
    if (localName(r) != "Relationship") continue;
    Relationship rel;
    rel.id = r.attribute("Id").value();
    rel.type = r.attribute("Type").value();
    rel.external = std::strcmp(r.attribute("TargetMode").value(), "External") == 0;
    rel.target = rel.external ? r.attribute("Target").value()
                              : resolveTarget(part_, r.attribute("Target").value());
    rels_.push_back(std::move(rel));
  }
}

const Relationship* Relationships::ofType(const char* type) const {
  for (const auto& r : rels_) {
    if (r.type == type) return &r;
  }
  return nullptr;
}

const Relationship* Relationships::byId(const std::string& id) const {
  for (const auto& r : rels_) {
    if (r.id == id) return &r;
  }
  return nullptr;
}

std::string Relationships::add(const char* type, const std::string& target) {
  std::string id;
  for (int n = static_cast<int>(rels_.size()) + 1;; ++n) {
    id = "rId" + std::to_string(n);
    if (!byId(id)) break;
  }
  pugi::xml_node r = doc_.document_element().append_child("Relationship");
  r.append_attribute("Id") = id.c_str();
  r.append_attribute("Type") = type;
  r.append_attribute("Target") = relativeTarget(part_, target).c_str();
  rels_.push_back({id, type, target, false});
  return id;
}

bool Relationships::removeType(const char* type) {
  bool removed = false;
  for (pugi::xml_node r = doc_.document_element().first_child(); r;) {
    pugi::xml_node next = r.next_sibling();
    if (std::strcmp(r.attribute("Type").value(), type) == 0) {
      doc_.document_element().remove_child(r);
      removed = true;
    }
    r = next;
  }
  std::erase_if(rels_, [&](const Relationship& r) { return r.type == type; });
  return removed;
}

std::string Relationships::xml() const { return saveXml(doc_); }

}  // namespace dorvane::sheet::ooxml
