#include <dorvane/message_box.h>

#include <cstdio>

#include "platform/text/utf.h"

namespace dorvane {

void ConsoleMessageBox::show(const std::u16string& text, const std::string& reason) {
  std::fprintf(stderr, "%s\n", text::toUtf8(text).c_str());
  if (!reason.empty()) std::fprintf(stderr, "%s\n", reason.c_str());
}

}  // namespace dorvane
