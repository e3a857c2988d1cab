#include "control/face/ctl_message_face.h"

#include <QMessageBox>
#include <QResizeEvent>
#include <cstdio>

#include "control/sample_run.h"

namespace dorvane {

CtlMessageFace::CtlMessageFace(QWidget* parent)
    : QWidget(parent), command1_(new QPushButton(QStringLiteral("Command1"), this)) {
  command1_->setObjectName(QStringLiteral("Command1"));
  command1_->move(0, 0);
  resize(120, 40);
  QObject::connect(command1_, &QPushButton::clicked, this, [this] {
    QtMessageBox box(this);
    runSample(box);
  });
}

void CtlMessageFace::resizeEvent(QResizeEvent* event) {
  command1_->setGeometry(0, 0, event->size().width(), event->size().height());
  QWidget::resizeEvent(event);
}

void QtMessageBox::show(const std::u16string& text, const std::string& reason) {
  // The box holds the text and an OK button only; the reason goes to the log.
  if (!reason.empty()) std::fprintf(stderr, "%s\n", reason.c_str());
  QMessageBox box(parent_);
  box.setText(QString::fromStdU16String(text));
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

}  // namespace dorvane
