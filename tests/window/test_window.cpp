#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <malloc.h>
#include <map>
#include <mutex>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include "Generateunit.h"
#include "Lineindexunit.h"
#include "Pictureunit.h"
#include "Resultviewunit.h"
#include "Rununit.h"
#include "Unit1.h"

namespace {

// Answers the window's dialogs in place of a user and records its messages.
class TScriptedDialogs : public TDialogs {
public:
  std::optional<QString> File;        // every file dialog's answer; nothing cancels
  bool Broken = false;                // file dialogs throw instead of answering
  std::vector<TFileDialog> Asked;     // the file dialogs shown, in order
  std::vector<std::string> Messages;  // the messages shown, in order
  bool Answer = false;                // every yes/no question's answer
  std::vector<std::string> Questions; // the questions asked, in order
  std::optional<QString> Typed;       // every find question's text; nothing cancels
  bool WholeLine = false;             // every find question's "Whole line"

  std::optional<QString> ChooseFile(QWidget*, const TFileDialog& dialog) override {
    Asked.push_back(dialog);
    if (Broken) throw std::runtime_error("the file dialog broke");
    return File;
  }
  void ShowMessage(QWidget*, const QString& message) override { Messages.push_back(message.toStdString()); }
  bool Ask(QWidget*, const QString& question) override {
    Questions.push_back(question.toStdString());
    return Answer;
  }
  std::optional<TFindRequest> AskFind(QWidget*, const TFindRequest&) override {
    if (!Typed) return std::nullopt;
    return TFindRequest{*Typed, WholeLine};
  }
};

using TLines = std::vector<std::string>;

class Window : public testing::Test {
public: // the cases' tables call the helpers through a Window&
  TScriptedDialogs Dialogs;
  TForm1 Form{Dialogs};
  QTemporaryDir Folder;

  void SetUp() override {
    Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
  }

  template <class TControl> TControl* Find(const char* name) {
    auto* control = Form.findChild<TControl*>(QString::fromLatin1(name));
    if (!control) throw std::logic_error(std::string("no control ") + name);
    return control;
  }
  // Clicks a button and returns once the window has done what it started.
  void Click(const char* name) {
    Press(name);
    WaitIdle();
  }
  // Clicks a button and returns at once, perhaps with work going on.
  void Press(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
  void WaitIdle(int seconds = 120) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form.Busy(); }, seconds * 1000));
  }
  std::string Text(const char* pane) {
    if (auto* view = Form.findChild<TResultView*>(QString::fromLatin1(pane)))
      return view->toPlainText().toStdString();
    return Find<QPlainTextEdit>(pane)->toPlainText().toStdString();
  }
  std::string Status() { return Form.StatusBar1->currentMessage().toStdString(); }
  TLines Lines(const char* pane) { return SplitLines(Text(pane)); }
  void SetInput(const char* text) {
    Find<QPlainTextEdit>("RichEdit1")->setPlainText(QString::fromUtf8(text));
  }
  void SetGenerator(int sources, int targets, const char* density) {
    Find<QSpinBox>("SpinEdit1")->setValue(sources);
    Find<QSpinBox>("SpinEdit2")->setValue(targets);
    Find<QLineEdit>("Edit1")->setText(QString::fromUtf8(density));
  }
  QString PathOf(const char* name) { return Folder.filePath(QString::fromLatin1(name)); }
};

std::string FileBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<unreadable>";
  return file.readAll().toStdString();
}

void PutFile(const QString& path, const std::string& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(bytes.data(), static_cast<qint64>(bytes.size())), static_cast<qint64>(bytes.size()));
}

const TLines WorkedExample = {"1 : 1,2,3,4", "1,2 : 3,4", "2 : 3,4,5"};

