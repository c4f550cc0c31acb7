#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <climits>
#include <csignal>
#include <stdexcept>
#include <sys/resource.h>

#include "Generateunit.h"
#include "Rununit.h"
#include "Unit1.h"

namespace {

// Answers the window's dialogs in place of a user and records its messages.
class TScriptedDialogs : public TDialogs {
public:
  std::optional<QString> File;       // every file dialog's answer; nothing cancels
  bool Broken = false;               // file dialogs throw instead of answering
  std::vector<TFileDialog> Asked;    // the file dialogs shown, in order
  std::vector<std::string> Messages; // the messages shown, in order

  std::optional<QString> ChooseFile(QWidget*, const TFileDialog& dialog) override {
    Asked.push_back(dialog);
    if (Broken) throw std::runtime_error("the file dialog broke");
    return File;
  }
  void ShowMessage(QWidget*, const QString& message) override { Messages.push_back(message.toStdString()); }
};

using TLines = std::vector<std::string>;

class Window : public testing::Test {
protected:
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
  void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
  std::string Text(const char* pane) { return Find<QPlainTextEdit>(pane)->toPlainText().toStdString(); }
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
      {"RichEdit1", "QPlainTextEdit", {8, 16, 553, 185}, "11110\n00111"},
      {"RichEdit2", "QPlainTextEdit", {8, 207, 553, 185}, ""},
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
      {"BitBtn3", "QPushButton", {616, 367, 75, 25}, "Save"},
      {"StatusBar1", "QStatusBar", {0, 505, 963, 19}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto* control = Find<QWidget>(c.Name);
    EXPECT_STREQ(control->metaObject()->className(), c.Kind);
    EXPECT_EQ(QRect(control->mapTo(&Form, QPoint(0, 0)), control->size()), c.Geometry);
    QString shows;
    if (auto* pane = qobject_cast<QPlainTextEdit*>(control)) shows = pane->toPlainText();
    if (auto* label = qobject_cast<QLabel*>(control)) shows = label->text();
    if (auto* box = qobject_cast<QSpinBox*>(control)) shows = QString::number(box->value());
    if (auto* edit = qobject_cast<QLineEdit*>(control)) shows = edit->text();
    if (auto* button = qobject_cast<QPushButton*>(control)) shows = button->text();
    if (auto* bar = qobject_cast<QStatusBar*>(control)) shows = bar->currentMessage();
    EXPECT_EQ(shows.toStdString(), c.Shows);
  }
  EXPECT_EQ(Form.Bicliques, nullptr);
}

TEST_F(Window, PanesShowFixedPitchUnwrappedLinesWithBothScrollBars) {
  for (const char* name : {"RichEdit1", "RichEdit2"}) {
    SCOPED_TRACE(name);
    auto* pane = Find<QPlainTextEdit>(name);
    EXPECT_EQ(pane->font().family().toStdString(), "Courier New");
    EXPECT_EQ(pane->font().pixelSize(), 11);
    EXPECT_TRUE(QFontInfo(pane->font()).fixedPitch());
    EXPECT_EQ(pane->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(pane->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(pane->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  }
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
  const std::vector<std::string> order = {"Button1",   "RichEdit1", "SpinEdit1", "SpinEdit2",
                                          "Button3",   "Edit1",     "RichEdit2", "Edit2",
                                          "SpinEdit3", "BitBtn1",   "BitBtn2",   "BitBtn3"};
  // Follow the focus chain from Button1 once round, noting the named controls
  // (a spin box's inner line edit stands in for the spin box).
  std::vector<std::string> visited;
  QWidget* start = Find<QWidget>("Button1");
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
    EXPECT_EQ(Form.Bicliques->RowCount, static_cast<int>(SplitLines(c.Input).size()));
  }
  EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(Window, RunAgainReplacesTheResults) {
  Click("Button1");
  Click("Button1");
  EXPECT_EQ(Text("RichEdit2"), "1 : 1,2,3,4\n1,2 : 3,4\n2 : 3,4,5");
  EXPECT_EQ(Text("RichEdit1"), "11110\n00111");
}

TEST_F(Window, RunShowsWhereInputIsRefusedAndLeavesNoResults) {
  const std::pair<const char*, std::vector<const char*>> cases[] = {
      {"11110\n0x111", {"line 2", "column 2"}},
      {"11110\n0011", {"line 2"}},
  };
  for (const auto& [input, named] : cases) {
    SCOPED_TRACE(input);
    SetInput("11110\n00111");
    Click("Button1");
    const TBicliques* before = Form.Bicliques.get();
    Dialogs.Messages.clear();
    SetInput(input);
    Click("Button1");
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    for (const char* part : named)
      EXPECT_NE(Dialogs.Messages[0].find(part), std::string::npos) << Dialogs.Messages[0];
    EXPECT_EQ(Text("RichEdit2"), "");
    EXPECT_EQ(Find<QSpinBox>("SpinEdit3")->value(), 0);
    EXPECT_EQ(Form.Bicliques.get(), before);
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
  EXPECT_TRUE(Dialogs.Messages.empty());

  ASSERT_EQ(Dialogs.Asked.size(), 2u);
  EXPECT_EQ(Dialogs.Asked[0].Kind, TFileDialog::TKind::Save);
  EXPECT_EQ(Dialogs.Asked[1].Kind, TFileDialog::TKind::Open);
  EXPECT_EQ(Dialogs.Asked[1].Filter.toStdString(), "Text Files (*.txt)");
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
