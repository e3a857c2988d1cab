// Writing a merge report file: one call per merge (a command, or one job of
// many), written whole or not at all.
#pragma once

#include <string>

#include "report/report_html.h"

namespace dorvane::report {

// Writes html (UTF-8) as the result file path (platform/file/result_file.h:
// replaced whole or left as it was; links kept; "-" is standard output).
// Raises 75 or 61 naming the file and the reason when it cannot be written.
void writeReportFile(const std::u16string& path, const std::string& html);

// Renders the report of one merge and writes it to path as above.
void writeMergeReport(const std::u16string& path, const ReportSubject& subject,
                      const MergeRecord& record, const Document& document);

}  // namespace dorvane::report