TEST_F(Window, StartsWithEveryControlInPlaceAndAtItsDefault) {
  EXPECT_EQ(Form.windowTitle().toStdString(), "Modular Input Consensus Algorithm");
  EXPECT_EQ(Form.size(), QSize(963, 524));

  struct TControlCase {
    const char* Name;
    const char* Kind;
    QRect Geometry;
    const char* Shows;
  };
  const TControlCase cases[] = {
      // The panes share the height down to 8 pixels above the status bar.
      {"RichEdit1", "QPlainTextEdit", {8, 16, 553, 237}, "11110\n00111"},
      {"RichEdit2", "TResultView", {8, 259, 553, 238}, ""},
      {"Label1", "QLabel", {586, 24, 33, 13}, "Source"},
      {"SpinEdit1", "QSpinBox", {632, 21, 57, 22}, "10"},
      {"Label2", "QLabel", {589, 52, 32, 13}, "Target"},
      {"SpinEdit2", "QSpinBox", {632, 49, 57, 22}, "10"},
      {"Label3", "QLabel", {574, 82, 50, 13}, "Density %"},
      {"Edit1", "QLineEdit", {632, 74, 58, 21}, "25"},
      {"Button3", "QPushButton", {615, 101, 75, 25}, "Generate"},
      {"Button1", "QPushButton", {856, 8, 75, 25}, "RUN"},
      {"Edit2", "QLineEdit", {736, 8, 106, 21}, "0"},
      {"SpinEdit3", "QSpinBox", {736, 35, 106, 22}, "0"},
      {"BitBtn1", "QPushButton", {616, 144, 75, 25}, "Open"},
      {"BitBtn2", "QPushButton", {616, 175, 75, 25}, "Save"},
      {"BitBtn3", "QPushButton", {616, 472, 75, 25}, "Save"},  // beside the result pane's bottom
      {"CheckBox2", "QCheckBox", {616, 449, 75, 17}, "Names"}, // unchecked and disabled: no names yet
      {"StatusBar1", "QStatusBar", {0, 505, 963, 19}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto* control = Find<QWidget>(c.Name);
    EXPECT_STREQ(control->metaObject()->className(), c.Kind);
    EXPECT_EQ(QRect(control->mapTo(&Form, QPoint(0, 0)), control->size()), c.Geometry);
    QString shows;
    if (auto* pane = qobject_cast<QPlainTextEdit*>(control)) shows = pane->toPlainText();
    if (auto* view = qobject_cast<TResultView*>(control)) shows = view->toPlainText();
    if (auto* label = qobject_cast<QLabel*>(control)) shows = label->text();
    if (auto* box = qobject_cast<QSpinBox*>(control)) shows = QString::number(box->value());
    if (auto* edit = qobject_cast<QLineEdit*>(control)) shows = edit->text();
    if (auto* button = qobject_cast<QPushButton*>(control)) shows = button->text();
    if (auto* bar = qobject_cast<QStatusBar*>(control)) shows = bar->currentMessage();
    if (auto* box = qobject_cast<QCheckBox*>(control)) shows = box->text();
    EXPECT_EQ(shows.toStdString(), c.Shows);
  }
  EXPECT_EQ(Form.Bicliques, nullptr);
}

TEST_F(Window, PanesShowFixedPitchUnwrappedLinesWithBothScrollBars) {
  for (const char* name : {"RichEdit1", "RichEdit2"}) {
    SCOPED_TRACE(name);
    auto* pane = Find<QAbstractScrollArea>(name);
    EXPECT_EQ(pane->font().family().toStdString(), "Courier New");
    EXPECT_EQ(pane->font().pixelSize(), 11);
    EXPECT_TRUE(QFontInfo(pane->font()).fixedPitch());
    EXPECT_EQ(pane->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(pane->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  }
  // The result view draws one line per line by itself; the input pane must
  // be told not to wrap.
  EXPECT_EQ(Find<QPlainTextEdit>("RichEdit1")->lineWrapMode(), QPlainTextEdit::NoWrap);
}

TEST_F(Window, LabelsShowTheirWholeCaption) {
  EXPECT_EQ(Form.font().family().toStdString(), "Tahoma");
  EXPECT_EQ(Form.font().pixelSize(), 11);
  for (const char* name : {"Label1", "Label2", "Label3"}) {
    auto* label = Find<QLabel>(name);
    const QRect needed = QFontMetrics(label->font()).boundingRect(label->text());
    EXPECT_LE(needed.width(), label->width()) << name;
    EXPECT_LE(QFontMetrics(label->font()).height(), label->height()) << name;
  }
}

TEST_F(Window, SpinBoxesTakeAnyInt) {
  for (const char* name : {"SpinEdit1", "SpinEdit2", "SpinEdit3"}) {
    auto* box = Find<QSpinBox>(name);
    for (const int value : {INT_MIN, -5, INT_MAX}) {
      box->setValue(value);
      EXPECT_EQ(box->value(), value) << name;
    }
  }
}

TEST_F(Window, TabVisitsTheControlsInTheirOrder) {
  // The form's order: the input pane and the controls beside it top to
  // bottom, RUN and its read-outs, the result pane and its controls, the
  // picture's.
  const std::vector<std::string> order = {"RichEdit1", "SpinEdit1", "SpinEdit2", "Edit1",   "Button3",
                                          "BitBtn1",   "BitBtn2",   "Button1",   "Edit2",   "SpinEdit3",
                                          "ComboBox1", "RichEdit2", "CheckBox2", "BitBtn3", "CheckBox1",
                                          "BitBtn4",   "ScrollBox1"};
  // Follow the focus chain from RichEdit1 once round, noting the named
  // controls (a spin box's inner line edit stands in for the spin box).
  std::vector<std::string> visited;
  QWidget* start = Find<QWidget>("RichEdit1");
  QWidget* widget = start;
  do {
    QWidget* named = widget->parentWidget() && qobject_cast<QSpinBox*>(widget->parentWidget())
                         ? widget->parentWidget()
                         : widget;
    const std::string name = named->objectName().toStdString();
    if (std::find(order.begin(), order.end(), name) != order.end() &&
        (visited.empty() || visited.back() != name))
      visited.push_back(name);
    widget = widget->nextInFocusChain();
  } while (widget != start);
  EXPECT_EQ(visited, order);
}

struct TRunCase {
  const char* Shows;
  const char* Input;
  TLines Results;
};

TEST_F(Window, RunWritesTheSortedBicliquesAndTheirNumber) {
  const TRunCase cases[] = {
      {"worked example", "11110\n00111", WorkedExample},
      {"no common column", "10\n01", {"1 : 1", "1,2 : ", "2 : 2"}},
      {"line break after the last line", "10\n01\n", {"1 : 1", "1,2 : ", "2 : 2"}},
      {"empty pane", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Shows);
    SetInput(c.Input);
    Click("Button1");
    EXPECT_EQ(Lines("RichEdit2"), c.Results);
    EXPECT_EQ(Find<QSpinBox>("SpinEdit3")->value(), static_cast<int>(c.Results.size()));
    EXPECT_TRUE(QRegularExpression("^\\d+:\\d\\d:\\d\\d\\.\\d\\d\\d$")
                    .match(Find<QLineEdit>("Edit2")->text())
                    .hasMatch())
        << Find<QLineEdit>("Edit2")->text().toStdString();
    ASSERT_NE(Form.Bicliques, nullptr);
    EXPECT_EQ(Form.Bicliques->Count(), static_cast<std::int64_t>(c.Results.size()));
  }
  EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(Window, RunAgainReplacesTheResults) {
  Click("Button1");
  Click("Button1");
  EXPECT_EQ(Text("RichEdit2"), "1 : 1,2,3,4\n1,2 : 3,4\n2 : 3,4,5");
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111");
}

// Refused input leaves the results of the RUN before as they were, and the
// cursor on the place at fault: its character selected, or its whole line.
TEST_F(Window, RunShowsWhereInputIsRefusedAndKeepsTheResults) {
  struct TRefusedCase {
    const char* Input;
    std::vector<const char*> Named;
    int Line;       // of the selection, counting from 0
    int Start, End; // of the selection in its line
  };
  const TRefusedCase cases[] = {
      {"11110\n0x111", {"line 2", "column 2"}, 1, 1, 2},
      {"11110\n0011", {"line 2"}, 1, 0, 4},
      {"111\n000\n01", {"line 3"}, 2, 0, 2},
  };
  SetInput("11110\n00111");
  Click("Button1");
  const TEngine* before = Form.Bicliques.get();
  const std::string edit2 = Find<QLineEdit>("Edit2")->text().toStdString();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Input);
    Dialogs.Messages.clear();
    SetInput(c.Input);
    Click("Button1");
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    for (const char* part : c.Named)
      EXPECT_NE(Dialogs.Messages[0].find(part), std::string::npos) << Dialogs.Messages[0];
    EXPECT_EQ(Lines("RichEdit2"), WorkedExample);
    EXPECT_EQ(Find<QSpinBox>("SpinEdit3")->value(), 3);
    EXPECT_EQ(Find<QLineEdit>("Edit2")->text().toStdString(), edit2);
    EXPECT_EQ(Form.Bicliques.get(), before);
    const QTextCursor cursor = Form.RichEdit1->textCursor();
    EXPECT_EQ(cursor.block().blockNumber(), c.Line);
    EXPECT_EQ(cursor.selectionStart() - cursor.block().position(), c.Start);
    EXPECT_EQ(cursor.selectionEnd() - cursor.block().position(), c.End);
    EXPECT_EQ(QApplication::focusWidget(), Form.RichEdit1);
  }
}

TEST_F(Window, GenerateFillsTheInputPaneFromTheWindowsOneSequence) {
  SetGenerator(10, 10, "25");
  Click("Button3");
  const TLines first = Lines("RichEdit1");
  ASSERT_EQ(first.size(), 10u);
  for (const auto& line : first)
    EXPECT_TRUE(line.size() == 10 && line.find_first_not_of("01") == std::string::npos) << line;

  // A fresh generator gives the same first matrix; the second Generate goes on
  // with the sequence instead of starting it again.
  TRandomSource fresh;
  EXPECT_EQ(first, GenerateMatrix(10, 10, 25.0f, fresh));
  Click("Button3");
  EXPECT_EQ(Lines("RichEdit1"), GenerateMatrix(10, 10, 25.0f, fresh));

  TScriptedDialogs otherDialogs;
  TForm1 other(otherDialogs);
  other.Button3->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !other.Busy(); }, 60000));
  EXPECT_EQ(SplitLines(other.RichEdit1->toPlainText().toStdString()), first);

  EXPECT_EQ(Text("RichEdit2"), "");
  EXPECT_EQ(Find<QLineEdit>("Edit2")->text().toStdString(), "0");
}

TEST_F(Window, GenerateReadsSizeAndDensity) {
  struct TGenerateCase {
    const char* Shows;
    int Sources;
    int Targets;
    const char* Density;
    const char* Pane;
  };
  const TGenerateCase cases[] = {
      {"density 100: every cell an edge", 3, 4, "100", "1111\n1111\n1111"},
      {"negative density: no edge", 3, 4, "-5", "0000\n0000\n0000"},
      {"no targets: empty lines", 3, 0, "25", "\n\n"},
      {"no sources: empty pane", 0, 4, "25", ""},
      {"negative sources: empty pane", -2, 4, "25", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Shows);
    SetGenerator(c.Sources, c.Targets, c.Density);
    Click("Button3");
    EXPECT_EQ(Text("RichEdit1"), c.Pane);
  }
}

TEST_F(Window, GenerateReadsADecimalCommaAsTheEndOfTheNumber) {
  SetGenerator(20, 20, "12,5");
  Click("Button3");
  TRandomSource fresh;
  EXPECT_EQ(Lines("RichEdit1"), GenerateMatrix(20, 20, 12.0f, fresh));
}

