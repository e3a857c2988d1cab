// The worksheet merge of `dorvane sheet` as its parts on each system use it
// (sheet_command.cpp; the office suite's part in office.h).
#pragma once

#include <dorvane/message_box.h>

#include <memory>
#include <string>
#include <vector>

namespace dorvane::cli {

struct SheetOptions {
  std::vector<std::string> files;  // IN and OUT, or none
  std::string db, db2;
  bool explain = false;
  std::string report;
  bool office = false;
  // IN and OUT are merged without an office suite.
  bool native() const;
};

// Shows "error" and the reason on stderr like the console box, counts how
// often, and stays quiet once the merge is being interrupted.
class CountingBox : public MessageBox {
 public:
  void show(const std::u16string& text, const std::string& reason) override;
  int shown = 0;

 private:
  ConsoleMessageBox console_;
};

// The exit status of a pass that failed while the result was still written.
inline constexpr int kExitPassFailed = 3;

// Runs ocxKiv on the running spreadsheet of this thread; returns 0, or
// kExitPassFailed when a pass showed "error" (kExitFailed in attachMode when
// no spreadsheet ran at all, or when the report could not be written). With
// a retryStep, the retry note (why a first try was lost) goes to --explain
// and the report first.
int mergeSheet(const SheetOptions& o, std::shared_ptr<CountingBox> box, bool attachMode,
               const char* retryStep = nullptr, const std::string& retryNote = "");

// 0, or the exit status an interruption of the command asks for.
int sheetInterrupted();

}  // namespace dorvane::cli
