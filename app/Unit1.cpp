#include "Unit1.h"

#include <QBuffer>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <exception>
#include <malloc.h>

#include "Lineindexunit.h"
#include "Opentextunit.h"
#include "Pictureunit.h"
#include "Qtfilesunit.h"
#include "Resultviewunit.h"
#include "Rununit.h"
#include "Selectionunit.h"
#include "Statustextunit.h"
#include "Windowtextunit.h"

namespace {

const QString Title = QStringLiteral("Modular Input Consensus Algorithm");
// The client area at start; the window never gets smaller.
constexpr QSize StartClient(963, 505);
// The picture is made for matrices of at most this many cells (a byte each).
constexpr std::int64_t PictureCellLimit = 25'000'000;
// Side of a picture cell in pixels when a small matrix is fitted to its area.
constexpr int LargestZoom = 32;

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

template <class TControl>
TControl* Place(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* control = new TControl(parent);
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(left, top, width, height);
  return control;
}

// Fixed pitch keeps the matrix in columns; both scroll bars always there.
template <class TPane> TPane* Pane(QWidget* parent, const char* name, int top) {
  auto* pane = Place<TPane>(parent, name, 8, top, 553, 185);
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(11);
  pane->setFont(font);
  pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  return pane;
}

QSpinBox* SpinBox(QWidget* parent, const char* name, int left, int top, int width, int value) {
  auto* box = Place<QSpinBox>(parent, name, left, top, width, 22);
  box->setRange(INT_MIN, INT_MAX); // unbounded
  box->setValue(value);
  return box;
}

template <class TControl>
TControl* Captioned(QWidget* parent, const char* name, int left, int top, int width, int height,
                    const char* caption) {
  auto* control = Place<TControl>(parent, name, left, top, width, height);
  control->setText(QString::fromLatin1(caption));
  return control;
}

// Gives freed memory back to the system: a RUN frees many blocks below the
// size that the allocator maps on its own, which it would otherwise keep.
void ReturnFreedMemory() { malloc_trim(0); }

} // namespace

// What a RUN's thread hands the window when it ends.
struct TForm1::TRunEnd {
  TRunResult Result;
  TLineIndex Index;                 // of Result.Text
  std::vector<std::string> Lines;   // the input matrix
  bool Cancelled = false;           // nothing else is set
  std::optional<std::string> Error; // refused input or a failure; nothing else is set
};

