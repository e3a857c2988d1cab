// The extension inside a headless LibreOffice: macros stored in a document
// (Basic) and in the user profile (Python) create Dorvane.ctlMessage and merge
// the document's active sheet in the office's own process. What they write
// must equal what the in-process sheet gets from the same template and
// databases. Skipped when the build has no extension (no LibreOffice SDK, or
// the sanitizer build).
#include <dorvane/ctl_message.h>
#include <dorvane/message_box.h>
#include <gtest/gtest.h>

#ifdef DORVANE_OXT_FILE

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/form/XFormsSupplier.hpp>
#include <com/sun/star/script/XEventAttacherManager.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include "office/office_harness.h"
#include "platform/sheet/calc/calc_sheet.h"
#include "worksheet/sheet_harness.h"

namespace dorvane {
namespace {

namespace css = ::com::sun::star;
namespace uno = css::uno;
using ::rtl::OUString;
using testing::OfficeWithExtension;
using testing::utf8;

// The macros under test. Each returns what it saw, so the test can tell.
constexpr char kBasicModule[] = R"basic(
Function Merge(db As String, db2 As String) As String
  Dim o As Object
  o = CreateUnoService("Dorvane.ctlMessage")
  o.ocxKiv(db, db2)
  Merge = "merged " & o.wkcycle
End Function

Function DetailStepByName() As String
  Dim o As Object
  o = CreateUnoService("Dorvane.ctlMessage")
  o.invoke("明細型", Array(), Array(), Array())
  o.invoke("WEB明細型", Array(), Array(), Array())
  DetailStepByName = "called " & o.wkcycle
End Function

Function Page(readFile As String, saveFile As String, db As String) As String
  Dim o As Object
  o = CreateUnoService("Dorvane.ctlMessage")
  o.ocxwebKiv(readFile, saveFile, db, "")
  Page = "merged " & o.wkcycle
End Function

Function WrongObject() As String
  On Error GoTo trap
  Dim o As Object
  o = CreateUnoService("Dorvane.ctlMessage")
  o.kivdb = ThisComponent
  WrongObject = "no error"
  Exit Function
trap:
  WrongObject = Err & "|" & Error$
End Function
)basic";

constexpr char kPythonMacros[] = R"python(
import uno

def _control():
    ctx = uno.getComponentContext()
    return ctx.ServiceManager.createInstanceWithContext("Dorvane.ctlMessage", ctx)

def merge(db, db2):
    o = _control()
    o.ocxKiv(db, db2)
    return "merged %d" % o.wkcycle

def detail_step_by_name():
    o = _control()
    o.明細型()
    getattr(o, "WEB明細型")()
    return "called %d" % o.wkcycle

def wrong_object():
    o = _control()
    try:
        o.kivdb = o
    except Exception as e:
        return "%s|%s" % (type(e).__name__, getattr(e, "ErrorCode", ""))
    return "no error"
)python";

// The template: value placeholders with and without notes, a query, and
// detail rows, on the cells below.
struct TemplateCell {
  long row, column;
  const char16_t* text;
};
const std::vector<TemplateCell> kTemplate = {
    {2, 2, u"!!price,A02;"}, {3, 2, u"!!name,A01;"},  {4, 2, u"!!plain,A01;"},
    {5, 2, u"!!blank,A01;"}, {2, 5, u"&&orders,A01"}, {9, 2, u"&&query,A01"},
    {14, 2, u"fixed text"},
};
constexpr long kRows = 20, kColumns = 8;

void fill(sheet::Worksheet& ws, const std::vector<TemplateCell>& cells) {
  for (const auto& c : cells) ws.Cells(c.row, c.column)->setValue(Variant::string(c.text));
}