TEST_F(Window, SavedInputOpensAsTheSameLines) {
  const char* input = "11110\n00111\n\n0 1";
  SetInput(input);
  Dialogs.File = PathOf("input.txt");
  Click("BitBtn2");
  EXPECT_EQ(FileBytes(PathOf("input.txt")), "11110\n00111\n\n0 1\n");
  SetInput("1");
  Click("BitBtn1");
  EXPECT_EQ(Text("RichEdit1"), input);
  // Not a matrix: opened as it is, with its first fault named.
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_NE(Dialogs.Messages[0].find("input.txt: line 3"), std::string::npos) << Dialogs.Messages[0];

  ASSERT_EQ(Dialogs.Asked.size(), 2u);
  EXPECT_EQ(Dialogs.Asked[0].Kind, TFileDialog::TKind::Save);
  EXPECT_EQ(Dialogs.Asked[1].Kind, TFileDialog::TKind::Open);
  // Every readable format first, then each format and every file.
  EXPECT_EQ(
      Dialogs.Asked[1].Filter.toStdString(),
      "All readable files (*.txt *.dat *.edges *.tsv *.csv *.cxt);;Text Files (*.txt);;Transactions (*.dat);;"
      "Edge lists (*.edges *.tsv);;Cross-tables (*.csv);;Contexts (*.cxt);;All files (*)");
  // The second dialog starts where the first one chose; the title names the file.
  EXPECT_EQ(Dialogs.Asked[1].Folder, QFileInfo(PathOf("input.txt")).absolutePath());
  EXPECT_EQ(Form.windowTitle().toStdString(), "input.txt - Modular Input Consensus Algorithm");
  Click("Button3");
  EXPECT_EQ(Form.windowTitle().toStdString(), "Modular Input Consensus Algorithm");
}

TEST_F(Window, ResultSaveWritesTheResultPane) {
  Click("Button1");
  SetInput("1");
  Dialogs.File = PathOf("results.txt");
  Click("BitBtn3");
  EXPECT_EQ(FileBytes(PathOf("results.txt")), "1 : 1,2,3,4\n1,2 : 3,4\n2 : 3,4,5\n");
}

TEST_F(Window, EmptyPaneSavesAnEmptyFile) {
  PutFile(PathOf("old.txt"), "old\n");
  Dialogs.File = PathOf("old.txt");
  Click("BitBtn3");
  EXPECT_EQ(FileBytes(PathOf("old.txt")), "");
}

// A file of another format shows as its 0/1 matrix; one too large to show, or
// refused by its format, gives a message and leaves the pane as it was.
TEST_F(Window, OpenShowsOtherFormatsAsTheirMatrix) {
  PutFile(PathOf("graph.dat"), "1 2 3 4\n3 4 5\n");
  Dialogs.File = PathOf("graph.dat");
  Click("BitBtn1");
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111");
  EXPECT_TRUE(Dialogs.Messages.empty());

  // 5000 sources, each with a target of its own: 25 million cells.
  std::string diagonal;
  for (int source = 1; source <= 5000; ++source)
    diagonal += std::to_string(source) + "\n";
  PutFile(PathOf("wide.dat"), diagonal);
  Dialogs.File = PathOf("wide.dat");
  Click("BitBtn1");
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  const std::string tooLarge = Dialogs.Messages[0];
  EXPECT_NE(tooLarge.find("5000 sources and 5000 targets, 25000000 cells"), std::string::npos) << tooLarge;
  EXPECT_NE(tooLarge.find("command line"), std::string::npos) << tooLarge;
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111");

  PutFile(PathOf("bad.dat"), "1 2\n3 x\n");
  Dialogs.File = PathOf("bad.dat");
  Click("BitBtn1");
  ASSERT_EQ(Dialogs.Messages.size(), 2u);
  EXPECT_NE(Dialogs.Messages[1].find("bad.dat: line 2, column 3"), std::string::npos) << Dialogs.Messages[1];
}

TEST_F(Window, OpenReadsWindowsLineEnds) {
  PutFile(PathOf("crlf.txt"), "11110\r\n00111\r\n");
  Dialogs.File = PathOf("crlf.txt");
  Click("BitBtn1");
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111");
  Click("Button1");
  EXPECT_EQ(Lines("RichEdit2"), WorkedExample);
}

TEST_F(Window, CancelledDialogsChangeNothing) {
  Click("Button1");
  for (const char* button : {"BitBtn1", "BitBtn2", "BitBtn3"})
    Click(button);
  EXPECT_EQ(Dialogs.Asked.size(), 3u);
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111");
  EXPECT_EQ(Lines("RichEdit2"), WorkedExample);
  EXPECT_TRUE(QDir(Folder.path()).isEmpty());
  EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(Window, UnreadableFileIsNamedAndThePaneKept) {
  for (const QString& path : {PathOf("missing.txt"), Folder.path()}) {
    SCOPED_TRACE(path.toStdString());
    Dialogs.Messages.clear();
    Dialogs.File = path;
    Click("BitBtn1");
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_NE(Dialogs.Messages[0].find(path.toStdString()), std::string::npos) << Dialogs.Messages[0];
    EXPECT_EQ(Text("RichEdit1"), "11110\n00111");
  }
}

TEST_F(Window, FailedSaveKeepsTheOldFile) {
  PutFile(PathOf("old.txt"), "old\n");
  SetInput("0123456789\n0123456789\n0123456789\n0123456789");
  Dialogs.File = PathOf("old.txt");

  // Files may not grow beyond 8 bytes while the window saves: the write fails
  // half way, as on a full disk.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 8;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  Click("BitBtn2");
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_NE(Dialogs.Messages[0].find(PathOf("old.txt").toStdString()), std::string::npos)
      << Dialogs.Messages[0];
  EXPECT_EQ(FileBytes(PathOf("old.txt")), "old\n");
  EXPECT_EQ(QDir(Folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("old.txt")});
}

TEST_F(Window, AFailedCommandIsShownAndTheNextOneRuns) {
  Dialogs.Broken = true;
  Click("BitBtn1");
  EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{"the file dialog broke"});
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111");
  Click("Button1");
  EXPECT_EQ(Lines("RichEdit2"), WorkedExample);
  EXPECT_TRUE(Form.isVisible());
}

// A RUN that waits, on the worker thread, until it is stopped: it stands for
// a long enumeration. It reports `progress` first when one is given.
void UseWaitingRunner(TForm1& form, std::optional<TProgress> progress = std::nullopt) {
  form.Runner = [progress](const TMatrix&, const TRunOptions& options) -> TRunResult {
    if (progress && options.Config.Progress) options.Config.Progress(*progress);
    std::mutex lock;
    std::condition_variable_any stopped;
    std::unique_lock hold(lock);
    stopped.wait(hold, options.Config.Stop, [] { return false; });
    throw TCancelled();
  };
}

TEST_F(Window, RunLeavesTheEventLoopRunningAndShowsCountAndTimes) {
  // A matrix whose enumeration takes a noticeable while.
  SetGenerator(120, 120, "30");
  Click("Button3");
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(10);
  Press("Button1");
  EXPECT_TRUE(Form.Running());
  EXPECT_EQ(Find<QPushButton>("Button1")->text().toStdString(), "Stop");
  EXPECT_EQ(Status().rfind("Running ", 0), 0u) << Status();
  WaitIdle();
  EXPECT_GT(ticks, 2);
  EXPECT_EQ(Find<QPushButton>("Button1")->text().toStdString(), "RUN");
  EXPECT_GT(Find<QSpinBox>("SpinEdit3")->value(), 1000);
  EXPECT_EQ(static_cast<std::int64_t>(Lines("RichEdit2").size()), Find<QSpinBox>("SpinEdit3")->value());
  const QString count = QLocale(QLocale::English).toString(Find<QSpinBox>("SpinEdit3")->value());
  EXPECT_TRUE(QRegularExpression("^" + QRegularExpression::escape(count) + " bicliques; enumeration " +
                                 QRegularExpression::escape(Find<QLineEdit>("Edit2")->text()) +
                                 ", total \\d+:\\d\\d:\\d\\d\\.\\d\\d\\d$")
                  .match(Form.StatusBar1->currentMessage())
                  .hasMatch())
      << Status();
}

