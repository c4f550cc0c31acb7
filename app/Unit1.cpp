#include "Unit1.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <exception>
#include <malloc.h>

#include "Latticeviewunit.h"
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
// The client area at start.
constexpr QSize StartClient(963, 505);
// The smallest client area the layout keeps every control usable in; it
// fits an 800 x 600 screen with room to spare.
constexpr QSize SmallestClient(640, 300);
// The picture is made for matrices of at most this many cells (a byte each).
constexpr std::int64_t PictureCellLimit = 25'000'000;
// The left edge of the picture at start: the controls left of it go with the
// panes, those right of it with the right edge.
constexpr int ScrollBox1Left = 700;
// Side of a picture cell in pixels when a small matrix is fitted to its area.
constexpr int LargestZoom = 32;
// A RUN takes over a last result of this much text or more and frees it
// before it builds its own, so that two results are never held at once. A
// smaller one stays shown, and stays when the RUN is stopped.
constexpr std::size_t HandOverBytes = std::size_t{8} << 20;
// Results that took this long to enumerate are worth a question before they
// are dropped unsaved.
constexpr std::chrono::seconds CostWorthAQuestion{1};
// The input history keeps replaced documents of this many characters in all.
constexpr qint64 HistoryCharacters = 48'000'000;
// Generate looks at a stop request and reports progress after this many rows.
constexpr std::int32_t RowsPerStopCheck = 64;

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

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

// A push button that Enter presses too, as Space does.
QPushButton* Button(QWidget* parent, const char* name, int left, int top, const char* caption) {
  auto* button = Captioned<QPushButton>(parent, name, left, top, 75, 25, caption);
  button->setAutoDefault(true);
  return button;
}

// Gives freed memory back to the system: a RUN frees many blocks below the
// size that the allocator maps on its own, which it would otherwise keep.
void ReturnFreedMemory() { malloc_trim(0); }

// Whether the density text starts with a number as atof reads one: blanks,
// a sign, then a digit or a point and a digit.
bool HoldsNumber(const QString& text) {
  qsizetype at = 0;
  while (at < text.size() && text[at].isSpace())
    ++at;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) ++at;
  if (at < text.size() && text[at] == u'.') ++at;
  return at < text.size() && text[at] >= u'0' && text[at] <= u'9';
}

// A document for the input pane, made on a worker thread and handed to the
// window's thread: filling a pane with millions of characters takes long.
std::unique_ptr<QTextDocument> MakeDocument(const std::string& text, const QFont& font) {
  auto document = std::make_unique<QTextDocument>();
  document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
  document->setDefaultFont(font);
  document->setPlainText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  document->moveToThread(QCoreApplication::instance()->thread());
  return document;
}

void CheckStop(const std::stop_token& stop) {
  if (stop.stop_requested()) throw TCancelled();
}

} // namespace

// What the window shows of a RUN's result, taken out and put back whole.
struct TForm1::THeldResult {
  std::unique_ptr<TEngine> Engine;
  TResultView::TContent Content;
  std::shared_ptr<const TVertexLabels> Labels;
  std::vector<std::string> Input;
  std::int32_t Targets = 0;
  int Count = 0;
  QString Elapsed;
  bool Saved = true;
  std::chrono::steady_clock::duration Cost{};
};

// What a RUN's thread hands the window when it ends.
struct TForm1::TRunEnd {
  TRunResult Result;
  TLineIndex Index;                            // of Result.Text
  std::vector<std::string> Lines;              // the input matrix
  std::shared_ptr<const TVertexLabels> Labels; // of the input, when they fit it
};

