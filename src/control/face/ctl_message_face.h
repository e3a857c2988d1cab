// The control's face: one push button "Command1" at the top left corner,
// covering the face; a click starts the sample run. And the Qt message box.
#pragma once

#include <dorvane/message_box.h>

#include <QPushButton>
#include <QWidget>

namespace dorvane {

class CtlMessageFace : public QWidget {
 public:
  explicit CtlMessageFace(QWidget* parent = nullptr);
  QPushButton* command1() const { return command1_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPushButton* command1_;
};

// A dialog with the text and an OK button only; the reason goes to stderr.
class QtMessageBox : public MessageBox {
 public:
  explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
  void show(const std::u16string& text, const std::string& reason) override;

 private:
  QWidget* parent_;
};

}  // namespace dorvane
