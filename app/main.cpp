// bicliques-window: starts the main window and runs its event loop. Whatever
// escapes is shown in a message box; the exit code is 0 either way.
//
// Hidden flag --click-run: clicks RUN once the window is up (for screenshots).
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <exception>

#include "Dialogsunit.h"
#include "Unit1.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  TQtDialogs dialogs;
  try {
    TForm1 Form1(dialogs);
    Form1.show();
    if (QApplication::arguments().contains(QStringLiteral("--click-run")))
      QTimer::singleShot(0, Form1.Button1, &QPushButton::click);
    QApplication::exec();
  } catch (const std::exception& error) {
    dialogs.ShowMessage(nullptr, QString::fromStdString(error.what()));
  } catch (...) {
    dialogs.ShowMessage(nullptr, QString());
  }
  return 0;
}