TEST_F(Window, StopKeepsThePanesAndReadOutsOfTheRunBefore) {
  const std::pair<const char*, std::function<void(Window&)>> ways[] = {
      {"the Stop button", [](Window& w) { w.Press("Button1"); }},
      {"Esc", [](Window& w) { QTest::keyClick(&w.Form, Qt::Key_Escape); }},
  };
  Click("Button1");
  const std::string edit2 = Find<QLineEdit>("Edit2")->text().toStdString();
  const TEngine* engine = Form.Bicliques.get();
  UseWaitingRunner(Form);
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  for (const auto& [way, stop] : ways) {
    SCOPED_TRACE(way);
    SetInput("1");
    Press("Button1");
    ASSERT_TRUE(Form.Running());
    QTest::qWait(20); // the run is waiting on its thread
    ASSERT_TRUE(Form.Running());
    stop(*this);
    WaitIdle();
    EXPECT_EQ(Status(), "Stopped");
    EXPECT_EQ(Find<QPushButton>("Button1")->text().toStdString(), "RUN");
    EXPECT_EQ(Lines("RichEdit2"), WorkedExample);
    EXPECT_EQ(Find<QSpinBox>("SpinEdit3")->value(), 3);
    EXPECT_EQ(Find<QLineEdit>("Edit2")->text().toStdString(), edit2);
    EXPECT_EQ(Form.Bicliques.get(), engine);
  }
  EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(Window, StopDuringARealEnumerationCancelsIt) {
  // The engine looks at the stop request at the latest when its enumeration
  // ends; the result of the run before stays.
  Click("Button1");
  SetGenerator(120, 120, "30");
  Click("Button3");
  Press("Button1");
  Press("Button1");
  WaitIdle();
  EXPECT_EQ(Status(), "Stopped");
  EXPECT_EQ(Lines("RichEdit2"), WorkedExample);
  EXPECT_EQ(Form.Bicliques->Count(), 3); // the worked example's engine
}

TEST_F(Window, StatusBarShowsTheRunsProgress) {
  UseWaitingRunner(Form, TProgress{TPhase::Enumerating, 3, 120000});
  Press("Button1");
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return Status().rfind("Enumerating: pass 3, 120,000 sets, ", 0) == 0; }, 5000))
      << Status();
  Press("Button1");
  WaitIdle();
  EXPECT_EQ(Status(), "Stopped");
}

// The real run path, held at its first report of formatting until Stop is
// pressed: the status bar shows the fraction of lines formatted, and Stop
// ends the formatting; the results of the RUN before stay.
TEST_F(Window, StopDuringFormattingShowsTheFractionAndCancels) {
  Click("Button1");
  Form.Runner = [](const TMatrix& matrix, const TRunOptions& given) {
    TRunOptions options = given;
    options.Config.ProgressInterval = std::chrono::milliseconds(0);
    options.Config.Progress = [shown = given.Config.Progress,
                               stop = given.Config.Stop](const TProgress& progress) {
      shown(progress);
      if (progress.Phase != TPhase::Formatting) return;
      std::mutex lock;
      std::condition_variable_any stopped;
      std::unique_lock hold(lock);
      stopped.wait(hold, stop, [] { return false; });
    };
    return RunMatrix(matrix, options);
  };
  SetInput("1101\n0111\n1011");
  Press("Button1");
  EXPECT_TRUE(QTest::qWaitFor([&] { return Status().rfind("Formatting: 0 % of 7 lines, ", 0) == 0; }, 5000))
      << Status();
  Press("Button1");
  WaitIdle();
  EXPECT_EQ(Status(), "Stopped");
  EXPECT_EQ(Lines("RichEdit2"), WorkedExample);
  EXPECT_EQ(Find<QSpinBox>("SpinEdit3")->value(), 3);
}

TEST_F(Window, ClosingDuringARunAsksWhetherToStopIt) {
  Form.close();
  EXPECT_TRUE(Dialogs.Questions.empty()); // nothing going, nothing to ask
  Form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));

  UseWaitingRunner(Form);
  Press("Button1");
  Dialogs.Answer = false;
  EXPECT_FALSE(Form.close());
  EXPECT_EQ(Dialogs.Questions.size(), 1u);
  EXPECT_TRUE(Form.isVisible());
  QTest::qWait(20);
  EXPECT_TRUE(Form.Running());

  Dialogs.Answer = true;
  EXPECT_TRUE(Form.close());
  EXPECT_EQ(Dialogs.Questions.size(), 2u);
  WaitIdle();
  EXPECT_EQ(Status(), "Stopped");
}

TEST_F(Window, EnginesGiveTheSameResults) {
  SetGenerator(30, 30, "40");
  Click("Button3");
  Click("Button1");
  const TLines consensus = Lines("RichEdit2");
  ASSERT_GT(consensus.size(), 10u);
  auto* engines = Find<QComboBox>("ComboBox1");
  ASSERT_EQ(engines->count(), static_cast<int>(Engines().size()));
  for (int e = 0; e < engines->count(); ++e) {
    SCOPED_TRACE(engines->itemText(e).toStdString());
    engines->setCurrentIndex(e);
    Click("Button1");
    EXPECT_EQ(Lines("RichEdit2"), consensus);
    ASSERT_NE(Form.Bicliques, nullptr); // the window keeps the engine of its last RUN
    EXPECT_EQ(Form.Bicliques->Count(), static_cast<std::int64_t>(consensus.size()));
  }
}

// A million lines "0000000 : 7" .. "0999999 : 7": each names its own number.
std::string MillionLines() {
  std::string text;
  char line[32];
  for (int i = 0; i < 1000000; ++i) {
    std::snprintf(line, sizeof line, "%07d : 7\n", i);
    text += line;
  }
  return text;
}

TEST_F(Window, ResultViewShowsSelectsCopiesFindsAndSavesAMillionLines) {
  auto* view = Find<TResultView>("RichEdit2");
  const std::string text = MillionLines();
  view->SetText(text, TLineIndex(text));
  ASSERT_EQ(view->LineCount(), 1000000);
  EXPECT_EQ(view->Line(123456), "0123456 : 7");
  view->setFocus();

  QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(view->CurrentLine(), 999999);
  EXPECT_GT(view->FirstVisibleLine() + view->VisibleLines(), 999999);
  QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(view->CurrentLine(), 0);
  EXPECT_EQ(view->FirstVisibleLine(), 0);

  // Scrolled down, a click picks the line under the mouse.
  view->verticalScrollBar()->setValue(500000);
  const int lineHeight = view->fontMetrics().lineSpacing();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 4 + 2 * lineHeight + lineHeight / 2));
  EXPECT_EQ(view->CurrentLine(), 500002);
  QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "0500002 : 7\n0500003 : 7\n0500004 : 7");

  // Only the selected lines are painted in the highlight colour.
  const QImage shown = view->viewport()->grab().toImage();
  const QColor highlight = view->palette().highlight().color();
  const auto rowHasHighlight = [&](int row) {
    const int y = 4 + row * lineHeight + lineHeight / 2;
    for (int x = 0; x < shown.width(); ++x)
      if (shown.pixelColor(x, y) == highlight) return true;
    return false;
  };
  EXPECT_FALSE(rowHasHighlight(1));
  EXPECT_TRUE(rowHasHighlight(2));
  EXPECT_TRUE(rowHasHighlight(4));
  EXPECT_FALSE(rowHasHighlight(5));

  Dialogs.Typed = QStringLiteral("0765432 :");
  QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(view->CurrentLine(), 765432);
  EXPECT_GE(765432, view->FirstVisibleLine());
  EXPECT_LT(765432, view->FirstVisibleLine() + view->VisibleLines());
  Dialogs.Typed = QStringLiteral("0001234 :"); // before the current line: found from the top
  QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(view->CurrentLine(), 1234);
  Dialogs.Typed = QStringLiteral("not there");
  QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(view->CurrentLine(), 1234);
  EXPECT_EQ(Status(), "\"not there\" not found");

  QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), text.substr(0, text.size() - 1));

  Dialogs.File = PathOf("million.txt");
  Click("BitBtn3");
  EXPECT_EQ(FileBytes(PathOf("million.txt")), text);
}

// The colour of a cell's middle in the input pane, row and column counting from 1.
QColor InputCell(TForm1& form, int row, int column) {
  QPlainTextEdit* pane = form.RichEdit1;
  QTextCursor cursor(pane->document()->findBlockByNumber(row - 1));
  cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column - 1);
  const QRect at = pane->cursorRect(cursor);
  const qreal charWidth = QFontMetricsF(pane->font()).horizontalAdvance(QLatin1Char('0'));
  const QPoint middle =
      pane->viewport()->mapTo(pane, QPoint(at.left() + static_cast<int>(charWidth / 2), at.center().y()));
  return pane->grab().toImage().pixelColor(middle);
}