TForm1::TForm1(TDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), Runner([](const std::vector<std::string>& lines, const TRunOptions& options) {
        return RunLines(lines, options);
      }),
      Dialogs(dialogs) {
  setWindowTitle(Title);
  // Tahoma at 8 point on a 96 dpi screen. Where it is missing, DejaVu Sans
  // Condensed stands in: it is to DejaVu Sans what Tahoma is to Verdana, and
  // fully hinted it is narrow enough that every label keeps its whole caption
  // within the width made for Tahoma.
  QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"));
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(11);
  font.setHintingPreference(QFont::PreferFullHinting);
  setFont(font);

  auto* client = new QWidget(this);
  setCentralWidget(client);
  Label1 = Captioned<QLabel>(client, "Label1", 586, 24, 33, 13, "Source");
  Label2 = Captioned<QLabel>(client, "Label2", 589, 52, 32, 13, "Target");
  Label3 = Captioned<QLabel>(client, "Label3", 574, 82, 50, 13, "Density %");
  Button1 = Captioned<QPushButton>(client, "Button1", 856, 8, 75, 25, "RUN");
  RichEdit1 = Pane<QPlainTextEdit>(client, "RichEdit1", 16);
  RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap); // one row per line
  RichEdit1->setTabChangesFocus(true);
  RichEdit1->setPlainText(QStringLiteral("11110\n00111"));
  SpinEdit1 = SpinBox(client, "SpinEdit1", 632, 21, 57, 10);
  SpinEdit2 = SpinBox(client, "SpinEdit2", 632, 49, 57, 10);
  Button3 = Captioned<QPushButton>(client, "Button3", 615, 101, 75, 25, "Generate");
  Edit1 = Captioned<QLineEdit>(client, "Edit1", 632, 74, 58, 21, "25");
  RichEdit2 = Pane<TResultView>(client, "RichEdit2", 207);
  Edit2 = Captioned<QLineEdit>(client, "Edit2", 736, 8, 106, 21, "0");
  Edit2->setToolTip(tr("Enumeration time"));
  SpinEdit3 = SpinBox(client, "SpinEdit3", 736, 35, 106, 0);
  SpinEdit3->setToolTip(tr("Number of maximal bicliques"));
  OpenDialog1 = {
      TFileDialog::TKind::Open,
      QStringLiteral(
          "Text Files (*.txt);;Transactions (*.dat);;Edge lists (*.edges *.tsv);;Cross-tables (*.csv);;"
          "Contexts (*.cxt);;All files (*)"),
      QString()};
  BitBtn1 = Captioned<QPushButton>(client, "BitBtn1", 616, 144, 75, 25, "Open");
  BitBtn2 = Captioned<QPushButton>(client, "BitBtn2", 616, 175, 75, 25, "Save");
  FileSaveDialog1 = {TFileDialog::TKind::Save, QString(), QStringLiteral(".")};
  BitBtn3 = Captioned<QPushButton>(client, "BitBtn3", 616, 367, 75, 25, "Save");
  FileSaveDialog2 = {TFileDialog::TKind::Save, QString(), QStringLiteral(".")};

  // Beside the fixed controls, in the free room at the right: the engine
  // choice under the count, and the matrix picture under them.
  ComboBox1 = Place<QComboBox>(client, "ComboBox1", 736, 64, 106, 22);
  for (const TEngineEntry& engine : Engines()) {
    ComboBox1->addItem(
        QString::fromUtf8(engine.Caption.data(), static_cast<qsizetype>(engine.Caption.size())));
    ComboBox1->setItemData(
        ComboBox1->count() - 1,
        QString::fromUtf8(engine.Summary.data(), static_cast<qsizetype>(engine.Summary.size())),
        Qt::ToolTipRole);
  }
  ComboBox1->setToolTip(tr("Enumeration engine; every engine gives the same result"));
  CheckBox1 = Captioned<QCheckBox>(client, "CheckBox1", 700, 100, 150, 17, "Biclique at top left");
  CheckBox1->setToolTip(tr("Move the chosen biclique's rows and columns to the top left of the picture"));
  BitBtn4 = Captioned<QPushButton>(client, "BitBtn4", 856, 96, 75, 25, "Save PNG");
  BitBtn4->setToolTip(tr("Save the matrix picture as a PNG file"));
  PictureSaveDialog = {TFileDialog::TKind::Save, QStringLiteral("PNG Images (*.png)"), QStringLiteral(".")};
  ScrollBox1 = Place<QScrollArea>(client, "ScrollBox1", 700, 127, 255, 370);
  ScrollBox1->setBackgroundRole(QPalette::Window); // an empty picture is the window, not a dark hole
  Picture1 = new TMatrixPicture;
  Picture1->setObjectName(QStringLiteral("Picture1"));
  ScrollBox1->setWidget(Picture1);
  Marks1 = new TPaneMarks(RichEdit1);
  Marks1->setObjectName(QStringLiteral("Marks1"));

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFixedHeight(19);
  setStatusBar(StatusBar1);

  QWidget* focusOrder[] = {Button1,   RichEdit1, SpinEdit1, SpinEdit2, Button3, Edit1,
                           RichEdit2, Edit2,     SpinEdit3, ComboBox1, BitBtn1, BitBtn2,
                           BitBtn3,   CheckBox1, BitBtn4,   ScrollBox1};
  for (std::size_t i = 1; i < std::size(focusOrder); ++i)
    setTabOrder(focusOrder[i - 1], focusOrder[i]);

  connect(Button1, &QPushButton::clicked, this, [this] { Guarded(&TForm1::Button1Click); });
  connect(Button3, &QPushButton::clicked, this, [this] { Guarded(&TForm1::Button3Click); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { Guarded(&TForm1::BitBtn1Click); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { Guarded(&TForm1::BitBtn2Click); });
  connect(BitBtn3, &QPushButton::clicked, this, [this] { Guarded(&TForm1::BitBtn3Click); });
  connect(BitBtn4, &QPushButton::clicked, this, [this] { Guarded(&TForm1::BitBtn4Click); });
  connect(RichEdit2, &TResultView::CurrentLineChanged, this, &TForm1::ShowChosen);
  connect(CheckBox1, &QCheckBox::toggled, this, [this] { ShowPicture(); });

  // Shortcuts press the buttons, so a disabled button stays disabled.
  const auto shortcut = [this](const QKeySequence& keys, QWidget* scope, auto action) {
    auto* made = new QShortcut(keys, scope);
    made->setContext(scope == this ? Qt::WindowShortcut : Qt::WidgetWithChildrenShortcut);
    connect(made, &QShortcut::activated, this, action);
  };
  for (const QKeySequence& keys : {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)})
    shortcut(keys, this, [this] {
      if (!Running()) Button1->click();
    });
  shortcut(QKeySequence(Qt::Key_Escape), this, [this] {
    if (Running()) Button1->click();
  });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this, [this] { BitBtn1->click(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this, [this] { BitBtn2->click(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this, [this] { Button3->click(); });
  shortcut(QKeySequence::Find, RichEdit2, [this] { Guarded(&TForm1::FindClick); });
  shortcut(QKeySequence::FindNext, RichEdit2, [this] { Guarded(&TForm1::FindAgain); });

  ProgressTimer = new QTimer(this);
  ProgressTimer->setInterval(250);
  connect(ProgressTimer, &QTimer::timeout, this, &TForm1::ShowProgress);

  for (QObject* child : client->children())
    if (auto* widget = qobject_cast<QWidget*>(child)) StartPlaces.emplace_back(widget, widget->geometry());
  client->setMinimumSize(StartClient);
  client->installEventFilter(this);

  move(0, 0);
  resize(963, 524);
}

TForm1::~TForm1() {
  // The threads post to this window; after they are joined nothing does.
  if (RunThread.joinable()) {
    RunThread.request_stop();
    RunThread.join();
  }
  if (SideThread.joinable()) SideThread.join();
}

void TForm1::Guarded(void (TForm1::*command)()) {
  // Qt does not carry exceptions out of a slot, so they end here.
  try {
    (this->*command)();
  } catch (const std::exception& error) {
    Dialogs.ShowMessage(this, ToQt(error.what()));
  } catch (...) {
    Dialogs.ShowMessage(this, tr("The command failed for an unknown reason."));
  }
}

void TForm1::Button1Click() {
  if (!Running()) return StartRun();
  RunThread.request_stop();
  StatusBar1->showMessage(tr("Stopping..."));
}

void TForm1::StartRun() {
  TRunOptions options;
  options.Engine = Engines()[static_cast<std::size_t>(ComboBox1->currentIndex())].Kind;
  auto progress = std::make_shared<TProgressBox>();
  // The run calls this on its own thread, often; the window's timer shows
  // the latest report a few times a second.
  options.Config.Progress = [progress](const TProgress& report) {
    const std::lock_guard hold(progress->Lock);
    progress->Last = report;
  };
  Progress = progress;
  RunStart = std::chrono::steady_clock::now();
  RunGoing = true;
  Button1->setText(tr("Stop"));
  ComboBox1->setEnabled(false);
  ShowProgress();
  ProgressTimer->start();
  RunThread = std::jthread([this, input = RichEdit1->toPlainText().toStdString(), options,
                            runner = Runner](std::stop_token stop) mutable {
    auto end = std::make_shared<TRunEnd>();
    try {
      options.Config.Stop = stop;
      end->Lines = SplitLines(input);
      std::string().swap(input);
      end->Result = runner(end->Lines, options);
      end->Index = TLineIndex(end->Result.Text);
    } catch (const TCancelled&) {
      end->Cancelled = true;
    } catch (const std::exception& error) {
      end->Error = error.what();
    } catch (...) {
      end->Error = "The RUN failed for an unknown reason.";
    }
    if (stop.stop_requested()) end->Cancelled = true;
    // A stopped run's memory is freed here, not on the window's thread.
    if (end->Cancelled) *end = TRunEnd{{}, {}, {}, true, {}};
    QMetaObject::invokeMethod(
        this, [this, end] { ShowRunEnd(end); }, Qt::QueuedConnection);
  });
}

void TForm1::ShowProgress() {
  std::optional<TProgress> last;
  if (Progress) {
    const std::lock_guard hold(Progress->Lock);
    last = Progress->Last;
  }
  StatusBar1->showMessage(
      ToQt(RunningText(last ? &*last : nullptr, std::chrono::steady_clock::now() - RunStart)));
}

void TForm1::ShowRunEnd(const std::shared_ptr<TRunEnd>& end) {
  // Stop pressed after the run's last look at its stop request still stops.
  const bool stopped = end->Cancelled || RunThread.get_stop_token().stop_requested();
  RunThread.join(); // the thread has only to return
  RunGoing = false;
  Progress.reset();
  ProgressTimer->stop();
  Button1->setText(tr("RUN"));
  ComboBox1->setEnabled(true);
  if (stopped) {
    end->Result = TRunResult();
    StatusBar1->showMessage(tr("Stopped"));
  } else if (end->Error) {
    RichEdit2->Clear();
    SpinEdit3->setValue(0);
    Edit2->setText(QStringLiteral("0"));
    RunInput.clear();
    ShowPicture();
    StatusBar1->clearMessage();
    Dialogs.ShowMessage(this, ToQt(*end->Error));
  } else {
    TRunResult& result = end->Result;
    Bicliques = std::move(result.Engine);
    Edit2->setText(ToQt(ElapsedText(result.Elapsed)));
    RichEdit2->SetText(std::move(result.Text), std::move(end->Index)); // the text as the result file holds it
    SpinEdit3->setValue(result.Count);
    RunInput = std::move(end->Lines);
    RunTargets = result.Targets;
    Marks1->Mark({}, {});
    ShowPicture();
    StatusBar1->showMessage(
        ToQt(DoneText(result.Count, result.Elapsed, std::chrono::steady_clock::now() - RunStart)));
  }
  ReturnFreedMemory();
}

void TForm1::StartSide(std::function<QString()> work, std::function<void(const QString&)> done) {
  SideGoing = true;
  Button3->setEnabled(false);
  BitBtn1->setEnabled(false);
  SideThread = std::jthread([this, work = std::move(work), done = std::move(done)] {
    QString text;
    std::optional<std::string> error;
    try {
      text = work();
    } catch (const std::exception& failure) {
      error = failure.what();
    } catch (...) {
      error = "The command failed for an unknown reason.";
    }
    QMetaObject::invokeMethod(
        this,
        [this, text = std::move(text), error = std::move(error), done] {
          SideThread.join();
          SideGoing = false;
          Button3->setEnabled(true);
          BitBtn1->setEnabled(true);
          if (error) return Dialogs.ShowMessage(this, ToQt(*error));
          done(text);
        },
        Qt::QueuedConnection);
  });
}

void TForm1::Button3Click() {
  if (SideGoing) return;
  const float density = ParseDensity(Edit1->text().toStdString());
  const std::int32_t sources = SpinEdit1->value(), targets = SpinEdit2->value();
  StartSide([this, sources, targets,
             density] { return ToQt(JoinLines(GenerateMatrix(sources, targets, density, Random))); },
            [this](const QString& text) {
              RichEdit1->setPlainText(text);
              SetFileName(QString());
            });
}

void TForm1::BitBtn1Click() {
  if (SideGoing) return;
  const std::optional<QString> path = ChooseFile(OpenDialog1);
  if (!path) return;
  StartSide([path = *path] { return ToQt(PaneTextOfFile(path.toStdString(), ReadFileBytes(path))); },
            [this, path = *path](const QString& text) {
              RichEdit1->setPlainText(text);
              SetFileName(path);
            });
}

void TForm1::BitBtn2Click() {
  if (const auto path = ChooseFile(FileSaveDialog1)) {
    WriteFileBytes(*path, PaneToFileText(RichEdit1->toPlainText().toStdString()));
    SetFileName(*path);
  }
}

// The result pane holds its text as the file has it, which is what
// PaneToFileText makes of the pane's text.
void TForm1::BitBtn3Click() {
  if (const auto path = ChooseFile(FileSaveDialog2)) WriteFileBytes(*path, RichEdit2->FileText());
}

void TForm1::BitBtn4Click() {
  if (Picture1->Image().isNull())
    throw std::runtime_error("There is no picture yet: RUN makes one for a matrix of up to " +
                             std::to_string(PictureCellLimit) + " cells.");
  const auto path = ChooseFile(PictureSaveDialog);
  if (!path) return;
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!Picture1->Shown().save(&buffer, "PNG"))
    throw std::runtime_error("The picture could not be made into PNG.");
  WriteFileBytes(*path, bytes.toStdString());
}

void TForm1::FindClick() {
  const std::optional<QString> needle = Dialogs.AskText(this, tr("Find in the results:"), LastFind);
  if (!needle) return;
  LastFind = *needle;
  FindAgain();
}

void TForm1::FindAgain() {
  if (LastFind.isEmpty()) return FindClick();
  if (!RichEdit2->Find(LastFind.toStdString())) StatusBar1->showMessage(tr("\"%1\" not found").arg(LastFind));
}

std::optional<QString> TForm1::ChooseFile(const TFileDialog& dialog) {
  std::optional<QString> path = Dialogs.ChooseFile(this, dialog);
  if (path) {
    const QString folder = QFileInfo(*path).absolutePath();
    for (TFileDialog* each : {&OpenDialog1, &FileSaveDialog1, &FileSaveDialog2, &PictureSaveDialog})
      each->Folder = folder;
  }
  return path;
}

void TForm1::SetFileName(const QString& path) {
  FileName = path.isEmpty() ? QString() : QFileInfo(path).fileName();
  setWindowTitle(FileName.isEmpty() ? Title : FileName + QStringLiteral(" - ") + Title);
}

void TForm1::ShowChosen(qint64 line) {
  std::optional<TResultLine> chosen;
  if (line >= 0 && line < RichEdit2->LineCount()) chosen = ParseResultLine(RichEdit2->Line(line));
  if (chosen) {
    Marks1->Mark(chosen->Sources, chosen->Targets);
  } else {
    Marks1->Mark({}, {});
  }
  ShowPicture();
}

void TForm1::ShowPicture() {
  const auto rows = static_cast<std::int64_t>(RunInput.size());
  if (rows == 0 || RunTargets == 0 || rows * RunTargets > PictureCellLimit || rows > 32767 ||
      RunTargets > 32767) {
    Picture1->Clear();
    return;
  }
  TResultLine chosen;
  const std::int64_t line = RichEdit2->CurrentLine();
  if (line >= 0) chosen = ParseResultLine(RichEdit2->Line(line)).value_or(TResultLine());
  const QSize room = ScrollBox1->viewport()->size();
  Picture1->SetZoom(std::clamp(std::min(room.width() / RunTargets, room.height() / static_cast<int>(rows)), 1,
                               LargestZoom));
  Picture1->SetCells(PictureCells(RunInput, RunTargets, chosen, CheckBox1->isChecked()),
                     static_cast<int>(rows), RunTargets);
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (Running()) {
    if (!Dialogs.Ask(this, tr("A RUN is going. Stop it and close the window?"))) {
      event->ignore();
      return;
    }
    RunThread.request_stop();
  }
  event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == centralWidget() && event->type() == QEvent::Resize) Relayout();
  return QMainWindow::eventFilter(watched, event);
}

// The panes take the room beyond the start size, half each in height; the
// controls at the right keep their distance to the right edge, the result
// Save its place beside the result pane's bottom, and the picture grows down.
void TForm1::Relayout() {
  const int dx = std::max(0, centralWidget()->width() - StartClient.width());
  const int dy = std::max(0, centralWidget()->height() - StartClient.height());
  for (const auto& [widget, start] : StartPlaces) {
    QRect place = start;
    if (widget == RichEdit1) {
      place.adjust(0, 0, dx, dy / 2);
    } else if (widget == RichEdit2) {
      place.adjust(0, dy / 2, dx, dy);
    } else if (widget == BitBtn3) {
      place.translate(dx, dy);
    } else if (widget == ScrollBox1) {
      place.adjust(dx, 0, dx, dy);
    } else {
      place.translate(dx, 0);
    }
    widget->setGeometry(place);
  }
}
