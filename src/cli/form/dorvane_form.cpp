// dorvane-form: a small host window that shows the control's face. A click on
// Command1 runs the sample; errors appear in message boxes.
#include <dorvane/component.h>

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>

#include "control/face/ctl_message_face.h"
#include "control/sample_run.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  dorvane::QtMessageBox box(&window);
  dorvane::com::SetHostMessageBox(&box);
  window.setWindowTitle(QStringLiteral("Dorvane"));
  auto* face = new dorvane::CtlMessageFace(&window);
  window.setCentralWidget(face);
  window.statusBar()->showMessage(QStringLiteral("Sample folder: ") +
                                  QString::fromStdString(dorvane::sampleFolder()));
  window.resize(360, 160);
  window.show();
  int status = app.exec();
  dorvane::com::SetHostMessageBox(nullptr);
  return status;
}