TEST_F(Window, ChoosingAResultMarksItsRowsAndColumns) {
  Click("Button1");
  auto* view = Find<TResultView>("RichEdit2");
  const QColor before[] = {InputCell(Form, 1, 1), InputCell(Form, 2, 1), InputCell(Form, 1, 3),
                           InputCell(Form, 2, 5)};

  // "2 : 3,4,5", the third line: row 2, columns 3 to 5.
  const int lineHeight = view->fontMetrics().lineSpacing();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 4 + 2 * lineHeight + lineHeight / 2));
  ASSERT_EQ(view->CurrentLine(), 2);
  EXPECT_EQ(Form.Marks1->Rows(), std::vector<std::int32_t>{2});
  EXPECT_EQ(Form.Marks1->Columns(), (std::vector<std::int32_t>{3, 4, 5}));
  EXPECT_EQ(InputCell(Form, 1, 1), before[0]); // neither its row nor its column
  EXPECT_NE(InputCell(Form, 2, 1), before[1]); // its row
  EXPECT_NE(InputCell(Form, 1, 3), before[2]); // its column
  EXPECT_NE(InputCell(Form, 2, 5), before[3]); // both

  // The picture: one pixel per cell of "11110" / "00111".
  const QImage& picture = Form.Picture1->Image();
  ASSERT_EQ(picture.size(), QSize(5, 2));
  const auto colour = [](TCell cell) { return TMatrixPicture::Colour(cell); };
  const QRgb rows[2][5] = {
      {colour(TCell::One), colour(TCell::One), colour(TCell::MarkedOne), colour(TCell::MarkedOne),
       colour(TCell::MarkedZero)},
      {colour(TCell::MarkedZero), colour(TCell::MarkedZero), colour(TCell::Chosen), colour(TCell::Chosen),
       colour(TCell::Chosen)},
  };
  for (int row = 0; row < 2; ++row)
    for (int column = 0; column < 5; ++column)
      EXPECT_EQ(picture.pixel(column, row), rows[row][column]) << row << "," << column;
  // As a block, row 2 and columns 3 to 5 move to the top left.
  Find<QCheckBox>("CheckBox1")->setChecked(true);
  for (int column = 0; column < 3; ++column)
    EXPECT_EQ(Form.Picture1->Image().pixel(column, 0), colour(TCell::Chosen)) << column;
  EXPECT_EQ(Form.Picture1->Image().pixel(0, 1), colour(TCell::MarkedOne));

  // Saved as PNG as shown, at the export size: the cells where the
  // picture puts them at that zoom, the labels and key around them.
  Dialogs.File = PathOf("picture.png");
  Click("BitBtn4");
  const QImage saved(PathOf("picture.png"), "PNG");
  const int zoom = Form.Picture1->ExportZoom();
  EXPECT_GE(zoom, Form.Picture1->Zoom());
  const QRect first = Form.Picture1->CellRect(0, 0, zoom), last = Form.Picture1->CellRect(1, 4, zoom);
  EXPECT_GT(first.left(), 0); // the row labels' room
  EXPECT_GT(first.top(), 0);  // the column labels' room
  ASSERT_TRUE(saved.rect().contains(last));
  EXPECT_GT(saved.height(), last.bottom() + 20); // the key below
  // Drawn row 0 is row 2, drawn column 0 column 3: the biclique; drawn row
  // 1 is row 1, drawn column 1 column 4 and drawn column 4 column 2.
  const std::pair<QRect, TCell> cells[] = {
      {first, TCell::Chosen}, {Form.Picture1->CellRect(1, 1, zoom), TCell::MarkedOne}, {last, TCell::One}};
  for (const auto& [cell, kind] : cells) {
    EXPECT_EQ(saved.pixel(cell.topLeft()), colour(kind));
    EXPECT_EQ(saved.pixel(cell.bottomRight()), colour(kind));
  }

  // Editing the input drops the marks: they no longer fit it.
  SetInput("1");
  EXPECT_TRUE(Form.Marks1->Rows().empty());
  EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(Window, ShortcutsPressTheirButtons) {
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  struct TShortcutCase {
    const char* Keys;
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers;
    std::function<bool(Window&)> Done;
  };
  const TShortcutCase cases[] = {
      {"F5 runs", Qt::Key_F5, {}, [](Window& w) { return w.Lines("RichEdit2") == WorkedExample; }},
      {"Ctrl+R runs", Qt::Key_R, Qt::ControlModifier,
       [](Window& w) { return w.Lines("RichEdit2") == WorkedExample; }},
      {"Ctrl+S saves the input", Qt::Key_S, Qt::ControlModifier,
       [](Window& w) { return FileBytes(w.PathOf("keys.txt")) == "11110\n00111\n"; }},
      {"Ctrl+G generates", Qt::Key_G, Qt::ControlModifier,
       [](Window& w) { return w.Lines("RichEdit1").size() == 10; }},
      {"Ctrl+O opens", Qt::Key_O, Qt::ControlModifier,
       [](Window& w) { return w.Text("RichEdit1") == "11110\n00111"; }},
      {"Ctrl+Shift+S saves the results", Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier,
       [](Window& w) { return FileBytes(w.PathOf("keys.txt")).empty(); }},
      {"Ctrl+Shift+P saves the picture", Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier,
       [](Window& w) { return !QImage(w.PathOf("keys.txt.png"), "PNG").isNull(); }},
  };
  Dialogs.File = PathOf("keys.txt");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Keys);
    Find<QPushButton>("Button1")->setFocus();
    Find<TResultView>("RichEdit2")->Clear();
    if (std::string(c.Keys).find("opens") != std::string::npos) SetInput("0");
    if (std::string(c.Keys).find("picture") != std::string::npos) {
      Click("Button1"); // a picture to save
      Find<TResultView>("RichEdit2")->Clear();
    }
    EXPECT_FALSE(c.Done(*this));
    QTest::keyClick(&Form, c.Key, c.Modifiers);
    WaitIdle();
    EXPECT_TRUE(c.Done(*this));
  }
  EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(Window, TabLeavesThePanes) {
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  Find<QWidget>("RichEdit1")->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QWidget* focused = QApplication::focusWidget(); // the spin box or its line edit
  EXPECT_TRUE(focused == Find<QWidget>("SpinEdit1") || focused->parentWidget() == Find<QWidget>("SpinEdit1"));
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111");
  Find<QWidget>("RichEdit2")->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>("ComboBox1"));
}

TEST_F(Window, ReadOutsExplainThemselves) {
  EXPECT_EQ(Find<QWidget>("Edit2")->toolTip().toStdString(), "Enumeration time");
  EXPECT_EQ(Find<QWidget>("SpinEdit3")->toolTip().toStdString(), "Number of maximal bicliques");
}

