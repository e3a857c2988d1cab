#include "platform/sheet/ooxml/ooxml_workbook.h"

#include <dorvane/runtime_error.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "platform/file/interrupt.h"
#include "platform/file/result_file.h"
#include "platform/file/utf8_path.h"
#include "platform/sheet/memory_sheet.h"
#include "platform/sheet/ooxml/ooxml_cells.h"
#include "platform/sheet/ooxml/ooxml_content_types.h"
#include "platform/sheet/ooxml/ooxml_formulas.h"
#include "platform/sheet/ooxml/ooxml_notes.h"
#include "platform/sheet/ooxml/ooxml_package.h"
#include "platform/sheet/ooxml/ooxml_relationships.h"
#include "platform/sheet/ooxml/ooxml_shared_strings.h"
#include "platform/sheet/ooxml/ooxml_styles.h"
#include "platform/sheet/ooxml/ooxml_xml.h"

namespace dorvane::sheet::ooxml {

namespace {

constexpr const char* kRelationshipsNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// The workbook part's content type for each kind: {macros, template}.
constexpr const char* kMainContentTypes[2][2] = {
    {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
     "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml"},
    {"application/vnd.ms-excel.sheet.macroEnabled.main+xml",
     "application/vnd.ms-excel.template.macroEnabled.main+xml"},
};

std::string lowerExtension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return ext;
}

[[noreturn]] void damaged(const std::string& file, const std::string& why) {
  throw RuntimeError(err::kFileAccess, "The workbook " + file + " cannot be merged: " + why);
}

// The value of the attribute of node in the relationships namespace named
// local ("r:id"), whatever its prefix.
std::string relAttribute(const pugi::xml_node& node, const char* local) {
  for (pugi::xml_attribute a : node.attributes()) {
    const std::string_view name = a.name();
    const std::size_t colon = name.find(':');
    if (colon != std::string_view::npos && name.substr(colon + 1) == local) return a.value();
  }
  return {};
}

// The prefix under which root declares the relationships namespace, declaring
// it as "r" when it does not.
std::string relPrefix(pugi::xml_node root) {
  for (pugi::xml_attribute a : root.attributes()) {
    const std::string_view name = a.name();
    if (name.rfind("xmlns:", 0) == 0 && std::strcmp(a.value(), kRelationshipsNamespace) == 0) {
      return std::string(name.substr(6));
    }
  }
  root.append_attribute("xmlns:r") = kRelationshipsNamespace;
  return "r";
}

class FileWorkbook : public WorkbookFile {
 public:
  explicit FileWorkbook(const std::string& path) : pkg_(path), file_(path) {
    ct_ = std::make_unique<ContentTypes>(*pkg_.read(kContentTypesPart), file_);
    Relationships root("", pkg_.read("_rels/.rels").value(), file_);
    const Relationship* office = root.ofType(kRelOfficeDocument);
    if (!office) damaged(file_, "the package has no workbook part (is it a spreadsheet?)");
    workbookPart_ = office->target;
    parseXml(workbook_, *pkg_.read(workbookPart_), workbookPart_, file_);
    workbookRels_ = std::make_unique<Relationships>(
        workbookPart_, pkg_.read(relsPartOf(workbookPart_), true).value_or(""), file_);

    pugi::xml_node wb = workbook_.document_element();
    std::vector<pugi::xml_node> sheets;
    for (pugi::xml_node s : wb.child("sheets").children("sheet")) {
      sheets.push_back(s);
      const Relationship* rel = workbookRels_->byId(relAttribute(s, "id"));
      if (rel && rel->type == kRelWorksheet && !rel->external)
        worksheetParts_.push_back(rel->target);
    }
    if (sheets.empty()) damaged(file_, "it has no sheets");
    const unsigned activeTab =
        wb.child("bookViews").child("workbookView").attribute("activeTab").as_uint(0);
    if (activeTab >= sheets.size())
      damaged(file_, "its active tab does not exist (the workbook is damaged)");
    const pugi::xml_node active = sheets[activeTab];
    const std::string sheetName = active.attribute("name").value();
    const Relationship* rel = workbookRels_->byId(relAttribute(active, "id"));
    if (!rel || rel->external) damaged(file_, "its active sheet \"" + sheetName + "\" has no part");
    if (rel->type != kRelWorksheet) {
      const std::string kind = rel->type.substr(rel->type.rfind('/') + 1);
      const std::string what = kind == "chartsheet"     ? "a chart sheet"
                               : kind == "dialogsheet"  ? "a dialog sheet"
                               : kind == "xlMacrosheet" ? "a macro sheet"
                                                        : "a sheet of kind " + kind;
      throw RuntimeError(err::kTypeMismatch, "Type mismatch: the active sheet \"" + sheetName +
                                                 "\" of " + file_ + " is " + what +
                                                 ", not a worksheet");
    }
    sheetPart_ = rel->target;

    std::vector<std::u16string> sharedStrings;
    if (const Relationship* sst = workbookRels_->ofType(kRelSharedStrings)) {
      if (auto xml = pkg_.read(sst->target, true)) sharedStrings = readSharedStrings(*xml, file_);
    }
    std::string stylesXml;
    if (const Relationship* st = workbookRels_->ofType(kRelStyles)) {
      stylesPart_ = st->target;
      stylesXml = pkg_.read(stylesPart_, true).value_or("");
    }
    styles_ = std::make_unique<Styles>(stylesXml, file_);

    cells_ = std::make_unique<WorksheetCells>(sheetPart_, *pkg_.read(sheetPart_), file_);
    sheetRels_ = std::make_unique<Relationships>(
        sheetPart_, pkg_.read(relsPartOf(sheetPart_), true).value_or(""), file_);
    app_ = std::make_shared<MemoryApplication>();
    sheet_ = app_->addWorkbook()->addWorksheet();
    cells_->load(*sheet_, sharedStrings, *styles_);
    loadNotes();
  }

