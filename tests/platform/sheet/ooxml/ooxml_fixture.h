// Test support: workbook packages built by hand, part by part, and their
// entries read back (inflated and as stored); inputs of the workbook fuzz
// target as packages.
#pragma once

#include <zip.h>

#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace dorvane::testing {

using Parts = std::map<std::string, std::string>;

inline const char kMain[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

// A worksheet part around the given <sheetData> content and what follows it.
inline std::string worksheetXml(const std::string& rows, const std::string& after = "",
                                const std::string& views = "") {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet "
             "xmlns=\"") +
         kMain +
         "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
         "<dimension ref=\"A1\"/>" +
         views + "<sheetData>" + rows + "</sheetData>" + after + "</worksheet>";
}

// A workbook with the worksheets "Data" (active) and "Sum", a chart sheet,
// shared strings, styles (cell format 1 shows dates), a theme, a calculation
// chain, a chart, a pivot cache, a table, a macro project, printer settings,
// custom XML and a part no spreadsheet knows. Replace parts to vary it.
inline Parts basicWorkbook(const std::string& dataRows, const std::string& sharedStrings) {
  const std::string ct = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
  Parts p;
  p["[Content_Types].xml"] =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Types "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" "
      "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Default Extension=\"bin\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.printerSettings\"/"
      ">"
      "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
      ct +
      "sheet.main+xml\"/>"
      "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" +
      ct +
      "worksheet+xml\"/>"
      "<Override PartName=\"/xl/worksheets/sheet2.xml\" ContentType=\"" +
      ct +
      "worksheet+xml\"/>"
      "<Override PartName=\"/xl/chartsheets/sheet1.xml\" ContentType=\"" +
      ct +
      "chartsheet+xml\"/>"
      "<Override PartName=\"/xl/styles.xml\" ContentType=\"" +
      ct +
      "styles+xml\"/>"
      "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"" +
      ct +
      "sharedStrings+xml\"/>"
      "<Override PartName=\"/xl/calcChain.xml\" ContentType=\"" +
      ct +
      "calcChain+xml\"/>"
      "<Override PartName=\"/xl/theme/theme1.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.theme+xml\"/>"
      "<Override PartName=\"/xl/vbaProject.bin\" "
      "ContentType=\"application/vnd.ms-office.vbaProject\"/>"
      "</Types>";
  p["_rels/.rels"] =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
      "Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
      "Target=\"xl/workbook.xml\"/></Relationships>";
  p["xl/workbook.xml"] =
      std::string(
          "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<workbook xmlns=\"") +
      kMain +
      "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<bookViews><workbookView activeTab=\"0\"/></bookViews><sheets>"
      "<sheet name=\"Data\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"Sum\" sheetId=\"2\" "
      "r:id=\"rId2\"/>"
      "<sheet name=\"Chart\" sheetId=\"3\" r:id=\"rId7\"/></sheets>"
      "<definedNames><definedName name=\"Total\">Sum!$A$1</definedName></definedNames>"
      "<calcPr calcId=\"191029\"/></workbook>";
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  auto r = [&](const char* id, const char* type, const char* target) {
    return std::string("<Relationship Id=\"") + id + "\" Type=\"" + rel + type + "\" Target=\"" +
           target + "\"/>";
  };
  p["xl/_rels/workbook.xml.rels"] =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
      r("rId1", "worksheet", "worksheets/sheet1.xml") +
      r("rId2", "worksheet", "worksheets/sheet2.xml") + r("rId3", "styles", "styles.xml") +
      r("rId4", "sharedStrings", "sharedStrings.xml") + r("rId5", "theme", "theme/theme1.xml") +
      r("rId6", "calcChain", "calcChain.xml") + r("rId7", "chartsheet", "chartsheets/sheet1.xml") +
      "<Relationship Id=\"rId8\" "
      "Type=\"http://schemas.microsoft.com/office/2006/relationships/vbaProject\" "
      "Target=\"vbaProject.bin\"/></Relationships>";
  p["xl/worksheets/sheet1.xml"] = worksheetXml(dataRows);
  p["xl/worksheets/sheet2.xml"] = worksheetXml(
      "<row r=\"1\"><c r=\"A1\"><f>SUM(Data!B2:B3)</f><v>7</v></c>"
      "<c r=\"B1\" t=\"str\"><f>Data!A1&amp;\"x\"</f><v>stale</v></c></row>");
  p["xl/sharedStrings.xml"] =
      std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst xmlns=\"") +
      kMain + "\">" + sharedStrings + "</sst>";
  p["xl/styles.xml"] =
      std::string(
          "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<styleSheet xmlns=\"") +
      kMain +
      "\"><numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"yyyy/mm/dd;@\"/></numFmts>"
      "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
      "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
      "patternType=\"gray125\"/></fill></fills>"
      "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
      "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
      "borderId=\"0\"/></cellStyleXfs>"
      "<cellXfs count=\"3\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
      "xfId=\"0\"/>"
      "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
      "applyNumberFormat=\"1\"/>"
      "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
      "applyFont=\"1\"/></cellXfs>"
      "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" "
      "builtinId=\"0\"/></cellStyles></styleSheet>";
  p["xl/calcChain.xml"] =
      std::string(
          "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<calcChain xmlns=\"") +
      kMain + "\"><c r=\"A1\" i=\"2\"/></calcChain>";
  p["xl/theme/theme1.xml"] =
      "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" name=\"T\"/>";
  p["xl/chartsheets/sheet1.xml"] =
      std::string("<chartsheet xmlns=\"") + kMain +
      "\"><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews></chartsheet>";
  p["xl/charts/chart1.xml"] =
      "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"/>";
  p["xl/charts/style1.xml"] =
      "<cs:chartStyle xmlns:cs=\"http://schemas.microsoft.com/office/drawing/2012/chartStyle\"/>";
  p["xl/pivotCache/pivotCacheDefinition1.xml"] =
      std::string("<pivotCacheDefinition xmlns=\"") + kMain + "\"/>";
  p["xl/tables/table1.xml"] =
      std::string("<table xmlns=\"") + kMain + "\" id=\"1\" name=\"T1\" ref=\"A1:B2\"/>";
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 7919) % 251));
  p["xl/vbaProject.bin"] = binary;
  p["xl/printerSettings/printerSettings1.bin"] = binary.substr(100, 700);
  p["customXml/item1.xml"] = "<root xmlns=\"urn:example\"><x>kept</x></root>";
  p["xl/unknownPart/thing.dat"] = "bytes no spreadsheet knows";
  return p;
}

