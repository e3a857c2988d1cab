#include <dorvane/message_box.h>

#include <cstdio>

#include "platform/text/utf.h"

namespace dorvane {

namespace {
MessageBox* gDefaultBox = nullptr;
}  // namespace

void setDefaultMessageBox(MessageBox* box) { gDefaultBox = box; }

std::shared_ptr<MessageBox> defaultMessageBox() {
  if (gDefaultBox) return std::shared_ptr<MessageBox>(gDefaultBox, [](MessageBox*) {});
  return std::make_shared<ConsoleMessageBox>();
}

void ConsoleMessageBox::show(const std::u16string& text, const std::string& reason) {
  std::fprintf(stderr, "%s\n", text::toUtf8(text).c_str());
  if (!reason.empty()) std::fprintf(stderr, "%s\n", reason.c_str());
}

}  // namespace dorvane