  std::shared_ptr<Application> application() override { return app_; }

  void save(const std::string& target, const std::string& result) override {
    std::map<std::string, std::optional<std::string>> changes;
    const bool wrote = !sheet_->writtenCells().empty();
    const bool formulaWritten = cells_->writeCells(*sheet_, *styles_);
    bool sheetChanged = cells_->writeSelection(*sheet_) || wrote;

    std::vector<Note> added;
    for (const auto& at : sheet_->usedCells()) {
      auto note = sheet_->commentAt(at.first, at.second);
      if (note && !loadedNotes_.count(at))
        added.push_back({at.first, at.second, note->text(), note->visible()});
    }
    if (!added.empty()) {
      addNotes(added, changes);
      sheetChanged = true;
    }

    if (wrote) {
      dropCachedResults(cells_->document());
      for (const std::string& part : worksheetParts_) {
        if (part == sheetPart_) continue;
        const std::string xml = pkg_.read(part).value();
        if (xml.find("<f") == std::string::npos && xml.find(":f") == std::string::npos) {
          continue;  // no formula, under any prefix
        }
        pugi::xml_document doc;
        parseXml(doc, xml, part, file_);
        if (dropCachedResults(doc)) changes[part] = saveXml(doc);
      }
      setFullCalcOnLoad(workbook_);
      changes[workbookPart_] = saveXml(workbook_);
      if (const Relationship* chain =
              formulaWritten ? workbookRels_->ofType(kRelCalcChain) : nullptr) {
        // The spreadsheet rebuilds the calculation chain when it is missing.
        changes[chain->target] = std::nullopt;
        ct_->removeOverride(chain->target);
        workbookRels_->removeType(kRelCalcChain);
        changes[relsPartOf(workbookPart_)] = workbookRels_->xml();
      }
      if (styles_->created()) {  // the workbook had no style sheet, or an empty one
        if (stylesPart_.empty()) {
          stylesPart_ = pkg_.has("xl/styles.xml") ? newPart("xl/styles", ".xml", changes)
                                                  : std::string("xl/styles.xml");
          workbookRels_->add(kRelStyles, stylesPart_);
          changes[relsPartOf(workbookPart_)] = workbookRels_->xml();
        }
        ct_->setOverride(stylesPart_, kStylesContentType);
      }
      if (styles_->changed()) changes[stylesPart_] = styles_->xml();
    }
    if (sheetChanged) changes[sheetPart_] = cells_->xml();

    const std::string ext = lowerExtension(result);
    const char* wanted = kMainContentTypes[isMacroKind(result)][ext == "xltx" || ext == "xltm"];
    if (ct_->of(workbookPart_) != wanted) ct_->setOverride(workbookPart_, wanted);
    if (ct_->changed()) changes[kContentTypesPart] = ct_->xml();
    pkg_.writeCopy(target, changes);
  }

