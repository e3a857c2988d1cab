// --report FILE.html of the merge commands: gathers the merge's events and
// writes the report once the merge is done.
#pragma once

#include <dorvane/ctl_message.h>

#include <chrono>
#include <string>

#include "report/merge_record.h"
#include "report/report_html.h"

namespace dorvane::cli {

// Set up before the merge (it starts the clock), installed as the control's
// observer in front of next, asked to write after the merge.
class ReportWriter {
 public:
  ReportWriter(std::string path, MergeObserver* next)
      : path_(std::move(path)), recorder_(next), start_(std::chrono::steady_clock::now()) {}

  MergeObserver* observer() { return &recorder_; }

  // Writes the report of a page merge from templatePath to resultPath, whose
  // final text control holds. Prints why on stderr and returns false when the
  // report cannot be written.
  bool writePage(const ctlMessage& control, const std::string& templatePath,
                 const std::string& resultPath);
  // Writes the report of a worksheet merge, with the grid of the active
  // sheet of the running spreadsheet when it can still be read.
  bool writeSheet(const std::string& templatePath, const std::string& resultPath);

 private:
  double seconds() const;
  bool write(const report::ReportSubject& subject, const report::Document& document);

  std::string path_;
  report::RecordingObserver recorder_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace dorvane::cli
