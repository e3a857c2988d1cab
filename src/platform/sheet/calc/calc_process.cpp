#include "platform/sheet/calc/calc_process.h"

#include <dorvane/runtime_error.h>

#include <atomic>
#include <filesystem>

#ifdef DORVANE_HAVE_UNO
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cstring>
#include <fstream>
#include <osl/file.hxx>
#include <random>
#include <thread>

#include "platform/sheet/calc/calc_sheet.h"
#include "platform/sheet/calc/calc_uno.h"
#endif

namespace dorvane::sheet::calc {

namespace fs = std::filesystem;

namespace {

// The process groups of the running private Calcs, for killAllFromSignal.
constexpr int kSlots = 8;
std::atomic<int> runningGroups[kSlots];

void remember(int pid) {
  for (auto& slot : runningGroups) {
    int expected = 0;
    if (slot.compare_exchange_strong(expected, pid)) return;
  }
}

void forget(int pid) {
  for (auto& slot : runningGroups) {
    int expected = pid;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

}  // namespace

bool CalcProcess::canSave(const std::string& path) { return exportFilterFor(path) != nullptr; }

void CalcProcess::killAllFromSignal() {
#ifdef DORVANE_HAVE_UNO
  for (auto& slot : runningGroups) {
    int pid = slot.load();
    if (pid > 0) ::kill(-pid, SIGKILL);
  }
#endif
}

#ifndef DORVANE_HAVE_UNO

struct CalcProcess::Uno {};

std::unique_ptr<CalcProcess> CalcProcess::start() {
  throw RuntimeError(err::kCannotCreateObject,
                     "This build of Dorvane has no LibreOffice Calc support (install "
                     "libreoffice-calc and libreoffice-dev and rebuild)");
}
CalcProcess::~CalcProcess() = default;
void CalcProcess::load(const std::string&) {}
void CalcProcess::create() {}
void CalcProcess::closeDocument() {}
void CalcProcess::saveAs(const std::string&) {}
std::string CalcProcess::store(const std::string&) { return {}; }
void CalcProcess::stop() {}
std::optional<std::string> CalcProcess::lost() { return "is not running"; }

#else

namespace css = ::com::sun::star;
using uno::Reference;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;

struct CalcProcess::Uno {
  Reference<uno::XComponentContext> context;
  Reference<css::frame::XDesktop2> desktop;
  Reference<css::lang::XComponent> document;
};

namespace {

css::beans::PropertyValue property(const char* name, uno::Any value) {
  css::beans::PropertyValue p;
  p.Name = ::rtl::OUString::createFromAscii(name);
  p.Value = std::move(value);
  return p;
}

::rtl::OUString fileUrl(const fs::path& path) {
  ::rtl::OUString url;
  if (::osl::FileBase::getFileURLFromSystemPath(toOU(fs::absolute(path).string()), url) !=
      ::osl::FileBase::E_None) {
    throw RuntimeError(err::kSheetOperationFailed,
                       "The path " + path.string() + " cannot be given to LibreOffice as a URL");
  }
  return url;
}

// The exit status with which soffice.bin asks to be started again.
constexpr int kRestartRequested = 81;

std::string uniquePipeName() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  return "dorvane-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(rd() % 1000000);
}

}  // namespace

std::unique_ptr<CalcProcess> CalcProcess::start() {
  std::unique_ptr<CalcProcess> p(new CalcProcess);
  std::string tmpl = (fs::temp_directory_path() / "dorvane-calc-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) {
    throw RuntimeError(err::kCannotCreateObject,
                       "No temporary folder for the private LibreOffice Calc could be made in " +
                           fs::temp_directory_path().string());
  }
  p->folder_ = tmpl;
  p->address_ = "pipe,name=" + uniquePipeName();
  const std::string url = unoUrl(p->address_);
  const std::string program = DORVANE_LO_PROGRAM "/soffice.bin";
  if (!fs::exists(program)) {
    throw RuntimeError(err::kCannotCreateObject,
                       "LibreOffice Calc is not installed (" + program + " is missing)");
  }
  const std::string profile =
      "-env:UserInstallation=" + utf8(fileUrl(fs::path(p->folder_) / "profile"));
  const std::string accept = "--accept=" + p->address_ + ";urp;StarOffice.ComponentContext";
  const std::string log = p->folder_ + "/calc.log";
  std::vector<std::string> args = {program,         "--headless",  "--invisible",
                                   "--nologo",      "--norestore", "--nodefault",
                                   "--nolockcheck", profile,       accept};
  // The same, ending as soon as it has started: sets the fresh profile up.
  std::vector<std::string> warmArgs = args;
  warmArgs.back() = "--terminate_after_init";
  // Calc's own temporary files go into the private folder too, so that they
  // go with it even when Calc is killed.
  const std::string calcTmp = p->folder_ + "/tmp";
  std::error_code ec;
  fs::create_directory(calcTmp, ec);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::string_view(*e).rfind("TMPDIR=", 0) != 0) env.emplace_back(*e);
  }
  env.push_back("TMPDIR=" + calcTmp);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  // Starts soffice.bin in a process group of its own (a Ctrl-C at the
  // terminal does not reach it directly); it dies with this process.
  auto spawn = [&](std::vector<std::string>& arguments) -> pid_t {
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
      throw RuntimeError(err::kCannotCreateObject,
                         "LibreOffice Calc could not be started (fork failed)");
    }
    if (pid == 0) {
      ::setpgid(0, 0);
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
      int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      if (fd >= 0) {
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::close(fd);
      }
      int null = ::open("/dev/null", O_RDONLY);
      if (null >= 0) ::dup2(null, 0);
      // Nothing else of this process (results being written, pipes to
      // readers, other Calcs' connections) stays open in Calc.
      ::close_range(3, ~0U, 0);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    ::setpgid(pid, pid);
    remember(pid);
    return pid;
  };
  // A fresh profile makes Calc set itself up and end with 81, asking to be
  // restarted — possibly after it has begun to accept connections, which
  // would then break under its clients. A first run that ends after its
  // start sets the profile up, so the instance the merge talks to starts once.
  for (int run = 0; run < 3; ++run) {
    const pid_t warm = spawn(warmArgs);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (::waitpid(warm, &status, WNOHANG) != warm) {
      if (std::chrono::steady_clock::now() > until) {
        ::kill(-warm, SIGKILL);
        ::waitpid(warm, &status, 0);
        forget(warm);
        throw RuntimeError(err::kCannotCreateObject,
                           "The private LibreOffice Calc did not finish setting up its "
                           "profile within a minute");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    forget(warm);
    if (!(WIFEXITED(status) && WEXITSTATUS(status) == kRestartRequested)) break;
  }
  p->pid_ = spawn(args);

  p->uno_ = std::make_unique<Uno>();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int restarts = 0;
  for (;;) {
    int status = 0;
    if (::waitpid(p->pid_, &status, WNOHANG) == p->pid_) {
      forget(p->pid_);
      p->pid_ = -1;
      // A fresh profile makes Calc end once with 81, asking to be restarted.
      if (WIFEXITED(status) && WEXITSTATUS(status) == kRestartRequested && restarts++ < 3) {
        p->pid_ = spawn(args);
        continue;
      }
      throw RuntimeError(err::kCannotCreateObject,
                         "The private LibreOffice Calc ended while starting (exit status " +
                             std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")");
    }
    try {
      p->uno_->context = tryConnect(url);
    } catch (const uno::Exception&) {
      p->uno_->context = nullptr;
    }
    if (p->uno_->context.is()) break;
    if (std::chrono::steady_clock::now() > deadline) {
      throw RuntimeError(
          err::kCannotCreateObject,
          "The private LibreOffice Calc did not answer at " + url + " within a minute");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  p->uno_->desktop = desktopOf(p->uno_->context);
  return p;
}

CalcProcess::~CalcProcess() { stop(); }

void CalcProcess::closeDocument() {
  if (!uno_ || !uno_->document.is()) return;
  try {
    Reference<css::util::XCloseable> closeable(uno_->document, UNO_QUERY);
    if (closeable.is()) closeable->close(true);
  } catch (const uno::Exception&) {
  }
  uno_->document.clear();
}

void CalcProcess::load(const std::string& path) {
  closeDocument();
  if (!fs::is_regular_file(path)) {
    throw RuntimeError(err::kFileNotFound, "The workbook file " + path + " does not exist");
  }
  const fs::path copy = fs::path(folder_) / "in" / fs::path(path).filename();
  std::error_code ec;
  fs::create_directories(copy.parent_path(), ec);
  fs::copy_file(path, copy, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    throw RuntimeError(err::kFileNotFound,
                       "The workbook file " + path + " cannot be read: " + ec.message());
  }
  try {
    Reference<css::frame::XComponentLoader> loader(uno_->desktop, UNO_QUERY_THROW);
    const css::beans::PropertyValue list[] = {
        property("Hidden", uno::Any(true)),
        property("MacroExecutionMode", uno::Any(sal_Int16(0))),  // never run macros
        property("UpdateDocMode", uno::Any(sal_Int16(0))),       // never update links
    };
    uno::Sequence<css::beans::PropertyValue> props(list, 3);
    uno_->document = loader->loadComponentFromURL(fileUrl(copy), "_blank", 0, props);
  } catch (const uno::Exception& e) {
    refuse("loading the workbook " + path, e);
  }
  if (!uno_->document.is()) {
    throw RuntimeError(err::kSheetOperationFailed,
                       "LibreOffice Calc could not load the workbook " + path);
  }
}

void CalcProcess::create() {
  closeDocument();
  try {
    Reference<css::frame::XComponentLoader> loader(uno_->desktop, UNO_QUERY_THROW);
    const css::beans::PropertyValue list[] = {property("Hidden", uno::Any(true))};
    uno_->document = loader->loadComponentFromURL(
        "private:factory/scalc", "_blank", 0, uno::Sequence<css::beans::PropertyValue>(list, 1));
  } catch (const uno::Exception& e) {
    refuse("creating a new workbook", e);
  }
  if (!uno_->document.is()) {
    throw RuntimeError(err::kSheetOperationFailed, "LibreOffice Calc could not create a workbook");
  }
}

void CalcProcess::saveAs(const std::string& path) { calc::saveAs(*this, path); }

std::string CalcProcess::store(const std::string& path) {
  const char* filter = exportFilterFor(path);
  if (!filter) {
    throw RuntimeError(err::kSheetOperationFailed,
                       "The workbook " + path + " needs the extension .xlsx, .ods or .xls");
  }
  if (!uno_ || !uno_->document.is()) {
    throw RuntimeError(err::kObjectNotSet, "No workbook is loaded to save as " + path);
  }
  const fs::path stored = fs::path(folder_) / "out" / fs::path(path).filename();
  std::error_code ec;
  fs::create_directories(stored.parent_path(), ec);
  try {
    Reference<css::frame::XStorable> storable(uno_->document, UNO_QUERY_THROW);
    const css::beans::PropertyValue list[] = {
        property("FilterName", uno::Any(::rtl::OUString::createFromAscii(filter))),
        property("Overwrite", uno::Any(true)),
    };
    uno::Sequence<css::beans::PropertyValue> props(list, 2);
    storable->storeToURL(fileUrl(stored), props);
  } catch (const uno::Exception& e) {
    refuse("saving the workbook as " + path, e);
  }
  return stored.string();
}

void CalcProcess::stop() {
  if (uno_) {
    closeDocument();
    try {
      if (uno_->desktop.is()) uno_->desktop->terminate();
    } catch (const uno::Exception&) {
    }
    uno_.reset();
    disconnect(unoUrl(address_));
  }
  if (pid_ > 0) {
    // Wait for Calc to end without reaping it, so its process id (and the
    // id of its group) cannot be reused before the group is killed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    for (;;) {
      siginfo_t info{};
      if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
          info.si_pid == pid_ || std::chrono::steady_clock::now() > deadline) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(-pid_, SIGKILL);  // Calc when it did not end, and anything of its group left
    int status = 0;
    ::waitpid(pid_, &status, 0);
    forget(pid_);
    pid_ = -1;
  }
  if (!folder_.empty()) {
    std::error_code ec;
    fs::remove_all(folder_, ec);
    folder_.clear();
  }
}

namespace {

// The last line of the log at path that is not blank, cut to a length that
// fits a message; empty when there is none.
std::string lastLogLine(const std::string& path) {
  std::ifstream in(path);
  std::string line, last;
  while (std::getline(in, line)) {
    if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
  }
  constexpr std::size_t kMax = 300;
  if (last.size() > kMax) last = last.substr(0, kMax) + "...";
  return last;
}

// How the process pid ended, with the last line of the log at log; nothing
// while it runs. Leaves it unreaped.
std::optional<std::string> howEnded(int pid, const std::string& log) {
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
      info.si_pid != pid) {
    return std::nullopt;
  }
  std::string why;
  if (info.si_code == CLD_EXITED) {
    why = "ended with exit status " + std::to_string(info.si_status);
  } else {
    const char* name = ::sigabbrev_np(info.si_status);
    why = "was killed by signal " + std::to_string(info.si_status) +
          (name ? std::string(" (SIG") + name + ")" : std::string());
  }
  const std::string line = lastLogLine(log);
  if (!line.empty()) why += "; its log ends: " + line;
  return why;
}

}  // namespace

std::optional<std::string> CalcProcess::lost() {
  if (pid_ <= 0 || !uno_) return "is not running";
  const std::string log = folder_ + "/calc.log";
  if (auto ended = howEnded(pid_, log)) return ended;
  try {
    uno_->context->getValueByName(::rtl::OUString());  // a round trip that makes no object
    return std::nullopt;
  } catch (const uno::RuntimeException& e) {
    // A bridge drops as its office dies: give the office a moment to be
    // seen ending, which says more than the bridge.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < until) {
      if (auto ended = howEnded(pid_, log)) return ended;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "no longer answers: " + utf8(e.Message);
  }
}

#endif

}  // namespace dorvane::sheet::calc
