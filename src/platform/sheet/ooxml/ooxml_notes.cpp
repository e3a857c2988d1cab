#include "platform/sheet/ooxml/ooxml_notes.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <pugixml.hpp>

#include "platform/sheet/ooxml/ooxml_xml.h"

namespace dorvane::sheet::ooxml {

namespace {

constexpr const char* kMainNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

constexpr const char* kNoteShapeType =
    "<v:shapetype id=\"_x0000_t202\" coordsize=\"21600,21600\" o:spt=\"202\" "
    "path=\"m,l,21600r21600,l21600,xe\">\r\n"
    "  <v:stroke joinstyle=\"miter\"/>\r\n"
    "  <v:path gradientshapeok=\"t\" o:connecttype=\"rect\"/>\r\n"
    " </v:shapetype>";

// One hidden note box, as spreadsheets write it: beside the cell, moving and
// sizing with the cells.
std::string noteShape(const Note& n, long id) {
  const long r = n.row - 1, c = n.column - 1;  // VML counts from 0
  const std::string anchor = std::to_string(c + 1) + ", 15, " + std::to_string(r > 0 ? r - 1 : 0) +
                             ", 10, " + std::to_string(c + 3) + ", 15, " +
                             std::to_string((r > 0 ? r - 1 : 0) + 4) + ", 4";
  return " <v:shape id=\"_x0000_s" + std::to_string(id) +
         "\" type=\"#_x0000_t202\" style='position:absolute;margin-left:59.25pt;margin-top:1.5pt;"
         "width:108pt;height:59.25pt;z-index:" +
         std::to_string(id) + ";visibility:" + (n.visible ? "visible" : "hidden") +
         "' fillcolor=\"#ffffe1\" o:insetmode=\"auto\">\r\n"
         "  <v:fill color2=\"#ffffe1\"/>\r\n"
         "  <v:shadow on=\"t\" color=\"black\" obscured=\"t\"/>\r\n"
         "  <v:path o:connecttype=\"none\"/>\r\n"
         "  <v:textbox style='mso-direction-alt:auto'>\r\n"
         "   <div style='text-align:left'></div>\r\n"
         "  </v:textbox>\r\n"
         "  <x:ClientData ObjectType=\"Note\">\r\n"
         "   <x:MoveWithCells/>\r\n"
         "   <x:SizeWithCells/>\r\n"
         "   <x:Anchor>\r\n    " +
         anchor +
         "</x:Anchor>\r\n"
         "   <x:AutoFill>False</x:AutoFill>\r\n"
         "   <x:Row>" +
         std::to_string(r) + "</x:Row>\r\n   <x:Column>" + std::to_string(c) + "</x:Column>\r\n" +
         (n.visible ? "   <x:Visible/>\r\n" : "") + "  </x:ClientData>\r\n </v:shape>";
}

// The largest number after "_x0000_s" in the drawing (shape ids), or 0.
long largestShapeId(const std::string& vml) {
  long largest = 0;
  for (std::size_t at = vml.find("_x0000_s"); at != std::string::npos;
       at = vml.find("_x0000_s", at + 1)) {
    largest = std::max(largest, std::strtol(vml.c_str() + at + 8, nullptr, 10));
  }
  return largest;
}

}  // namespace

std::vector<Note> readNotes(const std::string& commentsXml, const std::string& vml,
                            const std::string& file) {
  std::map<std::pair<long, long>, bool> visible;
  pugi::xml_document drawing;
  if (!vml.empty() && drawing.load_buffer(vml.data(), vml.size())) {
    for (pugi::xpath_node x : drawing.select_nodes("//*[local-name()='ClientData']")) {
      pugi::xml_node data = x.node();
      if (std::string_view(data.attribute("ObjectType").value()) != "Note") continue;
      long row = -1, column = -1;
      bool shown = false;
      for (pugi::xml_node k : data.children()) {
        const std::string_view name = localName(k);
        if (name == "Row") row = std::strtol(k.text().get(), nullptr, 10);
        if (name == "Column") column = std::strtol(k.text().get(), nullptr, 10);
        if (name == "Visible") shown = true;
      }
      if (row >= 0 && column >= 0) visible[{row + 1, column + 1}] = shown;
    }
  }
  pugi::xml_document doc;
  parseXml(doc, commentsXml, "comments", file);
  std::vector<Note> notes;
  for (pugi::xml_node c : doc.document_element().child("commentList").children("comment")) {
    auto at = parseCellRef(c.attribute("ref").value());
    if (!at) continue;
    Note n{at->first, at->second, plainText(c.child("text")), false};
    if (auto v = visible.find(*at); v != visible.end()) n.visible = v->second;
    notes.push_back(std::move(n));
  }
  return notes;
}

std::string addToComments(const std::string& commentsXml, const std::vector<Note>& notes,
                          const std::string& file) {
  pugi::xml_document doc;
  if (commentsXml.empty()) {
    pugi::xml_node root = doc.append_child("comments");
    root.append_attribute("xmlns") = kMainNamespace;
    root.append_child("authors").append_child("author");
    root.append_child("commentList");
  } else {
    parseXml(doc, commentsXml, "comments", file);
  }
  pugi::xml_node root = doc.document_element();
  pugi::xml_node authors = root.child("authors");
  if (!authors) authors = root.prepend_child("authors");
  // The notes the merge adds have no author: an empty one, added once.
  long authorId = 0;
  bool found = false;
  for (pugi::xml_node a : authors.children("author")) {
    if (!*a.text().get()) {
      found = true;
      break;
    }
    ++authorId;
  }
  if (!found) authors.append_child("author");
  pugi::xml_node list = root.child("commentList");
  if (!list) list = root.insert_child_after("commentList", authors);
  for (const Note& n : notes) {
    pugi::xml_node c = list.append_child("comment");
    c.append_attribute("ref") = cellRef(n.row, n.column).c_str();
    c.append_attribute("authorId") = authorId;
    pugi::xml_node t = c.append_child("text").append_child("t");
    t.append_attribute("xml:space") = "preserve";
    t.text() = encodeCellText(n.text).c_str();
  }
  return saveXml(doc);
}

std::string addToVml(const std::string& vml, const std::vector<Note>& notes, int idBlock) {
  std::string shapes;
  long id = std::max<long>(largestShapeId(vml), static_cast<long>(idBlock) * 1024);
  for (const Note& n : notes) shapes += noteShape(n, ++id) + "\r\n";
  if (vml.empty()) {
    return "<xml xmlns:v=\"urn:schemas-microsoft-com:vml\"\r\n"
           " xmlns:o=\"urn:schemas-microsoft-com:office:office\"\r\n"
           " xmlns:x=\"urn:schemas-microsoft-com:office:excel\">\r\n"
           " <o:shapelayout v:ext=\"edit\">\r\n  <o:idmap v:ext=\"edit\" data=\"" +
           std::to_string(idBlock) + "\"/>\r\n </o:shapelayout>" + kNoteShapeType + "\r\n" +
           shapes + "</xml>";
  }
  if (vml.find("\"_x0000_t202\"") == std::string::npos)
    shapes = std::string(kNoteShapeType) + "\r\n" + shapes;
  // Before the closing tag of the root element.
  std::string lower = vml;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char ch) { return std::tolower(ch); });
  std::size_t at = lower.rfind("</xml");
  if (at == std::string::npos) at = vml.size();
  return vml.substr(0, at) + shapes + vml.substr(at);
}

}  // namespace dorvane::sheet::ooxml
