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
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/provider/XScriptProviderSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sheet/calc/calc_uno.h"
#include "support/run_command.h"

namespace dorvane::testing {

inline ::com::sun::star::beans::PropertyValue unoProperty(const char* name,
                                                          ::com::sun::star::uno::Any value) {
  ::com::sun::star::beans::PropertyValue p;
  p.Name = ::rtl::OUString::createFromAscii(name);
  p.Value = std::move(value);
  return p;
}

// Runs the macro at the script URI uri with string arguments, through the
// script provider of document; returns its result as text ("" when it
// returns none).
inline std::string runMacro(
    const ::com::sun::star::uno::Reference<::com::sun::star::uno::XInterface>& document,
    const std::string& uri, const std::vector<std::string>& args = {}) {
  namespace css = ::com::sun::star;
  css::uno::Reference<css::script::provider::XScriptProviderSupplier> supplier(
      document, css::uno::UNO_QUERY_THROW);
  auto script = supplier->getScriptProvider()->getScript(::rtl::OUString::fromUtf8(uri.c_str()));
  css::uno::Sequence<css::uno::Any> params(static_cast<sal_Int32>(args.size()));
  for (std::size_t i = 0; i < args.size(); ++i) {
    params.getArray()[i] <<= ::rtl::OUString::fromUtf8(args[i].c_str());
  }
  css::uno::Sequence<sal_Int16> outIndex;
  css::uno::Sequence<css::uno::Any> out;
  ::rtl::OUString result;
  script->invoke(params, outIndex, out) >>= result;
  return result.toUtf8().getStr();
}

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

  // Starts soffice.bin headless on the profile with a pipe of its own, in
  // workFolder(), its stderr into a file, and waits until it answers. Empty
  // when it worked.
  std::string start() {
    pipe_ = "dorvane-office-" + std::to_string(::getpid());
    const std::string program = std::string(DORVANE_LO_PROGRAM) + "/soffice.bin";
    const std::string profileArg = "-env:UserInstallation=" + profile_;
    const std::string accept = "--accept=pipe,name=" + pipe_ + ";urp;StarOffice.ComponentContext";
    std::filesystem::create_directories(workFolder());
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      if (::chdir(workFolder().c_str()) != 0) ::_exit(126);
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
      ::unlink(("/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_" + pipe_).c_str());
    }
    context_.clear();
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  // A new spreadsheet document, filled by fill (it is then the office's
  // only document), with basic as its module Standard.Module1, stored in the
  // folder and loaded again hidden with its macros allowed.
  ::com::sun::star::uno::Reference<::com::sun::star::uno::XInterface> documentWithBasic(
      const char* basic, const std::function<void()>& fill) {
    namespace css = ::com::sun::star;
    namespace uno = css::uno;
    uno::Reference<css::frame::XComponentLoader> loader(sheet::calc::desktopOf(context_),
                                                        uno::UNO_QUERY_THROW);
    const css::beans::PropertyValue hiddenArgs[] = {unoProperty("Hidden", uno::Any(true))};
    auto made =
        loader->loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                     uno::Sequence<css::beans::PropertyValue>(hiddenArgs, 1));
    fill();
    uno::Reference<css::script::XLibraryContainer> libraries(
        uno::Reference<css::beans::XPropertySet>(made, uno::UNO_QUERY_THROW)
            ->getPropertyValue("BasicLibraries"),
        uno::UNO_QUERY_THROW);
    if (!libraries->hasByName("Standard")) libraries->createLibrary("Standard");
    uno::Reference<css::container::XNameContainer> standard(libraries->getByName("Standard"),
                                                            uno::UNO_QUERY_THROW);
    standard->insertByName("Module1", uno::Any(::rtl::OUString::fromUtf8(basic)));
    const ::rtl::OUString file =
        ::rtl::OUString::fromUtf8(("file://" + folder_ + "/template.ods").c_str());
    uno::Reference<css::frame::XStorable>(made, uno::UNO_QUERY_THROW)->storeAsURL(file, {});
    uno::Reference<css::util::XCloseable>(made, uno::UNO_QUERY_THROW)->close(true);
    const css::beans::PropertyValue macroArgs[] = {
        unoProperty("Hidden", uno::Any(true)),
        unoProperty("MacroExecutionMode",
                    uno::Any(css::document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN))};
    return loader->loadComponentFromURL(file, "_blank", 0,
                                        uno::Sequence<css::beans::PropertyValue>(macroArgs, 2));
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
  // The office's current folder.
  std::string workFolder() const { return folder_ + "/work"; }
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
