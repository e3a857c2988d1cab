// The UNO connection to a running LibreOffice: the local UNO runtime,
// bootstrapped once per process, and a bridge to the office per attach.
#ifdef DORVANE_HAVE_UNO

#include <dorvane/runtime_error.h>

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cstdlib>
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

}  // namespace

uno::Reference<uno::XComponentContext> tryConnect(const std::string& url) {
  uno::Reference<XUnoUrlResolver> resolver = UnoUrlResolver::create(localContext());
  try {
    return uno::Reference<uno::XComponentContext>(resolver->resolve(toOU(url)), uno::UNO_QUERY);
  } catch (const ::com::sun::star::connection::NoConnectException&) {
    return nullptr;
  }
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
