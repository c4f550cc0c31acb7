// bicliques-window: starts the main window and runs its event loop. Whatever
// escapes is shown in a message box; the exit code is 0 either way. Once the
// window has closed the process ends at once: freeing millions of results
// one by one would keep it alive for seconds, and the system frees them all.
//
// Hidden flags, for screenshots: --maximised fills the screen (also where no
// window manager maximises), --sources N and --targets N set Generate's
// size, --input FILE puts the file into the input pane, --generate clicks
// Generate once the window is up, --click-run then clicks RUN, --lattice
// then shows the Lattice window (--lattice-min-sources N draws the results
// with at least N sources), --select-result N then selects result line N
// (counting from 1). Each waits until the one before has ended.
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>

#include "Dialogsunit.h"
#include "Hugeheapunit.h"
#include "Latticeviewunit.h"
#include "Qtfilesunit.h"
#include "Resultviewunit.h"
#include "Unit1.h"

namespace {

// Does `steps` one after the other, each once the window is idle again.
void WhenIdle(TForm1& form, std::vector<std::function<void()>> steps) {
  if (steps.empty()) return;
  if (form.Busy() || form.Lattice1->Busy()) {
    QTimer::singleShot(50, &form, [&form, steps] { WhenIdle(form, steps); });
    return;
  }
  steps.front()();
  steps.erase(steps.begin());
  QTimer::singleShot(50, &form, [&form, steps] { WhenIdle(form, steps); });
}

} // namespace

int main(int argc, char** argv) {
  // A RUN of millions of results holds their text and its line index, each
  // written once as it is made: on large pages that costs about 7 % less.
  StartOnHugePages(argv);
  QApplication application(argc, argv);
  TQtDialogs dialogs;
  try {
    TForm1 Form1(dialogs);
    const QStringList arguments = QApplication::arguments();
    if (arguments.contains(QStringLiteral("--maximised"))) {
      Form1.setGeometry(Form1.screen()->availableGeometry());
      Form1.showMaximized();
    } else {
      Form1.show();
    }
    const auto number = [&](const char* flag) -> std::optional<int> {
      const qsizetype at = arguments.indexOf(QString::fromLatin1(flag));
      if (at < 0 || at + 1 >= arguments.size()) return std::nullopt;
      return arguments[at + 1].toInt();
    };
    if (const auto sources = number("--sources")) Form1.SpinEdit1->setValue(*sources);
    if (const auto targets = number("--targets")) Form1.SpinEdit2->setValue(*targets);
    std::vector<std::function<void()>> steps;
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--input"));
        at >= 0 && at + 1 < arguments.size())
      Form1.RichEdit1->setPlainText(QString::fromStdString(ReadFileBytes(arguments[at + 1])));
    if (arguments.contains(QStringLiteral("--generate"))) steps.push_back([&] { Form1.Button3->click(); });
    if (arguments.contains(QStringLiteral("--click-run"))) steps.push_back([&] { Form1.Button1->click(); });
    if (arguments.contains(QStringLiteral("--lattice"))) steps.push_back([&] { Form1.BitBtn5->click(); });
    if (const auto least = number("--lattice-min-sources"))
      steps.push_back([&Form1, least] { Form1.Lattice1->MinSources1->setValue(*least); });
    if (const auto selected = number("--select-result")) {
      const qint64 line = *selected - 1;
      steps.push_back([&Form1, line] {
        Form1.RichEdit2->setFocus();
        Form1.RichEdit2->SelectLines(line, line);
      });
    }
    QTimer::singleShot(0, &Form1, [&Form1, steps] { WhenIdle(Form1, steps); });
    QApplication::exec();
    std::fflush(nullptr);
    std::_Exit(0);
  } catch (const std::exception& error) {
    dialogs.ShowMessage(nullptr, QString::fromStdString(error.what()));
  } catch (...) {
    dialogs.ShowMessage(nullptr, QString());
  }
  return 0;
}
