#include "cli/report_writer.h"

#include <dorvane/runtime_error.h>
#include <dorvane/sheet.h>

#include <cstdio>

#include "platform/text/utf.h"
#include "report/report_file.h"

namespace dorvane::cli {

double ReportWriter::seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

bool ReportWriter::write(const report::ReportSubject& subject, const report::Document& document) {
  try {
    report::writeMergeReport(text::fromUtf8(path_), subject, recorder_.record(), document);
    return true;
  } catch (const RuntimeError& e) {
    std::fprintf(stderr, "dorvane: cannot write the report %s: error %d: %s\n", path_.c_str(),
                 e.number(), e.description());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dorvane: cannot write the report %s: %s\n", path_.c_str(), e.what());
  }
  return false;
}

bool ReportWriter::writePage(const ctlMessage& control, const std::string& templatePath,
                             const std::string& resultPath) {
  const report::ReportSubject subject{text::fromUtf8(templatePath), text::fromUtf8(resultPath),
                                      seconds()};
  return write(subject, report::PageDocument{control.get_text()});
}

bool ReportWriter::writeSheet(const std::string& templatePath, const std::string& resultPath) {
  const report::ReportSubject subject{text::fromUtf8(templatePath), text::fromUtf8(resultPath),
                                      seconds()};
  report::Document document;
  try {
    auto workbook = sheet::attachRunning()->ActiveWorkbook();
    auto worksheet = workbook ? workbook->ActiveSheet() : nullptr;
    if (worksheet) document = report::readSheetGrid(*worksheet, recorder_.record());
  } catch (const RuntimeError&) {
    // the sheet is gone: the report goes without its grid
  }
  return write(subject, document);
}

}  // namespace dorvane::cli
