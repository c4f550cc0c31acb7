// bicliques-window-run FILE [consensus|closure]: the time a window user waits
// for one RUN. Puts the matrix file into the input pane of a real window (on
// Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise), presses RUN
// and waits until the last result line is shown; prints the seconds from the
// press to then, and the number of result lines.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "Dialogsunit.h"
#include "Unit1.h"

namespace {

// No dialog is expected; any that comes is answered "no".
class TNoDialogs : public TDialogs {
public:
  std::optional<QString> ChooseFile(QWidget*, const TFileDialog&) override { return std::nullopt; }
  void ShowMessage(QWidget*, const QString& message) override {
    std::fprintf(stderr, "message: %s\n", message.toStdString().c_str());
  }
  bool Ask(QWidget*, const QString&) override { return false; }
  std::optional<TFindRequest> AskFind(QWidget*, const TFindRequest&) override { return std::nullopt; }
};

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bicliques-window-run FILE [consensus|closure]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  TNoDialogs dialogs;
  TForm1 form(dialogs);
  form.show();
  form.RichEdit1->setPlainText(QString::fromStdString(text.str()));
  if (argc > 2 && std::string(argv[2]) == "closure") form.ComboBox1->setCurrentIndex(1);
  QApplication::processEvents();

  QElapsedTimer clock;
  clock.start();
  form.Button1->click();
  while (form.Busy()) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::usleep(200);
  }
  QApplication::processEvents();
  std::printf("%.3f s, %d lines\n", static_cast<double>(clock.nsecsElapsed()) / 1e9, form.SpinEdit3->value());
  return 0;
}
