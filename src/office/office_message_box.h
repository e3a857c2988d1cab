// The message box of the merge passes inside LibreOffice: "error" with an OK
// button as an office dialog on the window of the current document. An
// office without a display (started headless) cannot show one: there the
// text and its reason go to stderr, as the console box writes them, and
// nothing waits.
#pragma once

#include <dorvane/message_box.h>

#include <com/sun/star/uno/XComponentContext.hpp>

namespace dorvane::office {

class OfficeMessageBox : public MessageBox {
 public:
  explicit OfficeMessageBox(
      ::com::sun::star::uno::Reference<::com::sun::star::uno::XComponentContext> context)
      : context_(std::move(context)) {}
  // Shows text and waits for OK; headless, or when the office has no
  // document window to show it on, prints it on stderr instead.
  void show(const std::u16string& text, const std::string& reason) override;

 private:
  ::com::sun::star::uno::Reference<::com::sun::star::uno::XComponentContext> context_;
};

// True when this process is an office started without a display
// (--headless, or the VCL plugin "svp").
bool officeIsHeadless();

}  // namespace dorvane::office
