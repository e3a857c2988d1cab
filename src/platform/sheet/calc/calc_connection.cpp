// The UNO connection to a running LibreOffice: the local UNO runtime,
// bootstrapped once per process, and one bridge per office.
//
// One bridge per office, not one per attach: the UNO runtime of a process
// knows each remote object once, so the objects a second bridge to the same
// office brings back are the first bridge's proxies. That second bridge then
// holds nothing, and both ends close it as unused right after its first call
// - while that call may still be waiting for its answer, which then fails
// with "Binary URP bridge disposed during call" (seen under load, when the
// waiting thread is slow to wake).
#ifdef DORVANE_HAVE_UNO

#include <dorvane/runtime_error.h>

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <csignal>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "platform/sheet/calc/calc_uno.h"

namespace dorvane::sheet::calc {

namespace {

using ::com::sun::star::bridge::UnoUrlResolver;
using ::com::sun::star::bridge::XUnoUrlResolver;

// The local component context. Made once and kept for the life of the
// process: tearing the UNO runtime down at exit, while bridges may still be
// winding down, is not safe.
uno::Reference<uno::XComponentContext> localContext() {
  static std::once_flag once;
  static uno::Reference<uno::XComponentContext>* context = nullptr;
  std::call_once(once, [] {
    // A bridge writes to its pipe without MSG_NOSIGNAL: an office that died
    // must make the call fail, not end this process with SIGPIPE. A host's
    // own handler is left as it is.
    struct sigaction old {};
    if (::sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) {
      std::signal(SIGPIPE, SIG_IGN);
    }
    if (!std::getenv("URE_BOOTSTRAP")) {
      ::setenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" DORVANE_LO_PROGRAM "/fundamentalrc", 0);
    }
    try {
      context = new uno::Reference<uno::XComponentContext>(
          ::cppu::defaultBootstrap_InitialComponentContext());
    } catch (const uno::Exception& e) {
      throw RuntimeError(err::kCannotCreateObject,
                         "The UNO runtime of LibreOffice could not start (URE_BOOTSTRAP " +
                             std::string(std::getenv("URE_BOOTSTRAP")) + "): " + utf8(e.Message));
    }
  });
  if (!context) {
    throw RuntimeError(err::kCannotCreateObject, "The UNO runtime of LibreOffice is not available");
  }
  return *context;
}

// The bridge to the office at one URL: the remote component context, kept
// while the bridge answers. lock is held while it is checked or made, so
// two threads never bridge to one office at once.
struct Bridge {
  std::mutex lock;
  uno::Reference<uno::XComponentContext> context;
};

// The bridges of this process by URL. Never destroyed, like the runtime.
std::mutex bridgesLock;
std::map<std::string, std::shared_ptr<Bridge>>& bridges() {
  static auto* all = new std::map<std::string, std::shared_ptr<Bridge>>;
  return *all;
}

std::shared_ptr<Bridge> bridgeFor(const std::string& url) {
  std::lock_guard<std::mutex> guard(bridgesLock);
  auto& slot = bridges()[url];
  if (!slot) slot = std::make_shared<Bridge>();
  return slot;
}

// True when context still answers over its bridge.
bool answers(const uno::Reference<uno::XComponentContext>& context) {
  try {
    context->getValueByName(::rtl::OUString());  // a round trip that makes no object
    return true;
  } catch (const uno::RuntimeException&) {
    return false;
  }
}

}  // namespace

uno::Reference<uno::XComponentContext> tryConnect(const std::string& url) {
  std::shared_ptr<Bridge> bridge = bridgeFor(url);
  std::lock_guard<std::mutex> guard(bridge->lock);
  if (bridge->context.is()) {
    if (answers(bridge->context)) return bridge->context;
    bridge->context.clear();
  }
  uno::Reference<XUnoUrlResolver> resolver = UnoUrlResolver::create(localContext());
  try {
    bridge->context.set(resolver->resolve(toOU(url)), uno::UNO_QUERY);
  } catch (const ::com::sun::star::connection::NoConnectException&) {
    return nullptr;
  }
  return bridge->context;
}

void disconnect(const std::string& url) {
  std::shared_ptr<Bridge> bridge;
  {
    std::lock_guard<std::mutex> guard(bridgesLock);
    auto it = bridges().find(url);
    if (it == bridges().end()) return;
    bridge = it->second;
    bridges().erase(it);
  }
  std::lock_guard<std::mutex> guard(bridge->lock);
  bridge->context.clear();
}

uno::Reference<uno::XComponentContext> connect(const std::string& url) {
  uno::Reference<uno::XComponentContext> remote;
  try {
    remote = tryConnect(url);
  } catch (const uno::Exception& e) {
    throw RuntimeError(err::kCannotCreateObject,
                       "LibreOffice Calc at " + url + " did not answer: " + utf8(e.Message));
  }
  if (!remote.is()) {
    throw RuntimeError(err::kCannotCreateObject,
                       "No spreadsheet application is running: nothing listens at " + url +
                           ". Start LibreOffice Calc with --accept=\"pipe,name=dorvane;urp;\" "
                           "or set DORVANE_CALC to the address it accepts on");
  }
  return remote;
}

uno::Reference<::com::sun::star::frame::XDesktop2> desktopOf(
    const uno::Reference<uno::XComponentContext>& context) {
  try {
    return ::com::sun::star::frame::Desktop::create(context);
  } catch (const uno::Exception& e) {
    refuse("reaching the desktop", e);
  }
}

void refuse(const std::string& what, const uno::Exception& e) {
  throw RuntimeError(err::kSheetOperationFailed,
                     "LibreOffice Calc refused " + what + ": " + utf8(e.Message));
}

}  // namespace dorvane::sheet::calc

#if defined(__SANITIZE_ADDRESS__)
// The UNO runtime keeps its type descriptions for the life of the process
// (allocated once, never freed, partly from the generated headers inlined
// here); LeakSanitizer would report them at exit.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:com::sun::star::uno::Type::operator new\n"
         "leak:/usr/lib/libreoffice/\n";
}
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

#endif
