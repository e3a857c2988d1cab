// A private LibreOffice Calc for merging workbook files without a desktop:
// started headless with a fresh profile in a temporary folder and a UNO pipe
// of its own, and always ended again, with its profile and lock files gone.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/sheet/calc/calc_backend.h"

namespace dorvane::sheet::calc {

class CalcProcess : public PrivateCalc {
 public:
  // Starts Calc and waits until it answers on its pipe. Raises 429 when
  // LibreOffice is missing, ends early or does not answer within a minute.
  static std::unique_ptr<CalcProcess> start();

  // Ends Calc (see stop()).
  ~CalcProcess() override;
  CalcProcess(const CalcProcess&) = delete;
  CalcProcess& operator=(const CalcProcess&) = delete;

  // The UNO connection of this Calc ("pipe,name=..."), for DORVANE_CALC.
  const std::string& address() const override { return address_; }

  // Loads the workbook at path hidden (a private copy of it, so no lock file
  // appears beside it) in place of the document loaded before; it becomes
  // the document attach() finds. Raises 3024
  // when the file does not exist and 1004 when Calc cannot load it.
  void load(const std::string& path) override;

  // Opens a new, empty spreadsheet document hidden, in place of the document
  // loaded before.
  void create();

  // Closes the loaded document, if any, without saving it. Never raises.
  void closeDocument() override;

  // Saves the loaded workbook to path in the format its extension names
  // (.xlsx, .ods, .xls), by the rules of platform/file/result_file.h. Raises
  // 1004 when Calc cannot store it, 75 or 61 when path cannot be written.
  void saveAs(const std::string& path);

  // Stores the loaded workbook in the format the extension of path names in
  // this Calc's folder and returns that file (saveAs without the result
  // file). Raises 1004, or 91 when no workbook is loaded.
  std::string store(const std::string& path) override;

  // Closes the document, asks Calc to end, waits for it (killing it when it
  // does not end in time), kills what is left of its process group, lets its
  // bridge go and removes the temporary folder. Never raises; safe to call
  // more than once.
  void stop() override;

  // Why this Calc can serve no more, or nothing while it runs and answers:
  // "ended with exit status N" or "was killed by signal N (SIGNAME)" (with
  // the last line of its own log when it wrote one), or "no longer answers:
  // REASON" when its bridge was dropped. Never raises.
  std::optional<std::string> lost() override;

  // True when the extension of path names a format saveAs can write.
  static bool canSave(const std::string& path);

  // For signal handlers: kills every running private Calc at once (only
  // async-signal-safe calls). The owner's stop() still cleans up.
  static void killAllFromSignal();

 private:
  CalcProcess() = default;
  struct Uno;

  int pid_ = -1;
  std::string folder_;
  std::string address_;
  std::unique_ptr<Uno> uno_;
};

}  // namespace dorvane::sheet::calc