// Writes the parts as a zip package (deflated, in map order).
inline void writePackage(const std::string& path, const Parts& parts) {
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!z) throw std::runtime_error("cannot create " + path);
  for (const auto& [name, data] : parts) {
    zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
    if (!src || zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0) {
      if (src) zip_source_free(src);
      zip_discard(z);
      throw std::runtime_error("cannot add " + name);
    }
  }
  if (zip_close(z) != 0) {
    zip_discard(z);
    throw std::runtime_error("cannot write " + path);
  }
}

// Writes an input of the workbook fuzz target as the package file path: a
// zip file (a workbook as it is, "PK\3\4…") is written unchanged; an input
// whose first byte is odd is the package after that byte; otherwise it is a
// list of parts ("\n@@NAME\n" before each part's bytes), packed with
// writePackage. Writes nothing for a list without a part or with a nameless one.
inline void writeFuzzInput(const std::string& path, std::string_view data) {
  if (data.substr(0, 4) == std::string_view("PK\3\4", 4)) {
    std::ofstream(path, std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
    return;
  }
  if (!data.empty() && (static_cast<unsigned char>(data[0]) & 1)) {
    std::ofstream(path, std::ios::binary)
        .write(data.data() + 1, static_cast<std::streamsize>(data.size() - 1));
    return;
  }
  Parts parts;
  std::size_t at = data.find("\n@@");
  while (at != std::string_view::npos) {
    const std::size_t nameEnd = data.find('\n', at + 3);
    if (nameEnd == std::string_view::npos) break;
    const std::string name(data.substr(at + 3, nameEnd - at - 3));
    const std::size_t next = data.find("\n@@", nameEnd);
    parts[name] = std::string(
        data.substr(nameEnd + 1, next == std::string_view::npos ? next : next - nameEnd - 1));
    at = next;
  }
  if (parts.empty() || parts.count("")) return;
  try {
    writePackage(path, parts);
  } catch (const std::exception&) {
  }
}

struct Entry {
  std::string stored;    // the compressed bytes as they are in the file
  std::string inflated;  // the part's bytes
};

// Every entry of the package at path.
inline std::map<std::string, Entry> readPackage(const std::string& path) {
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!z) throw std::runtime_error("cannot open " + path);
  std::map<std::string, Entry> out;
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
    Entry e;
    for (zip_flags_t flags : {zip_flags_t{ZIP_FL_COMPRESSED}, zip_flags_t{0}}) {
      zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), flags);
      std::string& into = flags ? e.stored : e.inflated;
      char buf[65536];
      for (zip_int64_t n; f && (n = zip_fread(f, buf, sizeof buf)) > 0;)
        into.append(buf, static_cast<std::size_t>(n));
      if (f) zip_fclose(f);
    }
    out[zip_get_name(z, static_cast<zip_uint64_t>(i), 0)] = std::move(e);
  }
  zip_discard(z);
  return out;
}

}  // namespace dorvane::testing