 private:
  void loadNotes() {
    pugi::xml_node legacy = cells_->document().document_element().child("legacyDrawing");
    if (legacy) {
      const Relationship* vml = sheetRels_->byId(relAttribute(legacy, "id"));
      if (vml && !vml->external && vml->type == kRelVmlDrawing) vmlPart_ = vml->target;
      // A drawing that is missing, elsewhere or no drawing at all: a note
      // added beside it would not show.
      if (vmlPart_.empty() || !pkg_.has(vmlPart_))
        notesUnusable_ = "its legacy drawing is no VML drawing part of the package";
    }
    loadThreadedComments();
    const Relationship* comments = sheetRels_->ofType(kRelComments);
    if (!comments) return;
    if (comments->external || !pkg_.has(comments->target)) {
      // A reader looks for notes where this relationship points, so notes
      // written anywhere else would not be found.
      notesUnusable_ =
          "its notes relationship points at no part of the package (\"" + comments->target + "\")";
      return;
    }
    commentsPart_ = comments->target;
    if (commentsPart_ == vmlPart_)
      notesUnusable_ = "its notes part and its legacy drawing are one part";
    const std::string vml = vmlPart_.empty() ? "" : pkg_.read(vmlPart_, true).value_or("");
    for (const Note& n : readNotes(*pkg_.read(commentsPart_), vml, file_)) {
      if (n.row < 1 || n.row > kMaxRows || n.column < 1 || n.column > kMaxColumns) {
        damaged(file_, "a note of its active sheet lies off the sheet");
      }
      if (auto threaded = sheet_->commentAt(n.row, n.column)) {
        // a threaded comment's legacy note (which tells its visibility), or a
        // second note on a cell: the cell has one note
        threaded->setVisible(n.visible);
        continue;
      }
      auto note = sheet_->addComment(n.row, n.column);
      note->setText(n.text);
      note->setVisible(n.visible);
      loadedNotes_.insert({n.row, n.column});
    }
  }

  // Cells with a threaded comment count as having a note (the spreadsheet
  // refuses a note there), also where no legacy note stands beside it.
  void loadThreadedComments() {
    const Relationship* threaded = sheetRels_->ofType(kRelThreadedComments);
    if (!threaded || threaded->external || !pkg_.has(threaded->target)) return;
    pugi::xml_document doc;
    parseXml(doc, *pkg_.read(threaded->target), threaded->target, file_);
    for (pugi::xml_node c : doc.document_element().children()) {
      auto at = parseCellRef(c.attribute("ref").value());
      if (!at || at->first > kMaxRows || at->second > kMaxColumns ||
          sheet_->commentAt(at->first, at->second)) {
        continue;
      }
      sheet_->addComment(at->first, at->second)
          ->setText(decodeCellText(c.child("text").text().get()));
      loadedNotes_.insert(*at);
    }
  }

  // A part name "prefix N suffix" that neither the package nor changes has.
  std::string newPart(const std::string& prefix, const std::string& suffix,
                      const std::map<std::string, std::optional<std::string>>& changes) const {
    for (int n = 1;; ++n) {
      std::string name = prefix + std::to_string(n) + suffix;
      if (!pkg_.has(name) && !changes.count(name)) return name;
    }
  }

  // The first VML shape block no drawing of the package uses.
  int freeShapeBlock() {
    int largest = 0;
    for (const std::string& name : pkg_.names()) {
      if (lowerExtension(name) != "vml") continue;
      const std::string vml = pkg_.read(name).value();
      const std::size_t idmap = vml.find("idmap");
      const std::size_t data = idmap == std::string::npos ? idmap : vml.find("data=", idmap);
      if (data != std::string::npos && data + 6 < vml.size()) {
        largest = std::max(largest, std::atoi(vml.c_str() + data + 6));
      }
    }
    return largest + 1;
  }