// Every cell of the area: its value and its note with visibility.
std::vector<std::string> snapshot(sheet::Worksheet& ws) {
  std::vector<std::string> out;
  for (long r = 1; r <= kRows; ++r) {
    for (long c = 1; c <= kColumns; ++c) {
      auto cell = ws.Cells(r, c);
      std::string s = utf8(cell->Value());
      if (auto note = cell->comment()) {
        s += " [note " + text::toUtf8(note->text()) + (note->visible() ? " shown]" : " hidden]");
      }
      if (!s.empty()) out.push_back(std::to_string(r) + "," + std::to_string(c) + ": " + s);
    }
  }
  return out;
}

class OfficeMacro : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    office_ = new OfficeWithExtension;
    startError_ = office_->prepare(DORVANE_OXT_FILE, {{"dorvane_test.py", kPythonMacros}});
    if (startError_.empty()) startError_ = office_->start();
    primary_ = new testing::SheetDatabase;
    secondary_ = new testing::SheetDatabase;
  }
  static void TearDownTestSuite() {
    delete office_;
    delete primary_;
    delete secondary_;
  }
  void SetUp() override { ASSERT_EQ(startError_, "") << "the office with the extension"; }
  // Runs body; a UNO exception fails the test with its message.
  template <class F>
  void unoCall(F body) {
    try {
      body();
    } catch (const uno::Exception& e) {
      ADD_FAILURE() << "UNO exception: " << e.Message.toUtf8().getStr()
                    << "\noffice stderr: " << office_->stderrText();
    }
  }
  void TearDown() override { closeDocument(); }

  // A new document holding the template and the Basic module, stored and
  // loaded again with its macros allowed; it is the office's only document.
  void openDocument(const std::vector<TemplateCell>& cells) {
    document_ = office_->documentWithBasic(kBasicModule, [&] { fill(*officeSheet(), cells); });
  }
  void closeDocument() {
    try {
      if (document_.is())
        uno::Reference<css::util::XCloseable>(document_, uno::UNO_QUERY_THROW)->close(true);
    } catch (const uno::Exception&) {
    }
    document_.clear();
  }

  // Runs a macro of the document (Basic) or of the user profile (Python).
  std::string run(const std::string& uri, const std::vector<std::string>& args = {}) {
    return testing::runMacro(document_, uri, args);
  }

  std::shared_ptr<sheet::Worksheet> officeSheet() {
    return sheet::calc::attach(office_->address())->ActiveWorkbook()->ActiveSheet();
  }

  // What the in-process sheet holds after ocxKiv on the same template.
  static std::vector<std::string> inProcessResult(const std::vector<TemplateCell>& cells,
                                                  const std::u16string& second) {
    testing::RunningSheet running;
    fill(running.ws(), cells);
    ctlMessage control;
    control.setMessageBox(std::make_shared<RecordingMessageBox>());
    control.ocxKiv(primary_->path16(), second);
    return snapshot(running.ws());
  }

  static OfficeWithExtension* office_;
  static std::string startError_;
  static testing::SheetDatabase *primary_, *secondary_;
  uno::Reference<uno::XInterface> document_;
};
OfficeWithExtension* OfficeMacro::office_ = nullptr;
std::string OfficeMacro::startError_;
testing::SheetDatabase* OfficeMacro::primary_ = nullptr;
testing::SheetDatabase* OfficeMacro::secondary_ = nullptr;

const char kBasic[] = "vnd.sun.star.script:Standard.Module1.%s?language=Basic&location=document";
const char kPython[] = "vnd.sun.star.script:dorvane_test.py$%s?language=Python&location=user";

std::string uri(const char* pattern, const char* name) {
  std::string s = pattern;
  return s.replace(s.find("%s"), 2, name);
}

