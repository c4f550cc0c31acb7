// bicliques-window-run FILE [consensus|closure|sparse] [--runs N]: what a
// window user waits for and what the window holds, RUN after RUN. Puts the
// matrix file into the input pane of a real window (on Qt's offscreen
// platform unless QT_QPA_PLATFORM says otherwise), presses RUN N times
// (default once), each time waiting until the last result line is shown,
// and prints per RUN: the seconds from the press to then, the number of
// result lines, the process's peak resident size during the RUN (the
// kernel's high-water mark, reset before the press) and its resident size
// afterwards, and the longest the window's event loop went without turning.
// Meanwhile the program waits in the event loop as a window left alone
// does, so that its own CPU use stays out of the figures.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "Dialogsunit.h"
#include "Enginetableunit.h"
#include "Hugeheapunit.h"
#include "Unit1.h"

namespace {

// No dialog but the question before results are replaced is expected; that
// one is answered yes, the others no.
class TNoDialogs : public TDialogs {
public:
  std::optional<QString> ChooseFile(QWidget*, const TFileDialog&) override { return std::nullopt; }
  void ShowMessage(QWidget*, const QString& message) override {
    std::fprintf(stderr, "message: %s\n", message.toStdString().c_str());
  }
  bool Ask(QWidget*, const QString& question) override {
    return question.contains(QStringLiteral("Replace"));
  }
  std::optional<TFindRequest> AskFind(QWidget*, const TFindRequest&) override { return std::nullopt; }
};

long ResidentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024) / 1024;
}

// The process's peak resident size since the last ResetPeak (or its start).
long PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string word;
  long kilobytes = 0;
  while (status >> word)
    if (word == "VmHWM:" && status >> kilobytes) break;
  return kilobytes / 1024;
}

// Lets the peak start again from the resident size now.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

} // namespace

int main(int argc, char** argv) {
  StartOnHugePages(argv); // as the window starts
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bicliques-window-run FILE [consensus|closure|sparse] [--runs N]\n");
    return 2;
  }
  int runs = 1;
  std::string engine = "consensus";
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else {
      engine = argv[i];
    }
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  TNoDialogs dialogs;
  TForm1 form(dialogs);
  form.show();
  form.RichEdit1->setPlainText(QString::fromStdString(text.str()));
  for (std::size_t e = 0; e < Engines().size(); ++e)
    if (Engines()[e].Name == engine) form.ComboBox1->setCurrentIndex(static_cast<int>(e));
  QApplication::processEvents();

  for (int run = 1; run <= runs; ++run) {
    ResetPeak();
    QElapsedTimer clock, turn;
    clock.start();
    turn.start();
    qint64 stall = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] { stall = std::max(stall, turn.restart()); });
    ticks.start(5);
    QEventLoop wait;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
      if (!form.Busy()) wait.quit();
    });
    check.start(1);
    form.Button1->click();
    if (form.Busy()) wait.exec();
    QApplication::processEvents();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::printf("RUN %d: %.3f s, %d lines, peak %ld MB, after %ld MB, longest stall %lld ms\n", run, seconds,
                form.SpinEdit3->value(), PeakMegabytes(), ResidentMegabytes(), static_cast<long long>(stall));
    std::fflush(stdout);
  }
  return 0;
}
