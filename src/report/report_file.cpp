#include "report/report_file.h"

#include "platform/file/result_file.h"
#include "platform/text/utf.h"

namespace dorvane::report {

void writeReportFile(const std::u16string& path, const std::string& html) {
  file::writeResultFile(text::toUtf8(path), html, "report");
}

void writeMergeReport(const std::u16string& path, const ReportSubject& subject,
                      const MergeRecord& record, const Document& document) {
  writeReportFile(path, renderReport(subject, record, document));
}

}  // namespace dorvane::report
