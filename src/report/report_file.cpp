#include "report/report_file.h"

#include "page/page_file.h"
#include "platform/text/utf.h"

namespace dorvane::report {

namespace {
constexpr int kUtf8CodePage = 65001;
}  // namespace

void writeReportFile(const std::u16string& path, const std::string& html) {
  // The page writer is the one atomic writer of result files; the report is
  // UTF-8 text, which it writes byte for byte (plus a final CR LF).
  page::savePage(path, text::fromUtf8(html), kUtf8CodePage);
}

void writeMergeReport(const std::u16string& path, const ReportSubject& subject,
                      const MergeRecord& record, const Document& document) {
  writeReportFile(path, renderReport(subject, record, document));
}

}  // namespace dorvane::report
