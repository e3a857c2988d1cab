// Fuzz target: arbitrary workbook packages through the native workbook
// backend: open, search, write cells and a note, save, and open the result.
//
// A zip file is the package as it is (so real workbooks serve as seeds, see
// README.md); an input whose first byte is odd is the package after that
// byte; otherwise it is a list of parts ("\n@@NAME\n" before each part's
// bytes) stored in a zip package, so the fuzzer reaches the XML directly. Checks, for every input:
// nothing crashes or hangs; a package that opens and saves gives a result
// that opens again and holds what was written.
#include <dorvane/runtime_error.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "../tests/platform/sheet/ooxml/ooxml_fixture.h"
#include "platform/sheet/memory_sheet.h"
#include "platform/sheet/ooxml/ooxml_workbook.h"

namespace {

std::string* inPath = nullptr;
std::string* outPath = nullptr;

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

// Writes the seed inputs (the hand-made test workbook, as parts) into dir.
void writeSeeds(const std::string& dir) {
  std::filesystem::create_directories(dir);
  const dorvane::testing::Parts parts = dorvane::testing::basicWorkbook(
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\"><f>SUM(C1:C3)</f><v>3</v></c></row>"
      "<row r=\"2\"><c r=\"C2\"><f t=\"shared\" ref=\"C2:C3\" si=\"0\">A1*2</f><v>1</v></c></row>"
      "<row r=\"3\"><c r=\"C3\"><f t=\"shared\" si=\"0\"/></c><c r=\"D3\" "
      "t=\"inlineStr\"><is><t>!!x;</t></is></c></row>",
      "<si><t>!!price,A01;</t></si>");
  std::string seed;
  for (const auto& [name, data] : parts) seed += "\n@@" + name + "\n" + data;
  std::ofstream(dir + "/seed-parts", std::ios::binary) << seed;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  auto dir = std::filesystem::temp_directory_path() /
             ("dorvane-fuzz-workbook-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  inPath = new std::string((dir / "in.xlsx").string());
  outPath = new std::string((dir / "out.xlsx").string());
  if (const char* seeds = std::getenv("DORVANE_FUZZ_SEEDS")) writeSeeds(seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dorvane;
  std::filesystem::remove(*inPath);
  testing::writeFuzzInput(*inPath, std::string_view(reinterpret_cast<const char*>(data), size));
  if (!std::filesystem::exists(*inPath)) return 0;

  bool wroteText = false, wroteNote = false;
  try {
    auto wb = sheet::ooxml::WorkbookFile::open(*inPath);
    auto ws = wb->application()->ActiveWorkbook()->ActiveSheet();
    auto all = ws->Cells();
    auto hit = all->Find(u"!!");
    for (int i = 0; hit && i < 4; ++i) hit = all->FindNext(*hit);
    try {
      ws->Cells(2, 2)->setValue(Variant::string(u"<merged & \x01>"));
      wroteText = true;
    } catch (const RuntimeError&) {
    }
    for (const Variant& v :
         {Variant::dbl(1.5), Variant::date(45300.25), Variant::boolean(true), Variant::null()}) {
      try {
        ws->Cells(3, 3)->setValue(v);
      } catch (const RuntimeError&) {
      }
    }
    if (!ws->Cells(4, 4)->comment()) {
      ws->Cells(4, 4)->AddComment()->setText(u"note");
      wroteNote = true;
    }
    ws->Cells(5, 5)->Activate();
    wb->save(*outPath, *outPath);
  } catch (const RuntimeError&) {
    return 0;
  }
  // What was saved opens again and holds what was written.
  try {
    auto again = sheet::ooxml::WorkbookFile::open(*outPath);
    auto ws = std::dynamic_pointer_cast<sheet::MemoryWorksheet>(
        again->application()->ActiveWorkbook()->ActiveSheet());
    check(ws != nullptr, "the active sheet is a worksheet");
    if (wroteText)
      check(ws->get(2, 2) == Variant::string(u"<merged & \x01>"), "written text reads back");
    if (wroteNote)
      check(ws->commentAt(4, 4) && ws->commentAt(4, 4)->text() == u"note", "the note reads back");
  } catch (const RuntimeError& e) {
    std::fprintf(stderr, "the saved package does not open again: %s\n", e.what());
    std::abort();
  }
  return 0;
}
