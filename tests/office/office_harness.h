// Test support: a headless LibreOffice with the extension dorvane.oxt added to
// a private user profile, started by the test and always ended again, with
// its profile folder gone. unopkg refuses a user profile to root, so under
// root it runs as "nobody" on a profile that nobody owns.
#pragma once

#ifdef DORVANE_HAVE_UNO

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sheet/calc/calc_uno.h"
#include "support/run_command.h"

namespace dorvane::testing {

class OfficeWithExtension {
 public:
  // A fresh profile, started once so the office has made it, then unopkg add
  // of oxt; the Python files of pythonMacros (name, text) go into the
  // profile's user scripts. Empty when it worked, else why not.
  std::string prepare(const std::string& oxt,
                      const std::vector<std::pair<std::string, std::string>>& pythonMacros) {
    char pattern[] = "/tmp/dorvane-office-XXXXXX";
    if (!::mkdtemp(pattern)) return "no temporary folder";
    folder_ = pattern;
    profile_ = "file://" + folder_ + "/profile";
    const std::string office = shellQuote(std::string(DORVANE_LO_PROGRAM) + "/soffice");
    if (runCommand(office + " --headless --norestore --nologo --nodefault -env:UserInstallation=" +
                   profile_ + " --terminate_after_init 2>/dev/null")
            .status != 0) {
      return "the office did not make its profile";
    }
    const std::string python = folder_ + "/profile/user/Scripts/python";
    std::filesystem::create_directories(python);
    for (const auto& [name, text] : pythonMacros) std::ofstream(python + "/" + name) << text;
    if (::geteuid() == 0) runCommand("chown -R nobody:nogroup " + shellQuote(folder_));
    CommandResult added = unopkg("add " + shellQuote(oxt));
    if (added.status != 0) return "unopkg add failed: " + added.out;
    return {};
  }

  // unopkg with arguments on this profile (as nobody under root); stderr is
  // captured with stdout.
  CommandResult unopkg(const std::string& arguments) const {
    std::string run = std::string(DORVANE_LO_PROGRAM) + "/unopkg " + arguments +
                      " -env:UserInstallation=" + profile_ + " 2>&1";
    if (::geteuid() == 0) {
      run = "HOME=" + shellQuote(folder_) +
            " setpriv --reuid=nobody --regid=nogroup --clear-groups " + run;
    }
    return runCommand(run);
  }

  // Starts soffice.bin headless on the profile with a pipe of its own, its
  // stderr into a file, and waits until it answers. Empty when it worked.
  std::string start() {
    pipe_ = "dorvane-office-" + std::to_string(::getpid());
    const std::string program = std::string(DORVANE_LO_PROGRAM) + "/soffice.bin";
    const std::string profileArg = "-env:UserInstallation=" + profile_;
    const std::string accept = "--accept=pipe,name=" + pipe_ + ";urp;StarOffice.ComponentContext";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      std::FILE* err = std::fopen((folder_ + "/stderr").c_str(), "w");
      if (err) ::dup2(::fileno(err), 2);
      ::execl(program.c_str(), program.c_str(), "--headless", "--norestore", "--nologo",
              "--nodefault", "--nolockcheck", profileArg.c_str(), accept.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 600; ++i) {
      try {
        context_ = sheet::calc::tryConnect(url());
      } catch (const ::com::sun::star::uno::Exception&) {
      }
      if (context_.is()) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "the office did not answer on its pipe";
  }

  ~OfficeWithExtension() {
    if (pid_ > 0) {
      try {
        if (context_.is()) sheet::calc::desktopOf(context_)->terminate();
      } catch (...) {
      }
      int status = 0;
      for (int i = 0; i < 200 && ::waitpid(pid_, &status, WNOHANG) != pid_; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, &status, WNOHANG);
    }
    context_.clear();
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  // True while the office process runs.
  bool running() const {
    return pid_ > 0 && ::kill(pid_, 0) == 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0;
  }
  // The office's UNO connection, as DORVANE_CALC names one, and its URL.
  std::string address() const { return "pipe,name=" + pipe_; }
  std::string url() const { return "uno:" + address() + ";urp;StarOffice.ComponentContext"; }
  const ::com::sun::star::uno::Reference<::com::sun::star::uno::XComponentContext>& context() {
    return context_;
  }
  const std::string& folder() const { return folder_; }
  // What the office wrote on stderr so far.
  std::string stderrText() const {
    std::ifstream in(folder_ + "/stderr");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::string folder_, profile_, pipe_;
  pid_t pid_ = -1;
  ::com::sun::star::uno::Reference<::com::sun::star::uno::XComponentContext> context_;
};

}  // namespace dorvane::testing

#endif
