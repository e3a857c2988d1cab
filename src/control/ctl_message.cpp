// Construction and the services shared by both merges. The entry methods and
// passes live beside this file: ctl_message_web.cpp (pages) and
// ctl_message_sheet.cpp (worksheets).
#include <dorvane/ctl_message.h>

namespace dorvane {

ctlMessage::ctlMessage() : messageBox_(defaultMessageBox()) {}

ctlMessage::~ctlMessage() = default;

void ctlMessage::setMessageBox(std::shared_ptr<MessageBox> box) {
  messageBox_ = box ? std::move(box) : defaultMessageBox();
}

void ctlMessage::recordFailure(std::string step, int number, std::string description) {
  if (observer_) observer_->failed(step, number, description);
  failures_.push_back({std::move(step), number, std::move(description)});
}

void ctlMessage::passFailed(const std::string& reason) {
  messageBox_->show(u"error", reason);
  objExcel = nullptr;
}

}  // namespace dorvane