// At every size from an 800 x 600 screen up, the controls lie inside the
// window apart from each other, the panes share the height down to the
// bottom edge and the width beside the controls, which keep their distance
// to the right edge.
TEST_F(Window, ResizingGivesThePanesTheRoomAndKeepsTheStartLayout) {
  std::map<std::string, QRect> start;
  for (auto* widget : Form.centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    start[widget->objectName().toStdString()] = widget->geometry();
  struct TSizeCase {
    QSize Window;
    QRect RichEdit1, RichEdit2; // worked out by hand: 8 pixels round, 6 between
    int Dx, Dy;                 // how far RUN and the result Save move
    int Wider;                  // the picture's share of the width beyond the start
  };
  const TSizeCase cases[] = {
      {{1263, 824}, {8, 16, 703, 387}, {8, 409, 703, 388}, 300, 300, 150},
      {{800, 600}, {8, 16, 390, 275}, {8, 297, 390, 276}, -163, 76, 0},
      {{640, 320}, {8, 16, 230, 135}, {8, 157, 230, 136}, -323, -204, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Window.width() << " x " << c.Window.height());
    Form.resize(c.Window);
    QTest::qWait(10);
    ASSERT_EQ(Form.size(), c.Window);
    const auto at = [&](const char* name) { return Find<QWidget>(name)->geometry(); };
    EXPECT_EQ(at("RichEdit1"), c.RichEdit1);
    EXPECT_EQ(at("RichEdit2"), c.RichEdit2);
    EXPECT_EQ(at("RichEdit2").bottom() + 1 + 8, Form.centralWidget()->height());
    EXPECT_EQ(at("Button1"), start["Button1"].translated(c.Dx, 0));
    EXPECT_EQ(at("BitBtn3"), start["BitBtn3"].translated(c.Dx - c.Wider, c.Dy));
    EXPECT_EQ(at("ScrollBox1").width(), start["ScrollBox1"].width() + c.Wider);
    EXPECT_EQ(at("ScrollBox1").right(),
              at("Button1").right() + start["ScrollBox1"].right() - start["Button1"].right());
    const auto children = Form.centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (auto* a : children) {
      EXPECT_TRUE(Form.centralWidget()->rect().contains(a->geometry())) << a->objectName().toStdString();
      for (auto* b : children)
        if (a != b && a->isVisible() && b->isVisible()) {
          EXPECT_FALSE(a->geometry().intersects(b->geometry()))
              << a->objectName().toStdString() << " " << b->objectName().toStdString();
        }
    }
  }
  Form.resize(963, 524);
  QTest::qWait(10);
  for (const auto& [name, place] : start)
    EXPECT_EQ(Find<QWidget>(name.c_str())->geometry(), place) << name;
}

// Resident memory after the allocator has given back the free memory it
// keeps for reuse: where a freed block lands (which thread's arena, heap or
// mapping) varies from run to run, and that is not memory the window holds.
long ResidentKilobytes() {
  malloc_trim(0);
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

TEST_F(Window, MemoryAfterARunIsTheSameRunAfterRun) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer holds freed memory back on purpose";
#endif
  SetGenerator(100, 100, "30");
  Click("Button3");
  // The first two runs also set up the allocator's per-thread arenas for the
  // run's threads; from then on every run must give back what it took.
  Click("Button1");
  Click("Button1");
  ASSERT_GT(Find<QSpinBox>("SpinEdit3")->value(), 10000);
  // Single readings move by a few MB either way from run to run (where the
  // freed blocks land differs), so the lowest reading of runs 3 to 6 is
  // compared with the lowest of runs 11 to 16: memory that every run keeps
  // lifts even the lowest of the later ones.
  long lowestEarly = LONG_MAX;
  long lowestLate = LONG_MAX;
  for (int run = 3; run <= 16; ++run) {
    Click("Button1");
    if (run <= 6) lowestEarly = std::min(lowestEarly, ResidentKilobytes());
    if (run >= 11) lowestLate = std::min(lowestLate, ResidentKilobytes());
  }
  EXPECT_LE(lowestLate, lowestEarly + lowestEarly / 10) << "at the least after runs 3 to 6 " << lowestEarly
                                                        << " kB, after runs 11 to 16 " << lowestLate << " kB";
}

TEST_F(Window, GeneratingALargeMatrixLeavesTheWindowFree) {
  SetGenerator(20000, 1000, "25");
  Press("Button3");
  EXPECT_TRUE(Form.Busy()); // the matrix is made on another thread
  EXPECT_FALSE(Find<QPushButton>("Button3")->isEnabled());
  WaitIdle();
  EXPECT_TRUE(Find<QPushButton>("Button3")->isEnabled());
  const QString text = Find<QPlainTextEdit>("RichEdit1")->toPlainText();
  EXPECT_EQ(text.size(), 20000 * 1001 - 1);
}

// Space on Generate twice in a row: the first starts it and disables the
// button; the second must not land in the density box (which would blank
// it, and the next Generate would make a matrix of no edges).
TEST_F(Window, SpaceTwiceOnGenerateKeepsTheDensity) {
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  SetGenerator(10, 10, "25");
  auto* generate = Find<QPushButton>("Button3");
  generate->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  WaitIdle();
  EXPECT_EQ(Find<QLineEdit>("Edit1")->text().toStdString(), "25");
  EXPECT_EQ(QApplication::focusWidget(), generate);
  // Whether the second Space made a second matrix or stopped the first,
  // the next Generate makes one of the window's sequence at 25 %.
  Click("Button3");
  TRandomSource fresh;
  std::vector<TLines> sequence;
  for (int i = 0; i < 3; ++i)
    sequence.push_back(GenerateMatrix(10, 10, 25.0f, fresh));
  EXPECT_NE(std::find(sequence.begin(), sequence.end(), Lines("RichEdit1")), sequence.end())
      << Text("RichEdit1");
  EXPECT_TRUE(Dialogs.Messages.empty());
}

// Ctrl+Z undoes the pane's own edits first, then the Generate or Open that
// replaced the input, with its file name and labels; elsewhere in the
// window it does the same.
TEST_F(Window, UndoBringsBackTheInputBeforeGenerateAndOpen) {
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  const auto undo = [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier); };
  PutFile(PathOf("two.dat"), "1 2\n2 3\n");
  Dialogs.File = PathOf("two.dat");
  Click("BitBtn1");
  EXPECT_EQ(Text("RichEdit1"), "110\n011");
  EXPECT_EQ(Form.windowTitle().toStdString(), "two.dat - Modular Input Consensus Algorithm");

  SetGenerator(3, 4, "100");
  Click("Button3");
  EXPECT_EQ(Text("RichEdit1"), "1111\n1111\n1111");
  EXPECT_EQ(Form.windowTitle().toStdString(), "Modular Input Consensus Algorithm");
  // An edit after Generate is undone first, in the pane.
  auto* pane = Find<QPlainTextEdit>("RichEdit1");
  pane->setFocus();
  pane->moveCursor(QTextCursor::Start);
  QTest::keyClick(pane, Qt::Key_0);
  EXPECT_EQ(Text("RichEdit1"), "01111\n1111\n1111");
  undo();
  EXPECT_EQ(Text("RichEdit1"), "1111\n1111\n1111");
  undo();
  EXPECT_EQ(Text("RichEdit1"), "110\n011");
  EXPECT_EQ(Form.windowTitle().toStdString(), "two.dat - Modular Input Consensus Algorithm");
  // From a button, past the Open: the start text and title.
  Find<QPushButton>("Button1")->setFocus();
  undo();
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111");
  EXPECT_EQ(Form.windowTitle().toStdString(), "Modular Input Consensus Algorithm");
  undo();
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111");
  EXPECT_EQ(Status(), "Nothing to undo in the input");
  EXPECT_TRUE(Dialogs.Messages.empty());
}

// Results that took long to make are not dropped unasked: not by closing
// the window, not by the next RUN; once saved, nothing is asked. Quick ones
// are made again at once, so nothing is asked about them.
TEST_F(Window, UnsavedCostlyResultsAreAskedAboutBeforeTheyAreDropped) {
  Click("Button1");
  EXPECT_TRUE(Form.close());
  EXPECT_TRUE(Dialogs.Questions.empty());
  Form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));

  // The same lines, as if their enumeration had taken five seconds.
  Form.Runner = [](const TMatrix& matrix, const TRunOptions& options) {
    TRunResult result = RunMatrix(matrix, options);
    result.Elapsed = std::chrono::seconds(5);
    return result;
  };
  Click("Button1");
  const TEngine* engine = Form.Bicliques.get();
  Dialogs.Answer = false;
  EXPECT_FALSE(Form.close());
  ASSERT_EQ(Dialogs.Questions.size(), 1u);
  EXPECT_NE(Dialogs.Questions[0].find("3 result lines"), std::string::npos) << Dialogs.Questions[0];
  EXPECT_TRUE(Form.isVisible());

  SetInput("1");
  Click("Button1"); // answered no: the RUN does not start
  ASSERT_EQ(Dialogs.Questions.size(), 2u);
  EXPECT_EQ(Lines("RichEdit2"), WorkedExample);
  EXPECT_EQ(Form.Bicliques.get(), engine);
  EXPECT_EQ(Find<QLineEdit>("Edit2")->text().toStdString(), "0:00:05.000");

  Dialogs.File = PathOf("results.txt");
  Click("BitBtn3");
  EXPECT_TRUE(Form.close());
  EXPECT_EQ(Dialogs.Questions.size(), 2u);
  EXPECT_TRUE(Dialogs.Messages.empty());
}