TEST_F(OfficeMacro, BasicAndPythonMacrosMergeTheActiveSheetLikeTheInProcessSheet) {
  struct Case {
    const char* language;
    std::string macro;
    bool secondary;
  };
  const std::vector<Case> cases = {
      {"Basic", uri(kBasic, "Merge"), false},
      {"Basic", uri(kBasic, "Merge"), true},
      {"Python", uri(kPython, "merge"), true},
  };
  for (const auto& tc : cases)
    unoCall([&] {
      SCOPED_TRACE(std::string(tc.language) + (tc.secondary ? " with a secondary database" : ""));
      const std::u16string second = tc.secondary ? secondary_->path16() : u"";
      const auto expected = inProcessResult(kTemplate, second);
      openDocument(kTemplate);
      EXPECT_EQ(run(tc.macro, {primary_->path(), text::toUtf8(second)}), "merged 2");
      const auto merged = snapshot(*officeSheet());
      EXPECT_EQ(merged, expected);
      EXPECT_NE(merged, snapshot(*[&] {
                  testing::RunningSheet unmerged;
                  fill(unmerged.ws(), kTemplate);
                  return unmerged.app().ActiveWorkbook()->ActiveSheet();
                }()))
          << "the merge changed nothing";
      closeDocument();
    });
}

TEST_F(OfficeMacro, MembersWithJapaneseNamesAreCalledByName) {
  unoCall([&] {
    openDocument({});
    EXPECT_EQ(run(uri(kBasic, "DetailStepByName")), "called 0");
    EXPECT_EQ(run(uri(kPython, "detail_step_by_name")), "called 0");
  });
}

// ocxwebKiv from a macro writes the page the control writes in-process.
TEST_F(OfficeMacro, APageMergedFromAMacroEqualsTheInProcessPage) {
  unoCall([&] {
    const std::string page = office_->folder() + "/page.htm";
    testing::writeBytes(page,
                        "<td><!-- !!price,A02; --></td><td>gethere</td>\r\n"
                        "<td><!-- !!name,A01; --></td><td>gethere</td>\r\n");
    ctlMessage control;
    control.setMessageBox(std::make_shared<RecordingMessageBox>());
    control.ocxwebKiv(text::fromUtf8(page), text::fromUtf8(page + ".expected"), primary_->path16(),
                      u"");
    openDocument({});
    EXPECT_EQ(run(uri(kBasic, "Page"), {page, page + ".merged", primary_->path()}), "merged 2");
    const std::string merged = testing::readBytes(page + ".merged");
    EXPECT_EQ(merged, testing::readBytes(page + ".expected"));
    EXPECT_EQ(merged.find("gethere"), std::string::npos) << merged;
  });
}

TEST_F(OfficeMacro, AFailingPassSaysErrorOnStderrAndTheNextRunGoesOn) {
  const std::vector<TemplateCell> cells = {{2, 2, u"!!nodb,A01;"}, {3, 2, u"!!price,A02;"}};
  openDocument(cells);
  const auto errorsBefore = office_->stderrText();
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(run(uri(kBasic, "Merge"), {primary_->path(), ""}), "merged 2") << round;
  }
  const std::string said = office_->stderrText().substr(errorsBefore.size());
  std::size_t boxes = 0;
  for (std::size_t at = 0; (at = said.find("error\n", at)) != std::string::npos; ++at) ++boxes;
  EXPECT_GE(boxes, 2u) << said;
  EXPECT_EQ(snapshot(*officeSheet()), inProcessResult(cells, u""));
  EXPECT_TRUE(office_->running());
}

TEST_F(OfficeMacro, AnErrorThatReachesTheMacroCarriesItsNumber) {
  openDocument({});
  const std::string basic = run(uri(kBasic, "WrongObject"));
  EXPECT_EQ(basic.substr(0, 2), "1|") << basic;
  EXPECT_NE(basic.find("Dorvane.ctlMessage error 13: Type mismatch"), std::string::npos) << basic;
  EXPECT_EQ(run(uri(kPython, "wrong_object")), "com.sun.star.script.BasicErrorException|13");
}

