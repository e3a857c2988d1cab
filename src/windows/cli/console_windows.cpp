// The command's entry on Windows. The command line is taken as UTF-16
// (wmain), so any path can be named whatever the ANSI code page, and handed
// to the commands as UTF-8. Standard input, output and error are binary:
// a pipe or a file gets the command's UTF-8 bytes and line ends as on
// Linux. A console gets the same text as UTF-16 through WriteConsoleW: what
// the C runtime writes to it goes through a pipe to a thread of this file
// that writes it there, so no narrow output anywhere in the program needs
// to know. The system's standard handles stay the console, for the writes
// that bypass the C runtime (a result written to "-", the message of an
// interruption).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "cli/console.h"
#include "platform/text/utf.h"

namespace dorvane::cli {

namespace {

bool isConsole(HANDLE h) {
  DWORD mode = 0;
  return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode);
}

bool stderrConsole = false;

// The length of the longest prefix of bytes that ends on a whole UTF-8
// sequence: a sequence cut by the end of a read waits for the next one.
std::size_t wholeSequences(const std::string& bytes) {
  const std::size_t n = bytes.size();
  for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
    const auto c = static_cast<unsigned char>(bytes[n - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return length > back ? n - back : n;
  }
  return n;
}

// While alive, what the C runtime writes to stream's descriptor reaches the
// console that the standard handle which names as UTF-16. Nothing changes
// when that handle is no console.
class ConsoleRelay {
 public:
  ConsoleRelay(std::FILE* stream, DWORD which) : stream_(stream), fd_(_fileno(stream)) {
    console_ = ::GetStdHandle(which);
    if (!isConsole(console_)) return;
    int ends[2];
    if (_pipe(ends, 4096, _O_BINARY | _O_NOINHERIT) != 0) return;
    std::fflush(stream_);
    saved_ = _dup(fd_);
    if (saved_ < 0 || _dup2(ends[1], fd_) != 0) {
      _close(ends[0]);
      _close(ends[1]);
      if (saved_ >= 0) _close(saved_);
      saved_ = -1;
      return;
    }
    _close(ends[1]);
    // _dup2 closed the handle the descriptor had: its duplicate is the console now.
    console_ = reinterpret_cast<HANDLE>(_get_osfhandle(saved_));
    ::SetStdHandle(which, console_);
    reader_ = ends[0];
    thread_ = std::thread([this] { relay(); });
  }

  // Writes out what is still under way and gives the descriptor back.
  ~ConsoleRelay() {
    if (saved_ < 0) return;
    std::fflush(stream_);
    _dup2(saved_, fd_);  // closes the pipe's last writing end: the thread sees its end
    _close(saved_);
    thread_.join();
    _close(reader_);
  }

  ConsoleRelay(const ConsoleRelay&) = delete;
  ConsoleRelay& operator=(const ConsoleRelay&) = delete;

 private:
  void relay() {
    std::string pending;
    char buf[4096];
    for (;;) {
      const int got = _read(reader_, buf, sizeof buf);
      if (got <= 0) break;
      pending.append(buf, static_cast<std::size_t>(got));
      const std::size_t whole = wholeSequences(pending);
      write(std::string_view(pending).substr(0, whole));
      pending.erase(0, whole);
    }
    write(pending);
  }

  void write(std::string_view utf8) {
    if (utf8.empty()) return;
    const std::u16string text = text::fromUtf8(utf8);
    const wchar_t* at = reinterpret_cast<const wchar_t*>(text.data());
    std::size_t left = text.size();
    while (left > 0) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(left < 16384 ? left : 16384);
      if (!::WriteConsoleW(console_, at, chunk, &written, nullptr) || written == 0) return;
      at += written;
      left -= written;
    }
  }

  std::FILE* stream_;
  int fd_;
  HANDLE console_ = nullptr;
  int saved_ = -1;
  int reader_ = -1;
  std::thread thread_;
};

}  // namespace

bool stderrIsTerminal() { return stderrConsole; }

}  // namespace dorvane::cli

extern "C" int wmain(int argc, wchar_t** argv) {
  using namespace dorvane;
  std::vector<std::string> args;
  args.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i)
    args.push_back(text::toUtf8(reinterpret_cast<const char16_t*>(argv[i])));
  std::vector<char*> pointers;
  for (auto& a : args) pointers.push_back(a.data());
  pointers.push_back(nullptr);

  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  cli::stderrConsole = cli::isConsole(::GetStdHandle(STD_ERROR_HANDLE));
  cli::ConsoleRelay out(stdout, STD_OUTPUT_HANDLE);
  cli::ConsoleRelay err(stderr, STD_ERROR_HANDLE);
  return cli::dorvaneMain(argc, pointers.data());
}