// A matrix file is checked as it opens: it is shown as it is, its first
// fault named and the cursor put on it. One of more cells than the window
// shows is refused before the pane is filled.
TEST_F(Window, OpenOfAFaultyOrTooLargeMatrixFile) {
  PutFile(PathOf("bad.txt"), "11110\n00111\n00121\n");
  Dialogs.File = PathOf("bad.txt");
  Click("BitBtn1");
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111\n00121");
  ASSERT_EQ(Dialogs.Messages.size(), 1u);
  EXPECT_NE(Dialogs.Messages[0].find("bad.txt: line 3, column 4"), std::string::npos) << Dialogs.Messages[0];
  const QTextCursor cursor = Form.RichEdit1->textCursor();
  EXPECT_EQ(cursor.block().blockNumber(), 2);
  EXPECT_EQ(cursor.selectedText().toStdString(), "2");
  EXPECT_EQ(cursor.selectionStart() - cursor.block().position(), 3);

  // 5000 lines of 5000 characters: 25 million cells.
  const std::string line(5000, '0');
  std::string big;
  for (int row = 0; row < 5000; ++row)
    big += line + "\n";
  PutFile(PathOf("big.txt"), big);
  Dialogs.File = PathOf("big.txt");
  Click("BitBtn1");
  ASSERT_EQ(Dialogs.Messages.size(), 2u);
  EXPECT_NE(Dialogs.Messages[1].find("5000 lines of 5000 characters, 25000000 cells"), std::string::npos)
      << Dialogs.Messages[1];
  EXPECT_NE(Dialogs.Messages[1].find("command line"), std::string::npos) << Dialogs.Messages[1];
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111\n00121");
}

// A number in what is looked for matches whole numbers only; "Whole line"
// matches whole lines. Both go on from the top after the last line.
TEST_F(Window, FindMatchesWholeNumbersOrWholeLines) {
  auto* view = Find<TResultView>("RichEdit2");
  const std::string text = "19,37,40 : 2\n9,37,40 : 2,3\n9,37,401 : 2\n9,37,40 : 2\n";
  view->SetText(text, TLineIndex(text));
  view->setFocus();
  struct TFindStep {
    const char* Keys; // "Ctrl+F" asks, "F3" goes on
    const char* Typed;
    bool WholeLine;
    std::int64_t Selected;
  };
  const TFindStep steps[] = {
      {"Ctrl+F", "9,37,40", false, 1},
      {"F3", "", false, 3},
      {"F3", "", false, 1}, // round from the top
      {"Ctrl+F", "9,37,40 : 2", true, 3},
      {"F3", "", true, 3},
      {"Ctrl+F", "37,40 : 2", false, 0}, // no digit before: inside the number is fine
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(testing::Message() << step.Keys << " " << step.Typed);
    Dialogs.Typed = QString::fromLatin1(step.Typed);
    Dialogs.WholeLine = step.WholeLine;
    if (std::string(step.Keys) == "F3") {
      QTest::keyClick(view, Qt::Key_F3);
    } else {
      QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    }
    EXPECT_EQ(view->CurrentLine(), step.Selected);
  }
}

// Names from a context: the result pane, its copy and its file, and the
// picture's axes show them; "Names" switches to positions. An input of
// another shape, and a generated one, have none; undoing the Generate
// brings them back.
TEST_F(Window, NamesOfAContextAreShownAndCanBeSwitchedOff) {
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  PutFile(PathOf("people.cxt"), "B\nworked example\n2\n5\n\nann\nbob\na\nb\nc\nd\ne\nXXXX.\n..XXX\n");
  Dialogs.File = PathOf("people.cxt");
  Click("BitBtn1");
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111");
  EXPECT_EQ(Find<QSpinBox>("SpinEdit1")->value(), 2);
  EXPECT_EQ(Find<QSpinBox>("SpinEdit2")->value(), 5);
  Click("Button1");
  auto* names = Find<QCheckBox>("CheckBox2");
  EXPECT_TRUE(names->isEnabled());
  EXPECT_TRUE(names->isChecked());
  const TLines named = {"ann : a,b,c,d", "ann,bob : c,d", "bob : c,d,e"};
  EXPECT_EQ(Lines("RichEdit2"), named);
  auto* view = Find<TResultView>("RichEdit2");
  view->setFocus();
  view->SelectLines(0, 2);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "ann : a,b,c,d\nann,bob : c,d\nbob : c,d,e");
  EXPECT_EQ(Form.Picture1->RowLabels(), (std::vector<std::string>{"ann", "bob"}));
  EXPECT_EQ(Form.Picture1->ColumnLabels(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  Dialogs.File = PathOf("named.txt");
  Click("BitBtn3");
  EXPECT_EQ(FileBytes(PathOf("named.txt")), "ann : a,b,c,d\nann,bob : c,d\nbob : c,d,e\n");

  names->setChecked(false);
  EXPECT_EQ(Lines("RichEdit2"), WorkedExample);
  EXPECT_EQ(Form.Picture1->RowLabels(), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Form.Picture1->ColumnLabels(), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  names->setChecked(true);

  SetInput("11110\n00111\n10000"); // three sources: the names no longer fit
  Click("Button1");
  EXPECT_FALSE(names->isEnabled());
  EXPECT_EQ(Lines("RichEdit2").front(), "1 : 1,2,3,4");

  Dialogs.Messages.clear();
  SetInput("11110\n00111");
  Click("Button1");
  EXPECT_EQ(Lines("RichEdit2"), named); // the same shape again: still the file's
  SetGenerator(2, 5, "50");
  Click("Button3");
  Click("Button1");
  EXPECT_FALSE(names->isEnabled());
  QTest::keyClick(Find<QPushButton>("Button1"), Qt::Key_Z, Qt::ControlModifier);
  Click("Button1");
  EXPECT_EQ(Lines("RichEdit2"), named);
  // Switched off by a click, names stay off for the next RUN too.
  QTest::mouseClick(names, Qt::LeftButton, {}, QPoint(4, names->height() / 2));
  EXPECT_EQ(Lines("RichEdit2"), WorkedExample);
  Click("Button1");
  EXPECT_TRUE(names->isEnabled());
  EXPECT_FALSE(names->isChecked());
  EXPECT_EQ(Lines("RichEdit2"), WorkedExample);
  EXPECT_TRUE(Dialogs.Messages.empty());
}

// A transaction file numbers its targets itself: they are shown as written.
TEST_F(Window, NumbersOfATransactionFileAreShownAsWritten) {
  PutFile(PathOf("baskets.dat"), "3 7\n7 100\n");
  Dialogs.File = PathOf("baskets.dat");
  Click("BitBtn1");
  EXPECT_EQ(Text("RichEdit1"), "110\n011");
  Click("Button1");
  EXPECT_EQ(Lines("RichEdit2"), (TLines{"1 : 3,7", "1,2 : 7", "2 : 7,100"}));
}

// Stop is said at once, on the button and in the status bar, and stays
// said until the job has ended, however long that takes.
TEST_F(Window, StopIsAcknowledgedAtOnce) {
  std::atomic<bool> started{false}, release{false};
  Form.Runner = [&started, &release](const TMatrix&, const TRunOptions&) -> TRunResult {
    started = true;
    while (!release)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    throw TCancelled();
  };
  Press("Button1");
  ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, 5000));
  Press("Button1");
  EXPECT_EQ(Find<QPushButton>("Button1")->text().toStdString(), "Stopping...");
  EXPECT_EQ(Status(), "Stopping...");
  QTest::qWait(600); // the progress timer ticks in between
  EXPECT_TRUE(Form.Running());
  EXPECT_EQ(Find<QPushButton>("Button1")->text().toStdString(), "Stopping...");
  EXPECT_EQ(Status(), "Stopping...");
  release = true;
  WaitIdle();
  EXPECT_EQ(Status(), "Stopped");
  EXPECT_EQ(Find<QPushButton>("Button1")->text().toStdString(), "RUN");
}