// The sample document: its button Command1 runs the macro bound to it, which
// merges the sheet with the sample database lying beside the document.
TEST_F(OfficeMacro, TheSampleButtonMergesTheSampleSheet) {
  unoCall([&] {
    // The office runs in the sample's folder, as the sample's reference
    // table names its database relative to the current folder.
    const std::string folder = office_->workFolder();
    std::filesystem::copy_file(DORVANE_SOURCE_DIR "/samples/samplesheet.fods",
                               folder + "/samplesheet.fods");
    testing::buildDatabase(folder + "/samplekiv.sqlite",
                           testing::readBytes(DORVANE_SOURCE_DIR "/samples/samplekiv.sql"));
    uno::Reference<css::frame::XComponentLoader> loader(sheet::calc::desktopOf(office_->context()),
                                                        uno::UNO_QUERY_THROW);
    // Not hidden: the macro finds its document as ThisComponent, the
    // document in the office's current frame.
    const css::beans::PropertyValue args[] = {testing::unoProperty(
        "MacroExecutionMode", uno::Any(css::document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN))};
    document_ = loader->loadComponentFromURL(
        OUString::fromUtf8(("file://" + folder + "/samplesheet.fods").c_str()), "_blank", 0,
        uno::Sequence<css::beans::PropertyValue>(args, 1));
    // The button's form on the sheet, and the macro bound to its action.
    uno::Reference<css::sheet::XSpreadsheetDocument> doc(document_, uno::UNO_QUERY_THROW);
    uno::Reference<css::container::XIndexAccess> sheets(doc->getSheets(), uno::UNO_QUERY_THROW);
    uno::Reference<css::form::XFormsSupplier> forms(
        uno::Reference<css::drawing::XDrawPagesSupplier>(doc, uno::UNO_QUERY_THROW)
            ->getDrawPages()
            ->getByIndex(0),
        uno::UNO_QUERY_THROW);
    uno::Reference<css::container::XIndexAccess> formList(forms->getForms(), uno::UNO_QUERY_THROW);
    uno::Reference<css::container::XIndexAccess> form(formList->getByIndex(0),
                                                      uno::UNO_QUERY_THROW);
    uno::Reference<css::beans::XPropertySet> button(form->getByIndex(0), uno::UNO_QUERY_THROW);
    OUString name, label;
    button->getPropertyValue("Name") >>= name;
    button->getPropertyValue("Label") >>= label;
    EXPECT_EQ(name, "Command1");
    EXPECT_EQ(label, "Command1");
    std::string macro;
    for (const auto& event :
         uno::Reference<css::script::XEventAttacherManager>(form, uno::UNO_QUERY_THROW)
             ->getScriptEvents(0)) {
      if (event.EventMethod == "actionPerformed") macro = event.ScriptCode.toUtf8().getStr();
    }
    ASSERT_NE(macro, "") << "no macro bound to the button's action";
    run(macro);
    SCOPED_TRACE(office_->stderrText());
    auto ws = officeSheet();
    EXPECT_EQ(utf8(ws->Cells(1, 4)->Value()), "246");
    ASSERT_TRUE(ws->Cells(1, 4)->comment());
    EXPECT_EQ(text::toUtf8(ws->Cells(1, 4)->comment()->text()), "単価");
    EXPECT_EQ(utf8(ws->Cells(4, 1)->Value()), "ボールペン");
    for (const auto& cell : snapshot(*ws)) {
      EXPECT_EQ(cell.find("!!"), std::string::npos) << cell;
      EXPECT_EQ(cell.find("&&"), std::string::npos) << cell;
    }
  });
}

// unopkg adds the extension to a user's profile and removes it again.
TEST(OfficeExtension, UnopkgAddsAndRemovesIt) {
  OfficeWithExtension office;
  ASSERT_EQ(office.prepare(DORVANE_OXT_FILE, {}), "");
  const std::string id = "org.dorvane.ctlmessage";
  EXPECT_NE(office.unopkg("list").out.find("Identifier: " + id), std::string::npos);
  EXPECT_EQ(office.unopkg("remove " + id).status, 0);
  const auto after = office.unopkg("list");
  EXPECT_EQ(after.status, 0) << after.out;
  EXPECT_EQ(after.out.find(id), std::string::npos) << after.out;
}

}  // namespace
}  // namespace dorvane

#endif
