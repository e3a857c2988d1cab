#include "office/office_message_box.h"

#include <com/sun/star/awt/MessageBoxButtons.hpp>
#include <com/sun/star/awt/MessageBoxType.hpp>
#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/XMessageBox.hpp>
#include <com/sun/star/awt/XMessageBoxFactory.hpp>
#include <com/sun/star/awt/XToolkit2.hpp>
#include <com/sun/star/awt/XWindowPeer.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace dorvane::office {

namespace css = ::com::sun::star;
namespace uno = css::uno;

bool officeIsHeadless() {
  static const bool headless = [] {
    if (const char* plugin = std::getenv("SAL_USE_VCLPLUGIN");
        plugin && std::strcmp(plugin, "svp") == 0) {
      return true;
    }
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t start = 0;
    while (start < all.size()) {
      const std::size_t end = all.find('\0', start);
      const std::string arg = all.substr(start, end == std::string::npos ? end : end - start);
      if (arg == "--headless" || arg == "-headless") return true;
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return false;
  }();
  return headless;
}

void OfficeMessageBox::show(const std::u16string& text, const std::string& reason) {
  if (!officeIsHeadless()) {
    try {
      uno::Reference<css::frame::XFrame> frame =
          css::frame::Desktop::create(context_)->getCurrentFrame();
      uno::Reference<css::awt::XWindowPeer> peer(frame.is() ? frame->getContainerWindow() : nullptr,
                                                 uno::UNO_QUERY);
      if (peer.is()) {
        uno::Reference<css::awt::XToolkit2> toolkit = css::awt::Toolkit::create(context_);
        uno::Reference<css::awt::XMessageBox> box = toolkit->createMessageBox(
            peer, css::awt::MessageBoxType_MESSAGEBOX, css::awt::MessageBoxButtons::BUTTONS_OK,
            "Dorvane",
            ::rtl::OUString(reinterpret_cast<const sal_Unicode*>(text.data()),
                            static_cast<sal_Int32>(text.size())));
        box->execute();
        return;
      }
    } catch (const uno::Exception&) {
      // no dialog to be had: say it on stderr below
    }
  }
  ConsoleMessageBox().show(text, reason);
}

}  // namespace dorvane::office