TForm1::TForm1(TDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent),
      Runner([](const TMatrix& matrix, const TRunOptions& options) { return RunMatrix(matrix, options); }),
      Dialogs(dialogs), History(HistoryCharacters) {
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
  Button1 = Button(client, "Button1", 856, 8, "RUN");
  RichEdit1 = Pane<QPlainTextEdit>(client, "RichEdit1", 16);
  RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap); // one row per line
  RichEdit1->setTabChangesFocus(true);
  RichEdit1->setPlainText(QStringLiteral("11110\n00111"));
  SpinEdit1 = SpinBox(client, "SpinEdit1", 632, 21, 57, 10);
  SpinEdit2 = SpinBox(client, "SpinEdit2", 632, 49, 57, 10);
  Button3 = Button(client, "Button3", 615, 101, "Generate");
  Edit1 = Captioned<QLineEdit>(client, "Edit1", 632, 74, 58, 21, "25");
  RichEdit2 = Pane<TResultView>(client, "RichEdit2", 207);
  Edit2 = Captioned<QLineEdit>(client, "Edit2", 736, 8, 106, 21, "0");
  Edit2->setReadOnly(true);
  SpinEdit3 = SpinBox(client, "SpinEdit3", 736, 35, 106, 0);
  SpinEdit3->setReadOnly(true);
  SpinEdit3->setButtonSymbols(QAbstractSpinBox::NoButtons);
  OpenDialog1 = {
      TFileDialog::TKind::Open,
      QStringLiteral("All readable files (*.txt *.dat *.edges *.tsv *.csv *.cxt);;Text Files (*.txt);;"
                     "Transactions (*.dat);;Edge lists (*.edges *.tsv);;Cross-tables (*.csv);;"
                     "Contexts (*.cxt);;All files (*)"),
      QString(), QString()};
  BitBtn1 = Button(client, "BitBtn1", 616, 144, "Open");
  BitBtn2 = Button(client, "BitBtn2", 616, 175, "Save");
  FileSaveDialog1 = {TFileDialog::TKind::Save, QString(), QStringLiteral("."), QString()};
  BitBtn3 = Button(client, "BitBtn3", 616, 367, "Save");
  FileSaveDialog2 = {TFileDialog::TKind::Save, QString(), QStringLiteral("."), QString()};
  // The two Saves look alike by their caption; their icons tell the input
  // (a file) from the results (a list).
  BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
  BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  BitBtn3->setIcon(style()->standardIcon(QStyle::SP_FileDialogListView));

  // Beside the fixed controls, in the free room at the right: the engine
  // choice under the count, and the matrix picture under them.
  ComboBox1 = Place<QComboBox>(client, "ComboBox1", 736, 64, 106, 22);
  for (const TEngineEntry& engine : Engines()) {
    ComboBox1->addItem(ToQt(engine.Caption));
    QString tip = ToQt(engine.Summary);
    if (engine.Kind == TEngineKind::Consensus)
      tip += tr("; Closure gives the same lines, often several times faster");
    ComboBox1->setItemData(ComboBox1->count() - 1, tip, Qt::ToolTipRole);
  }
  CheckBox1 = Captioned<QCheckBox>(client, "CheckBox1", 700, 100, 150, 17, "Biclique at top left");
  BitBtn4 = Button(client, "BitBtn4", 856, 96, "Save PNG");
  PictureSaveDialog = {TFileDialog::TKind::Save, QStringLiteral("PNG Images (*.png)"), QStringLiteral("."),
                       QStringLiteral("png")};
  ScrollBox1 = Place<QScrollArea>(client, "ScrollBox1", ScrollBox1Left, 127, 255, 370);
  ScrollBox1->setBackgroundRole(QPalette::Window); // an empty picture is the window, not a dark hole
  Picture1 = new TMatrixPicture;
  Picture1->setObjectName(QStringLiteral("Picture1"));
  ScrollBox1->setWidget(Picture1);
  Legend1 = Place<TPictureLegend>(client, "Legend1", 700, 440, 255, 57);
  CheckBox2 = Captioned<QCheckBox>(client, "CheckBox2", 616, 344, 75, 17, "Names");
  CheckBox2->setEnabled(false);
  Marks1 = new TPaneMarks(RichEdit1);
  Marks1->setObjectName(QStringLiteral("Marks1"));
  BitBtn5 = Captioned<QPushButton>(client, "BitBtn5", 856, 64, 75, 25, "Lattice");
  BitBtn5->setToolTip(tr("Show the lattice of the results in a window beside this one"));
  Lattice1 = new TLatticeWindow(Dialogs, this);
  Lattice1->setObjectName(QStringLiteral("Lattice1"));
  Lattice1->Source = [this] { return std::pair(RunInput, RichEdit2->SharedText()); };

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFixedHeight(19);
  setStatusBar(StatusBar1);

  // Every control says what it does, with its key.
  const std::pair<QWidget*, const char*> tips[] = {
      {RichEdit1, "The input matrix: one line per source, a 0 or 1 per target. Ctrl+Z undoes edits, "
                  "then a Generate or Open"},
      {SpinEdit1, "Generate: number of sources (lines)"},
      {SpinEdit2, "Generate: number of targets (characters per line)"},
      {Edit1, "Generate: chance in percent that a cell is 1"},
      {Button3, "Fill the input with a random matrix of the size and density at the left (Ctrl+G)"},
      {BitBtn1, "Open a matrix, transaction file, edge list or context into the input (Ctrl+O)"},
      {BitBtn2, "Save the input matrix into a text file (Ctrl+S)"},
      {Button1, "List every maximal biclique of the input (F5 or Ctrl+R); while work goes, stop it (Esc)"},
      {Edit2, "Enumeration time"},
      {SpinEdit3, "Number of maximal bicliques"},
      {ComboBox1, "Enumeration engine; every engine gives the same lines. Closure is often several times "
                  "faster than Consensus, the default: on 1000 x 100 at 20 %, two to four times"},
      {RichEdit2, "The maximal bicliques, one a line: sources : targets. Ctrl+A, Ctrl+C copy; Ctrl+F, F3 "
                  "find whole numbers"},
      {CheckBox2, "Show the vertices by the names or numbers of the opened file instead of their positions"},
      {BitBtn3, "Save the result lines into a text file (Ctrl+Shift+S)"},
      {CheckBox1, "Move the chosen biclique's rows and columns to the top left of the picture"},
      {BitBtn4, "Save the matrix picture, labels and key as a PNG file at full size (Ctrl+Shift+P)"},
      {ScrollBox1, "The matrix of the last RUN; the chosen result line's biclique in red"},
      {Legend1, "What the picture's colours mean"},
  };
  for (const auto& [control, tip] : tips)
    control->setToolTip(tr(tip));
  for (const auto& [label, field] :
       {std::pair<QLabel*, QWidget*>{Label1, SpinEdit1}, {Label2, SpinEdit2}, {Label3, Edit1}})
    label->setToolTip(field->toolTip());

  // The form's order: the input pane and its controls top to bottom, RUN
  // and its read-outs, the result pane and its controls, the picture.
  QWidget* focusOrder[] = {RichEdit1, SpinEdit1, SpinEdit2, Edit1,     Button3,   BitBtn1,
                           BitBtn2,   Button1,   Edit2,     SpinEdit3, ComboBox1, RichEdit2,
                           CheckBox2, BitBtn3,   CheckBox1, BitBtn4,   ScrollBox1};
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
  connect(CheckBox2, &QCheckBox::clicked, this, [this](bool shown) { NamesWanted = shown; });
  connect(CheckBox2, &QCheckBox::toggled, this, [this](bool shown) {
    RichEdit2->SetShowLabels(shown);
    ShowPicture();
  });
  connect(BitBtn5, &QPushButton::clicked, this, [this] {
    if (!Lattice1->isVisible()) Lattice1->move(frameGeometry().topRight() + QPoint(8, 0));
    Lattice1->show();
    Lattice1->raise();
  });
  connect(RichEdit2, &TResultView::CurrentLineChanged, Lattice1, &TLatticeWindow::ShowLine);
  connect(Lattice1, &TLatticeWindow::LineChosen, this,
          [this](qint64 line) { RichEdit2->SelectLines(line, line); });

  // Shortcuts press the buttons, so a disabled button stays disabled.
  const auto shortcut = [this](const QKeySequence& keys, QWidget* scope, auto action) {
    auto* made = new QShortcut(keys, scope);
    made->setContext(scope == this ? Qt::WindowShortcut : Qt::WidgetWithChildrenShortcut);
    connect(made, &QShortcut::activated, this, action);
  };
  for (const QKeySequence& keys : {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)})
    shortcut(keys, this, [this] {
      if (!Busy()) Button1->click();
    });
  shortcut(QKeySequence(Qt::Key_Escape), this, [this] {
    if (Busy()) Button1->click();
  });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this, [this] { BitBtn1->click(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this, [this] { BitBtn2->click(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this, [this] { BitBtn3->click(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P), this, [this] { BitBtn4->click(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this, [this] { Button3->click(); });
  shortcut(QKeySequence::Undo, this, [this] { Guarded(&TForm1::UndoInput); });
  shortcut(QKeySequence::Find, RichEdit2, [this] { Guarded(&TForm1::FindClick); });
  shortcut(QKeySequence::FindNext, RichEdit2, [this] { Guarded(&TForm1::FindAgain); });
  // In the input pane Ctrl+Z undoes its own edits first; past them it
  // undoes the Generate or Open before.
  RichEdit1->installEventFilter(this);

  ProgressTimer = new QTimer(this);
  ProgressTimer->setInterval(250);
  connect(ProgressTimer, &QTimer::timeout, this, &TForm1::ShowProgress);

  for (QObject* child : client->children())
    if (auto* widget = qobject_cast<QWidget*>(child)) StartPlaces.emplace_back(widget, widget->geometry());
  client->setMinimumSize(SmallestClient);
  client->installEventFilter(this);

  move(0, 0);
  resize(963, 524);
  Relayout();
}

TForm1::~TForm1() {
  // The worker posts to this window; once it is joined nothing does.
  if (Worker.joinable()) {
    Worker.request_stop();
    Worker.join();
  }
}

void TForm1::Guarded(void (TForm1::*command)()) {
  // Qt does not carry exceptions out of a slot, so they end here.
  try {
    (this->*command)();
  } catch (const std::exception& error) {
    Dialogs.ShowMessage(this, ToQt(std::string(error.what())));
  } catch (...) {
    Dialogs.ShowMessage(this, tr("The command failed for an unknown reason."));
  }
}

void TForm1::StartJob(TJob job, const QString& what, TJobWork work) {
  auto progress = std::make_shared<TJobProgress>();
  Progress = progress;
  Job = job;
  JobWhat = what;
  JobStart = std::chrono::steady_clock::now();
  LockControls(true);
  ShowProgress();
  ProgressTimer->start();
  Worker = std::jthread([this, work = std::move(work), progress](std::stop_token stop) {
    TJobEnd end;
    std::optional<std::string> error;
    bool cancelled = false;
    try {
      end = work(stop, *progress);
    } catch (const TCancelled&) {
      cancelled = true;
    } catch (const std::exception& failure) {
      error = failure.what();
    } catch (...) {
      error = "The command failed for an unknown reason.";
    }
    // What the job freed goes back to the system here, not on the window's thread.
    ReturnFreedMemory();
    QMetaObject::invokeMethod(
        this,
        [this, end = std::move(end), error = std::move(error), cancelled] { EndJob(end, error, cancelled); },
        Qt::QueuedConnection);
  });
}

void TForm1::EndJob(const TJobEnd& end, const std::optional<std::string>& error, bool cancelled) {
  Worker.join(); // the thread has only to return
  Job = TJob::None;
  Progress.reset();
  ProgressTimer->stop();
  LockControls(false);
  if (error) {
    StatusBar1->clearMessage();
    Dialogs.ShowMessage(this, ToQt(*error));
  } else if (cancelled) {
    StatusBar1->showMessage(tr("Stopped"));
  } else if (end) {
    end();
    // A small last result, kept while the job went, has just been replaced.
    ReturnFreedMemory();
  }
}

void TForm1::StopJob() {
  if (!Busy() || Worker.get_stop_token().stop_requested()) return;
  Worker.request_stop();
  // Said at once: freeing what the job made may take a while.
  Button1->setText(tr("Stopping..."));
  StatusBar1->showMessage(tr("Stopping..."));
}

// While a job goes, RUN's button stops it and the commands that would start
// another are disabled. A disabled control loses the focus to the next one,
// where a key meant for it would land (a second Space on Generate would
// blank the density box): the focus goes to the Stop button instead, and
// comes back when the job ends.
void TForm1::LockControls(bool locked) {
  QWidget* lockable[] = {Button3, BitBtn1, BitBtn3, ComboBox1};
  if (locked) {
    QWidget* focused = QApplication::focusWidget();
    for (QWidget* control : lockable)
      if (focused && (focused == control || control->isAncestorOf(focused))) {
        FocusBefore = focused;
        Button1->setFocus();
      }
  }
  for (QWidget* control : lockable)
    control->setEnabled(!locked);
  Button1->setText(locked ? tr("Stop") : tr("RUN"));
  if (!locked && FocusBefore) {
    if (QApplication::focusWidget() == Button1 || !QApplication::focusWidget()) FocusBefore->setFocus();
    FocusBefore.clear();
  }
}

void TForm1::ShowProgress() {
  if (!Progress || Worker.get_stop_token().stop_requested()) return;
  const auto elapsed = std::chrono::steady_clock::now() - JobStart;
  const std::lock_guard hold(Progress->Lock);
  if (Job == TJob::Run) {
    StatusBar1->showMessage(ToQt(RunningText(Progress->Run ? &*Progress->Run : nullptr, elapsed)));
  } else if (Job == TJob::Generate) {
    StatusBar1->showMessage(tr("Generating: row %1 of %2, %3")
                                .arg(ToQt(GroupedNumber(Progress->Done)),
                                     ToQt(GroupedNumber(Progress->Total)), ToQt(ElapsedText(elapsed))));
  } else {
    StatusBar1->showMessage(tr("%1, %2").arg(JobWhat, ToQt(ElapsedText(elapsed))));
  }
}

void TForm1::Button1Click() {
  if (Busy()) return StopJob();
  StartRun();
}

bool TForm1::ResultsWorthAQuestion() const {
  return !ResultsSaved && RichEdit2->LineCount() > 0 && ResultsCost >= CostWorthAQuestion;
}

std::shared_ptr<TForm1::THeldResult> TForm1::TakeResult() {
  auto held = std::make_shared<THeldResult>();
  held->Engine = std::move(Bicliques);
  held->Content = RichEdit2->TakeContent();
  held->Labels = RichEdit2->Labels();
  held->Input = std::move(RunInput);
  held->Targets = RunTargets;
  held->Count = SpinEdit3->value();
  held->Elapsed = Edit2->text();
  held->Saved = ResultsSaved;
  held->Cost = ResultsCost;
  RichEdit2->SetLabels(nullptr);
  RunInput.clear();
  RunTargets = 0;
  SpinEdit3->setValue(0);
  Edit2->setText(QStringLiteral("0"));
  ResultsSaved = true;
  ShowNamesBox(false);
  Marks1->Mark({}, {});
  ShowPicture();
  Lattice1->ResultsChanged();
  return held;
}

void TForm1::PutBackResult(const std::shared_ptr<THeldResult>& held) {
  if (!held) return;
  Bicliques = std::move(held->Engine);
  RichEdit2->SetContent(std::move(held->Content));
  RunInput = std::move(held->Input);
  RunTargets = held->Targets;
  RichEdit2->SetLabels(held->Labels);
  ShowNamesBox(held->Labels != nullptr);
  SpinEdit3->setValue(held->Count);
  Edit2->setText(held->Elapsed);
  ResultsSaved = held->Saved;
  ResultsCost = held->Cost;
  ShowPicture();
  Lattice1->ResultsChanged();
}

// Names can be shown when the results have them; then they are unless the
// user has said otherwise.
void TForm1::ShowNamesBox(bool available) {
  CheckBox2->setEnabled(available);
  CheckBox2->setChecked(available && NamesWanted);
}

void TForm1::StartRun() {
  if (ResultsWorthAQuestion() &&
      !Dialogs.Ask(this, tr("The %1 result lines of the last RUN are not saved. Replace them?")
                             .arg(ToQt(GroupedNumber(RichEdit2->LineCount())))))
    return;
  TRunOptions options;
  options.Engine = Engines()[static_cast<std::size_t>(ComboBox1->currentIndex())].Kind;
  // A large last result is handed to the RUN, which frees it once the input
  // is found good, on its own thread; on refused input it comes back.
  std::shared_ptr<THeldResult> held;
  if (RichEdit2->FileText().size() >= HandOverBytes) held = TakeResult();
  StartJob(TJob::Run, tr("Running"),
           [this, input = RichEdit1->toPlainText().toStdString(), options, runner = Runner,
            held = std::move(held),
            labels = InputLabels](std::stop_token stop, TJobProgress& progress) mutable -> TJobEnd {
             auto end = std::make_shared<TRunEnd>();
             end->Lines = SplitLines(input);
             std::string().swap(input);
             TMatrix matrix;
             try {
               matrix = MatrixOfLines(end->Lines);
             } catch (const TInputError& fault) {
               return [this, held, fault] {
                 PutBackResult(held);
                 ShowInputFault(fault);
               };
             }
             if (stop.stop_requested())
               return [this, held] {
                 PutBackResult(held);
                 StatusBar1->showMessage(tr("Stopped"));
               };
             held.reset();
             ReturnFreedMemory();
             // The run calls this on this thread, often; the window's timer
             // shows the latest report a few times a second.
             options.Config.Progress = [&progress](const TProgress& report) {
               const std::lock_guard hold(progress.Lock);
               progress.Run = report;
             };
             options.Config.Stop = stop;
             end->Result = runner(matrix, options);
             end->Index = TLineIndex(end->Result.Text);
             if (labels && labels->Fit(matrix.Sources, matrix.Targets)) end->Labels = labels;
             // Stop pressed after the run's last look at its stop request still stops.
             CheckStop(stop);
             return [this, end] { ShowRunEnd(*end); };
           });
}

void TForm1::ShowRunEnd(TRunEnd& end) {
  TRunResult& result = end.Result;
  Bicliques = std::move(result.Engine);
  Edit2->setText(ToQt(ElapsedText(result.Elapsed)));
  RichEdit2->SetText(std::move(result.Text), std::move(end.Index)); // the text as the result file holds it
  SpinEdit3->setValue(static_cast<int>(std::min<std::int64_t>(result.Count, INT_MAX)));
  RunInput = std::move(end.Lines);
  RunTargets = result.Targets;
  RichEdit2->SetLabels(end.Labels);
  ShowNamesBox(end.Labels != nullptr);
  ResultsSaved = false;
  ResultsCost = result.Elapsed;
  Marks1->Mark({}, {});
  ShowPicture();
  Lattice1->ResultsChanged();
  StatusBar1->showMessage(
      ToQt(DoneText(result.Count, result.Elapsed, std::chrono::steady_clock::now() - JobStart)));
}

void TForm1::ShowInputFault(const TInputError& fault) {
  StatusBar1->clearMessage();
  // The cursor goes to the place at fault: its character selected, or its
  // whole line when the line as a whole is at fault.
  const QTextBlock block = RichEdit1->document()->findBlockByNumber(static_cast<int>(fault.Line - 1));
  if (fault.Line >= 1 && block.isValid()) {
    QTextCursor cursor(block);
    if (fault.Column >= 1) {
      cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor,
                          static_cast<int>(std::min<std::int64_t>(fault.Column - 1, block.length() - 1)));
      cursor.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor);
    } else {
      cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    }
    RichEdit1->setTextCursor(cursor);
    RichEdit1->ensureCursorVisible();
    RichEdit1->setFocus();
  }
  Dialogs.ShowMessage(this, ToQt(std::string(fault.what())));
}

void TForm1::Button3Click() {
  if (Busy()) return;
  if (!HoldsNumber(Edit1->text())) {
    Edit1->setFocus();
    Edit1->selectAll();
    throw std::runtime_error("Density % needs a number, such as 25.");
  }
  const float density = ParseDensity(Edit1->text().toStdString());
  const std::int32_t sources = SpinEdit1->value(), targets = SpinEdit2->value();
  const std::int64_t cells = std::int64_t{std::max(sources, 0)} * std::max(targets, 0);
  if (cells > MostShownCells)
    throw std::runtime_error(std::to_string(sources) + " x " + std::to_string(targets) + " is " +
                             std::to_string(cells) + " cells: too many to show here (at most " +
                             std::to_string(MostShownCells) +
                             "). The command line makes it: bicliques generate " + std::to_string(sources) +
                             " " + std::to_string(targets) + " " + Edit1->text().trimmed().toStdString());
  StartJob(TJob::Generate, tr("Generating"),
           [this, sources, targets, cells, density,
            font = RichEdit1->font()](std::stop_token stop, TJobProgress& progress) -> TJobEnd {
             {
               const std::lock_guard hold(progress.Lock);
               progress.Total = std::max(sources, 0);
             }
             std::string text;
             text.reserve(static_cast<std::size_t>(std::max<std::int64_t>(cells + sources, 0)));
             for (std::int32_t row = 0; row < sources; ++row) {
               if (row % RowsPerStopCheck == 0) {
                 CheckStop(stop);
                 const std::lock_guard hold(progress.Lock);
                 progress.Done = row;
               }
               if (row > 0) text += '\n';
               text += GenerateRow(targets, density, Random);
             }
             CheckStop(stop);
             auto document = std::make_shared<std::unique_ptr<QTextDocument>>(MakeDocument(text, font));
             return [this, document, sources, targets] {
               ReplaceInput(std::move(*document), QString(), nullptr, tr("Generate"));
               StatusBar1->showMessage(tr("Generated %1 x %2; Ctrl+Z brings back the input before")
                                           .arg(ToQt(GroupedNumber(std::max(sources, 0))),
                                                ToQt(GroupedNumber(std::max(targets, 0)))));
             };
           });
}

void TForm1::BitBtn1Click() {
  if (Busy()) return;
  const std::optional<QString> path = ChooseFile(OpenDialog1);
  if (!path) return;
  const QString name = QFileInfo(*path).fileName();
  StartJob(
      TJob::Open, tr("Opening %1").arg(name),
      [this, path = *path, name, font = RichEdit1->font()](std::stop_token stop, TJobProgress&) -> TJobEnd {
        const QFileInfo info(path);
        if (info.isFile() && info.size() > MostOpenedBytes)
          throw std::runtime_error(TooLargeToOpen(path.toStdString(), info.size()));
        auto opened = std::make_shared<TOpenedText>();
        {
          const std::string bytes = ReadFileBytes(path);
          CheckStop(stop);
          *opened = PaneTextOfFile(path.toStdString(), bytes);
        }
        CheckStop(stop);
        auto document = std::make_shared<std::unique_ptr<QTextDocument>>(MakeDocument(opened->Text, font));
        std::string().swap(opened->Text);
        return [this, document, opened, path, name] {
          ReplaceInput(std::move(*document), path,
                       opened->Labels.Empty()
                           ? nullptr
                           : std::make_shared<const TVertexLabels>(std::move(opened->Labels)),
                       tr("Open"));
          if (opened->Fault) return ShowInputFault(*opened->Fault);
          SpinEdit1->setValue(opened->Sources);
          SpinEdit2->setValue(opened->Targets);
          StatusBar1->showMessage(
              tr("Opened %1: %2 sources, %3 targets; Ctrl+Z brings back the input before")
                  .arg(name, ToQt(GroupedNumber(opened->Sources)), ToQt(GroupedNumber(opened->Targets))));
        };
      });
}

std::unique_ptr<QTextDocument> TForm1::SwapInputDocument(std::unique_ptr<QTextDocument> document) {
  // The pane deletes a document it replaces when it is the document's
  // parent; the old one is kept, so it is let go of first.
  std::unique_ptr<QTextDocument> old(RichEdit1->document());
  old->setParent(nullptr);
  QTextDocument* fresh = document.release();
  fresh->setParent(RichEdit1);
  RichEdit1->setDocument(fresh);
  Marks1->Mark({}, {});
  return old;
}

void TForm1::ReplaceInput(std::unique_ptr<QTextDocument> document, const QString& path,
                          std::shared_ptr<const TVertexLabels> labels, const QString& replacedBy) {
  History.Push({SwapInputDocument(std::move(document)), FilePath, InputLabels, replacedBy});
  InputLabels = std::move(labels);
  SetFileName(path);
}

void TForm1::UndoInput() {
  if (RichEdit1->document()->isUndoAvailable()) return RichEdit1->undo();
  std::optional<TInputState> state = History.Pop();
  if (!state) {
    StatusBar1->showMessage(tr("Nothing to undo in the input"));
    return;
  }
  SwapInputDocument(std::move(state->Document)); // what Generate or Open made is dropped
  InputLabels = state->Labels;
  SetFileName(state->FilePath);
  StatusBar1->showMessage(tr("%1 undone: the input before it is back").arg(state->ReplacedBy));
}

void TForm1::BitBtn2Click() {
  if (const auto path = ChooseFile(FileSaveDialog1)) {
    WriteFileBytes(*path, PaneToFileText(RichEdit1->toPlainText().toStdString()));
    SetFileName(*path);
  }
}

// The result pane holds its text as the file has it; with names shown, the
// file gets the lines as shown.
void TForm1::BitBtn3Click() {
  if (Busy()) return;
  const auto path = ChooseFile(FileSaveDialog2);
  if (!path) return;
  StartJob(
      TJob::SaveResults, tr("Saving %1").arg(QFileInfo(*path).fileName()),
      [this, path = *path, text = RichEdit2->SharedText(),
       labels = RichEdit2->LabelsShown() ? RichEdit2->Labels() : nullptr,
       lines = RichEdit2->LineCount()](std::stop_token stop, TJobProgress&) -> TJobEnd {
        static const std::string noText;
        const std::string& content = text ? *text : noText;
        if (!labels) {
          WriteFileBytes(path, content);
        } else {
          std::string shown;
          for (std::size_t at = 0; at < content.size();) {
            const std::size_t end = content.find('\n', at);
            shown += LabelledLine(std::string_view(content).substr(at, end - at), *labels);
            shown += '\n';
            at = end + 1;
          }
          CheckStop(stop);
          WriteFileBytes(path, shown);
        }
        return [this, path, lines, text] {
          // Saved unless a RUN has replaced the results meanwhile.
          if (RichEdit2->SharedText() == text) ResultsSaved = true;
          StatusBar1->showMessage(
              tr("Saved %1 result lines to %2").arg(ToQt(GroupedNumber(lines)), QFileInfo(path).fileName()));
        };
      });
}

void TForm1::BitBtn4Click() {
  if (Picture1->Image().isNull())
    throw std::runtime_error("There is no picture yet: RUN makes one for a matrix of up to " +
                             std::to_string(PictureCellLimit) + " cells.");
  std::optional<QString> path = ChooseFile(PictureSaveDialog);
  if (!path) return;
  if (!path->endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
    *path += QStringLiteral(".png");
    if (QFileInfo::exists(*path) &&
        !Dialogs.Ask(this, tr("%1 exists. Replace it?").arg(QFileInfo(*path).fileName())))
      return;
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!Picture1->Render(Picture1->ExportZoom()).save(&buffer, "PNG"))
    throw std::runtime_error("The picture could not be made into PNG.");
  WriteFileBytes(*path, bytes.toStdString());
  StatusBar1->showMessage(tr("Saved the picture to %1").arg(QFileInfo(*path).fileName()));
}

void TForm1::FindClick() {
  const std::optional<TFindRequest> request = Dialogs.AskFind(this, LastFind);
  if (!request) return;
  LastFind = *request;
  FindAgain();
}

void TForm1::FindAgain() {
  if (LastFind.Text.isEmpty()) return FindClick();
  if (!RichEdit2->Find(LastFind.Text.toStdString(),
                       LastFind.WholeLine ? TFindMode::WholeLine : TFindMode::Numbers))
    StatusBar1->showMessage(tr("\"%1\" not found").arg(LastFind.Text));
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
  FilePath = path;
  const QString name = path.isEmpty() ? QString() : QFileInfo(path).fileName();
  setWindowTitle(name.isEmpty() ? Title : name + QStringLiteral(" - ") + Title);
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
  if (!chosen || chosen->Sources.empty() || chosen->Targets.empty() || Picture1->Image().isNull()) return;
  // On a picture larger than its box, the box scrolls to the biclique: its
  // first cell, which is the top left one when it is moved there.
  const bool block = CheckBox1->isChecked();
  const int row = block ? 0 : *std::min_element(chosen->Sources.begin(), chosen->Sources.end()) - 1;
  const int column = block ? 0 : *std::min_element(chosen->Targets.begin(), chosen->Targets.end()) - 1;
  const QRect cell = Picture1->CellRect(row, column, Picture1->Zoom());
  ScrollBox1->ensureVisible(cell.center().x(), cell.center().y(), 40, 40);
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
  const bool block = CheckBox1->isChecked();
  const TPictureOrder order = PictureOrder(static_cast<std::int32_t>(rows), RunTargets, chosen, block);
  const TVertexLabels* labels = RichEdit2->LabelsShown() && RichEdit2->Labels()->Fit(rows, RunTargets)
                                    ? RichEdit2->Labels().get()
                                    : nullptr;
  const auto axis = [](const std::vector<std::int32_t>& drawn, const std::vector<std::string>* own) {
    std::vector<std::string> texts;
    texts.reserve(drawn.size());
    for (const std::int32_t v : drawn)
      texts.push_back(own && !own->empty() ? (*own)[static_cast<std::size_t>(v)] : std::to_string(v + 1));
    return texts;
  };
  Picture1->SetCells(PictureCells(RunInput, RunTargets, chosen, block), static_cast<int>(rows), RunTargets,
                     axis(order.Rows, labels ? &labels->Sources : nullptr),
                     axis(order.Columns, labels ? &labels->Targets : nullptr));
  Picture1->SetZoom(Picture1->FittingZoom(ScrollBox1->viewport()->size(), LargestZoom));
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (Busy()) {
    const QString question = Running() ? tr("A RUN is going. Stop it and close the window?")
                                       : tr("%1 is going. Stop it and close the window?").arg(JobWhat);
    if (!Dialogs.Ask(this, question)) {
      event->ignore();
      return;
    }
    StopJob();
  } else if (ResultsWorthAQuestion() &&
             !Dialogs.Ask(this,
                          tr("The %1 result lines of the last RUN are not saved. Close the window anyway?")
                              .arg(ToQt(GroupedNumber(RichEdit2->LineCount()))))) {
    event->ignore();
    return;
  }
  event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == centralWidget() && event->type() == QEvent::Resize) Relayout();
  if (watched == RichEdit1 && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Undo) &&
      !RichEdit1->document()->isUndoAvailable()) {
    Guarded(&TForm1::UndoInput);
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// Beyond the start size, the panes and the picture share the room in width
// (the picture's half leaves space beside it); below it the panes give it
// up. In height the panes take it, half each, down to the bottom edge. The
// controls between keep their distance to the panes, those over the picture
// theirs to the right edge; the result pane's Names and Save stay beside its
// bottom; the picture takes the height left above its key.
void TForm1::Relayout() {
  const QSize client = centralWidget()->size().expandedTo(SmallestClient);
  const int dx = client.width() - StartClient.width();
  const int wider = std::max(0, dx) / 2; // the picture's share
  const int paneDx = dx - wider;
  const int bottom = client.height() - 8;
  const int paneHeight = (bottom - 16 - 6) / 2;
  const int legendHeight = Legend1->sizeHint().height();
  for (const auto& [widget, start] : StartPlaces) {
    QRect place = start.translated(start.left() < ScrollBox1Left ? paneDx : dx, 0);
    if (widget == RichEdit1) {
      place = QRect(start.left(), start.top(), start.width() + paneDx, paneHeight);
    } else if (widget == RichEdit2) {
      place =
          QRect(start.left(), 16 + paneHeight + 6, start.width() + paneDx, bottom - (16 + paneHeight + 6));
    } else if (widget == BitBtn3) {
      place.moveBottom(bottom - 1);
    } else if (widget == CheckBox2) {
      place.moveBottom(bottom - 1 - 25 - 6);
    } else if (widget == CheckBox1) {
      place = start.translated(paneDx, 0);
    } else if (widget == ScrollBox1) {
      place = QRect(start.left() + paneDx, start.top(), start.width() + wider, 0);
      place.setBottom(bottom - 1 - legendHeight - 4);
    } else if (widget == Legend1) {
      place = QRect(start.left() + paneDx, bottom - legendHeight, start.width() + wider, legendHeight);
    }
    widget->setGeometry(place);
  }
}
