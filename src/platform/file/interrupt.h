// Ending a command cleanly on a signal.
//
// While an InterruptGuard lives, SIGINT, SIGTERM and SIGHUP remove the
// temporary files of the result files being written (the old results stay as
// they were), print "dorvane <command>: interrupted by SIG...: <what>" on
// stderr and end the process with 128 + the signal's number (130, 143, 129).
// On Windows the interruptions are Ctrl+C (130), Ctrl+Break and the
// console's closing (143), named so in the message.
// SIGXFSZ is ignored, so a write past the file-size limit fails with EFBIG and
// becomes an ordinary save failure. The dispositions before are restored when
// the guard goes. Meant for the command line: a library host keeps its own
// signal handling (result files still turn EFBIG into an error there).
#pragma once

#include <string>

namespace dorvane::file {

class InterruptGuard {
 public:
  // command names the program part in the message ("dorvane web"); what says
  // what an interruption leaves undone ("page.htm was not merged into out.htm").
  InterruptGuard(const std::string& command, const std::string& what);
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// While an InterruptWatch lives, an interruption does not end the process:
// the command ends its work itself and then asks status() how to exit. On
// each interruption the pending temporary files are removed (when
// removeFiles) and onInterrupt, when given, is called with how many came so
// far; it must be async-signal-safe. SIGXFSZ is ignored as under an
// InterruptGuard. Guards and watches do not nest.
class InterruptWatch {
 public:
  InterruptWatch(bool removeFiles, void (*onInterrupt)(int count));
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // 0 until an interruption came; then the exit status it asks for (as above).
  static int status() noexcept;
};

// The temporary files of results being written, for removal from a signal
// handler. Each returns or takes a slot number; -1 when every slot is taken
// (the file is then only removed by its owner). renamed: the file became the
// result, so an interruption from now on says the result was written.
int rememberPendingFile(const std::string& path);
void forgetPendingFile(int slot, bool renamed = false);

// Removes every pending temporary file. Async-signal-safe: for handlers of
// their own (the sheet command's, which also stops its private Calc).
void removePendingFiles() noexcept;

}  // namespace dorvane::file