  // Adds the new notes to the sheet's notes part and drawing (both made when
  // missing). Raises 75 before anything is written when the existing notes
  // part or drawing is damaged so that the notes would not read back.
  void addNotes(const std::vector<Note>& added,
                std::map<std::string, std::optional<std::string>>& changes) {
    auto refuse = [&](const std::string& why) {
      damaged(file_, "a note cannot be added to its active sheet: " + why);
    };
    if (!notesUnusable_.empty()) refuse(notesUnusable_);
    std::string comments;
    if (commentsPart_.empty()) {
      commentsPart_ = newPart("xl/comments", ".xml", changes);
      sheetRels_->add(kRelComments, commentsPart_);
    } else {
      comments = *pkg_.read(commentsPart_);
    }
    ct_->setOverride(commentsPart_, kCommentsContentType);
    changes[commentsPart_] = addToComments(comments, added, file_);
    // What a reader will find there: every added note, as written.
    const std::vector<Note> found = readNotes(*changes[commentsPart_], "", file_);
    for (const Note& n : added) {
      if (std::none_of(found.begin(), found.end(), [&](const Note& f) {
            return f.row == n.row && f.column == n.column && f.text == n.text;
          }))
        refuse("its notes part " + commentsPart_ + " is damaged (its notes would not read back)");
    }
    if (vmlPart_.empty()) {
      vmlPart_ = newPart("xl/drawings/vmlDrawing", ".vml", changes);
      const std::string id = sheetRels_->add(kRelVmlDrawing, vmlPart_);
      pugi::xml_node root = cells_->document().document_element();
      const std::string prefix = relPrefix(root);
      pugi::xml_node legacy =
          insertInOrder(root, "legacyDrawing",
                        {"legacyDrawingHF", "drawingHF", "picture", "oleObjects", "controls",
                         "webPublishItems", "tableParts", "extLst"});
      legacy.append_attribute((prefix + ":id").c_str()) = id.c_str();
      if (ct_->of(vmlPart_).empty()) ct_->ensureDefault("vml", kVmlContentType);
      changes[vmlPart_] = addToVml("", added, freeShapeBlock());
    } else {
      changes[vmlPart_] = addToVml(*pkg_.read(vmlPart_), added, 0);
    }
    changes[relsPartOf(sheetPart_)] = sheetRels_->xml();
  }

  Package pkg_;
  std::string file_;
  std::unique_ptr<ContentTypes> ct_;
  std::string workbookPart_, sheetPart_, stylesPart_, commentsPart_, vmlPart_;
  pugi::xml_document workbook_;
  std::unique_ptr<Relationships> workbookRels_, sheetRels_;
  std::vector<std::string> worksheetParts_;
  std::unique_ptr<Styles> styles_;
  std::unique_ptr<WorksheetCells> cells_;
  std::set<std::pair<long, long>> loadedNotes_;
  std::string notesUnusable_;  // why no note can be added, when one cannot
  std::shared_ptr<MemoryApplication> app_;
  std::shared_ptr<MemoryWorksheet> sheet_;
};

}  // namespace

void saveAsResult(WorkbookFile& workbook, const std::string& out) {
  namespace fs = std::filesystem;
  fs::path name = "dorvane-" + std::to_string(::getpid()) + "-" +
                  std::to_string(std::hash<std::thread::id>{}(std::this_thread::get_id())) + "-";
  name += file::pathOf(out).filename();
  const fs::path stored = fs::temp_directory_path() / name;
  struct Pending {
    const fs::path& path;
    int slot;
    ~Pending() {
      std::error_code ignored;
      fs::remove(path, ignored);
      file::forgetPendingFile(slot);
    }
  } pending{stored, file::rememberPendingFile(file::utf8Of(stored))};
  workbook.save(file::utf8Of(stored), out);
  file::copyToResultFile(file::utf8Of(stored), out, "workbook");
}

bool isWorkbookFile(const std::string& path) {
  const std::string ext = lowerExtension(path);
  return ext == "xlsx" || ext == "xlsm" || ext == "xltx" || ext == "xltm";
}

bool isMacroKind(const std::string& path) {
  const std::string ext = lowerExtension(path);
  return ext == "xlsm" || ext == "xltm";
}

std::unique_ptr<WorkbookFile> WorkbookFile::open(const std::string& path) {
  return std::make_unique<FileWorkbook>(path);
}

}  // namespace dorvane::sheet::ooxml
