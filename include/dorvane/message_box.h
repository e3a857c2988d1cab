// The message box of the merge passes: a text and an OK button.
//
// The console box prints the text on stderr, followed by one line with the
// reason; the recording box keeps what it was shown (tests). A host may give
// the control any other (the Qt face shows a real dialog).
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace dorvane {

class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // Shows text with an OK button and returns when it is closed. reason is the
  // system's explanation (which run, which database, which placeholder, why).
  virtual void show(const std::u16string& text, const std::string& reason) = 0;
};

// The box a new ctlMessage starts with: the one set here (a GUI host sets
// its own), else a console box. The box is not owned and must outlive the
// controls made while it is set; null restores the console box.
void setDefaultMessageBox(MessageBox* box);
std::shared_ptr<MessageBox> defaultMessageBox();

class ConsoleMessageBox : public MessageBox {
 public:
  void show(const std::u16string& text, const std::string& reason) override;
};

class RecordingMessageBox : public MessageBox {
 public:
  struct Shown {
    std::u16string text;
    std::string reason;
  };
  void show(const std::u16string& text, const std::string& reason) override {
    shown.push_back({text, reason});
  }
  std::vector<Shown> shown;
};

}  // namespace dorvane