// Generate stops on Esc, leaving the input as it was; a size beyond what
// the window shows, or a density without a number, is refused before any
// work.
TEST_F(Window, GenerateStopsAndRefusesWhatItCannotMake) {
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  SetGenerator(20000, 1000, "25");
  Press("Button3");
  ASSERT_TRUE(Form.Busy());
  EXPECT_EQ(Find<QPushButton>("Button1")->text().toStdString(), "Stop");
  QTest::keyClick(&Form, Qt::Key_Escape);
  WaitIdle();
  EXPECT_EQ(Status(), "Stopped");
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111");

  struct TRefusedCase {
    int Sources, Targets;
    const char* Density;
    const char* Named;
  };
  const TRefusedCase cases[] = {
      {20001, 1000, "25", "20001 x 1000 is 20001000 cells"},
      {10, 10, "", "Density % needs a number"},
      {10, 10, " %", "Density % needs a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Named);
    Dialogs.Messages.clear();
    SetGenerator(c.Sources, c.Targets, c.Density);
    Click("Button3");
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_NE(Dialogs.Messages[0].find(c.Named), std::string::npos) << Dialogs.Messages[0];
    EXPECT_EQ(Text("RichEdit1"), "11110\n00111");
  }
}

// Enter presses the focused button; the read-outs take no typing; the
// result pane shows that it has the focus.
TEST_F(Window, KeyboardReachesEveryButtonAndShowsTheFocus) {
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  Find<QPushButton>("Button1")->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  WaitIdle();
  EXPECT_EQ(Lines("RichEdit2"), WorkedExample);

  auto* count = Find<QSpinBox>("SpinEdit3");
  count->setFocus();
  QTest::keyClicks(QApplication::focusWidget(), "12");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
  EXPECT_EQ(count->value(), 3);
  EXPECT_TRUE(Find<QLineEdit>("Edit2")->isReadOnly());

  auto* view = Find<TResultView>("RichEdit2");
  const QImage unfocused = view->viewport()->grab().toImage();
  view->setFocus();
  const QImage focused = view->viewport()->grab().toImage();
  EXPECT_NE(focused, unfocused);
}

// The clipboard shares the copied lines: a RUN after the copy replaces the
// pane, not what was copied.
TEST_F(Window, CopiedLinesOutliveTheResults) {
  Click("Button1");
  auto* view = Find<TResultView>("RichEdit2");
  view->setFocus();
  QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  SetInput("1");
  Click("Button1");
  EXPECT_EQ(Lines("RichEdit2"), (TLines{"1 : 1"}));
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "1 : 1,2,3,4\n1,2 : 3,4\n2 : 3,4,5");
  view->SelectLines(0, 0);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "1 : 1");
}

// Save PNG adds ".png" to a name without it, asking before it replaces a
// file of that name.
TEST_F(Window, SavePngAddsItsSuffix) {
  Click("Button1");
  Dialogs.File = PathOf("picture");
  Click("BitBtn4");
  EXPECT_FALSE(QImage(PathOf("picture.png"), "PNG").isNull());
  EXPECT_FALSE(QFileInfo::exists(PathOf("picture")));
  EXPECT_TRUE(Dialogs.Questions.empty());
  PutFile(PathOf("old.png"), "old");
  Dialogs.File = PathOf("old");
  Dialogs.Answer = false;
  Click("BitBtn4");
  EXPECT_EQ(Dialogs.Questions.size(), 1u);
  EXPECT_EQ(FileBytes(PathOf("old.png")), "old");
  EXPECT_EQ(Dialogs.Asked.back().Suffix.toStdString(), "png");
}

// On a picture larger than its box, choosing a result scrolls the box to the
// biclique.
TEST_F(Window, ThePictureScrollsToTheChosenBiclique) {
  std::string input;
  for (int row = 1; row <= 300; ++row) {
    std::string line(300, '0');
    if (row == 290) line[289] = '1';
    input += line + (row < 300 ? "\n" : "");
  }
  SetInput(input.c_str());
  Click("Button1");
  auto* view = Find<TResultView>("RichEdit2");
  std::int64_t chosen = -1;
  for (std::int64_t i = 0; i < view->LineCount(); ++i)
    if (view->Line(i) == "290 : 290") chosen = i;
  ASSERT_GE(chosen, 0);
  auto* box = Find<QScrollArea>("ScrollBox1");
  ASSERT_GT(Form.Picture1->width(), box->viewport()->width());
  ASSERT_GT(Form.Picture1->height(), box->viewport()->height());
  EXPECT_EQ(box->horizontalScrollBar()->value(), 0);
  view->SelectLines(chosen, chosen);
  const QRect cell = Form.Picture1->CellRect(289, 289, Form.Picture1->Zoom());
  const QRect shown(QPoint(box->horizontalScrollBar()->value(), box->verticalScrollBar()->value()),
                    box->viewport()->size());
  EXPECT_TRUE(shown.contains(cell)) << "cell at " << cell.x() << "," << cell.y();
}

TEST_F(Window, EveryControlSaysWhatItDoes) {
  for (auto* control : Form.centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    EXPECT_FALSE(control->toolTip().isEmpty()) << control->objectName().toStdString();
  // Each engine says what it is; the default points to the faster one.
  auto* engines = Find<QComboBox>("ComboBox1");
  for (int e = 0; e < engines->count(); ++e)
    EXPECT_FALSE(engines->itemData(e, Qt::ToolTipRole).toString().isEmpty())
        << engines->itemText(e).toStdString();
  EXPECT_EQ(engines->itemText(0).toStdString(), "Consensus");
  EXPECT_TRUE(engines->itemData(0, Qt::ToolTipRole)
                  .toString()
                  .contains(QStringLiteral("Closure gives the same lines")));
}

// The most memory the process held while `work` ran, in kilobytes: its
// resident size, sampled every millisecond on a thread of its own. (The
// kernel's own peak misses memory the allocator gives back with madvise.)
long PeakResidentDuring(const std::function<void()>& work) {
  std::atomic<bool> done{false};
  long peak = 0;
  std::thread sampler([&] {
    const long pageKilobytes = sysconf(_SC_PAGESIZE) / 1024;
    while (!done) {
      std::ifstream statm("/proc/self/statm");
      long size = 0, resident = 0;
      if (statm >> size >> resident) peak = std::max(peak, resident * pageKilobytes);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  work();
  done = true;
  sampler.join();
  return peak;
}

// A RUN frees a large last result before it builds its own: a second RUN
// of more than a million lines peaks no higher than the first.
TEST_F(Window, SecondLargeRunPeaksNoHigherThanTheFirst) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer holds freed memory back on purpose";
#endif
  SetGenerator(34, 34, "80");
  Click("Button3");
  // As if each enumeration had taken five seconds, so that the second RUN
  // asks before it replaces the first one's results, however fast the engine.
  Form.Runner = [](const TMatrix& matrix, const TRunOptions& options) {
    TRunResult result = RunMatrix(matrix, options);
    result.Elapsed = std::chrono::seconds(5);
    return result;
  };
  Dialogs.Answer = true; // yes, replace the results unsaved
  long peaks[2];
  for (long& peak : peaks)
    peak = PeakResidentDuring([&] { Click("Button1"); });
  ASSERT_GE(Find<QSpinBox>("SpinEdit3")->value(), 1000000);
  ASSERT_EQ(Dialogs.Questions.size(), 1u) << "the second RUN asks before it replaces the first one's results";
  EXPECT_LE(peaks[1], peaks[0] + peaks[0] / 5) << "first " << peaks[0] << " kB, second " << peaks[1] << " kB";
}

// The application object lives while the tests run; listing them needs none.
class TQtApplication : public testing::Environment {
public:
  TQtApplication(int& argc, char** argv) : Argc(argc), Argv(argv) {}
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    Application = std::make_unique<QApplication>(Argc, Argv);
  }
  void TearDown() override { Application.reset(); }

private:
  int& Argc;
  char** Argv;
  std::unique_ptr<QApplication> Application;
};

} // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new TQtApplication(argc, argv));
  return RUN_ALL_TESTS();
}
