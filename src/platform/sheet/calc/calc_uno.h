// UNO plumbing shared by the Calc backend files (calc_*.cpp only; this header
// needs the C++ headers that the build generates from LibreOffice's types).
#pragma once

#ifdef DORVANE_HAVE_UNO

#include <dorvane/sheet.h>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <memory>
#include <rtl/ustring.hxx>
#include <string>

namespace dorvane::sheet::calc {

namespace uno = ::com::sun::star::uno;

// sal_Unicode is a 16-bit unsigned integer outside LibreOffice itself; it
// holds the same UTF-16 code units as char16_t.
inline ::rtl::OUString toOU(const std::u16string& s) {
  return ::rtl::OUString(reinterpret_cast<const sal_Unicode*>(s.data()),
                         static_cast<sal_Int32>(s.size()));
}
inline ::rtl::OUString toOU(const std::string& s) {
  return ::rtl::OUString(s.data(), static_cast<sal_Int32>(s.size()), RTL_TEXTENCODING_UTF8);
}
inline std::u16string fromOU(const ::rtl::OUString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.getStr()),
                        static_cast<std::size_t>(s.getLength()));
}
inline std::string utf8(const ::rtl::OUString& s) { return s.toUtf8().getStr(); }

// The component context of the Calc at the UNO URL url, over this process's
// one bridge to it (made on first use, made again when it no longer
// answers). Raises 429 when nothing answers there. The first call ignores
// SIGPIPE in the process, unless a handler is set for it.
uno::Reference<uno::XComponentContext> connect(const std::string& url);

// The same, but returns null instead of raising when nothing listens at url
// (used while waiting for a starting Calc); other failures raise a UNO
// exception.
uno::Reference<uno::XComponentContext> tryConnect(const std::string& url);

// Lets the bridge to url go (for an office that is being ended): the next
// connect makes a new one. Never raises.
void disconnect(const std::string& url);

// The desktop of the Calc behind context.
uno::Reference<::com::sun::star::frame::XDesktop2> desktopOf(
    const uno::Reference<uno::XComponentContext>& context);

// The spreadsheet application whose documents desktop holds; where names it
// in error descriptions (a UNO URL, or "this office").
std::shared_ptr<Application> applicationOn(
    uno::Reference<::com::sun::star::frame::XDesktop2> desktop, std::string where);

// Raises 1004 describing a UNO exception that ended the operation what.
[[noreturn]] void refuse(const std::string& what, const uno::Exception& e);

}  // namespace dorvane::sheet::calc

#endif
