#include "Unit1.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <climits>
#include <exception>

#include "Qtfilesunit.h"
#include "Rununit.h"
#include "Windowtextunit.h"

namespace {

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

template <class TControl>
TControl* Place(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* control = new TControl(parent);
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(left, top, width, height);
  return control;
}

QPlainTextEdit* Pane(QWidget* parent, const char* name, int top) {
  auto* pane = Place<QPlainTextEdit>(parent, name, 8, top, 553, 185);
  // Fixed pitch keeps the matrix in columns; no wrapping keeps one row per line.
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(11);
  pane->setFont(font);
  pane->setLineWrapMode(QPlainTextEdit::NoWrap);
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

} // namespace

TForm1::TForm1(TDialogs& dialogs, QWidget* parent) : QMainWindow(parent), Dialogs(dialogs) {
  setWindowTitle(QStringLiteral("Modular Input Consensus Algorithm"));
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
  RichEdit1 = Pane(client, "RichEdit1", 16);
  RichEdit1->setPlainText(QStringLiteral("11110\n00111"));
  SpinEdit1 = SpinBox(client, "SpinEdit1", 632, 21, 57, 10);
  SpinEdit2 = SpinBox(client, "SpinEdit2", 632, 49, 57, 10);
  Button3 = Captioned<QPushButton>(client, "Button3", 615, 101, 75, 25, "Generate");
  Edit1 = Captioned<QLineEdit>(client, "Edit1", 632, 74, 58, 21, "25");
  RichEdit2 = Pane(client, "RichEdit2", 207);
  Edit2 = Captioned<QLineEdit>(client, "Edit2", 736, 8, 106, 21, "0");
  SpinEdit3 = SpinBox(client, "SpinEdit3", 736, 35, 106, 0);
  OpenDialog1 = {TFileDialog::TKind::Open, QStringLiteral("Text Files (*.txt)"), QString()};
  BitBtn1 = Captioned<QPushButton>(client, "BitBtn1", 616, 144, 75, 25, "Open");
  BitBtn2 = Captioned<QPushButton>(client, "BitBtn2", 616, 175, 75, 25, "Save");
  FileSaveDialog1 = {TFileDialog::TKind::Save, QString(), QStringLiteral(".")};
  BitBtn3 = Captioned<QPushButton>(client, "BitBtn3", 616, 367, 75, 25, "Save");
  FileSaveDialog2 = {TFileDialog::TKind::Save, QString(), QStringLiteral(".")};

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFixedHeight(19);
  setStatusBar(StatusBar1);

  QWidget* focusOrder[] = {Button1,   RichEdit1, SpinEdit1, SpinEdit2, Button3, Edit1,
                           RichEdit2, Edit2,     SpinEdit3, BitBtn1,   BitBtn2, BitBtn3};
  for (std::size_t i = 1; i < std::size(focusOrder); ++i)
    setTabOrder(focusOrder[i - 1], focusOrder[i]);

  connect(Button1, &QPushButton::clicked, this, [this] { Guarded(&TForm1::Button1Click); });
  connect(Button3, &QPushButton::clicked, this, [this] { Guarded(&TForm1::Button3Click); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { Guarded(&TForm1::BitBtn1Click); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { Guarded(&TForm1::BitBtn2Click); });
  connect(BitBtn3, &QPushButton::clicked, this, [this] { Guarded(&TForm1::BitBtn3Click); });

  move(0, 0);
  resize(963, 524);
}

TForm1::~TForm1() = default;

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
  RichEdit2->clear();
  SpinEdit3->setValue(0);
  TRunResult result = RunLines(SplitLines(RichEdit1->toPlainText().toStdString()));
  Bicliques = std::move(result.Engine);
  Edit2->setText(ToQt(ElapsedText(result.Elapsed)));
  RichEdit2->setPlainText(ToQt(FileToPaneText(result.Text))); // as the result file would read
  SpinEdit3->setValue(result.Count);
}

void TForm1::Button3Click() {
  const float density = ParseDensity(Edit1->text().toStdString());
  RichEdit1->setPlainText(
      ToQt(JoinLines(GenerateMatrix(SpinEdit1->value(), SpinEdit2->value(), density, Random))));
}

void TForm1::BitBtn1Click() {
  const std::optional<QString> path = Dialogs.ChooseFile(this, OpenDialog1);
  if (!path) return;
  RichEdit1->setPlainText(ToQt(FileToPaneText(ReadFileBytes(*path))));
}

void TForm1::BitBtn2Click() { SavePane(RichEdit1, FileSaveDialog1); }

void TForm1::BitBtn3Click() { SavePane(RichEdit2, FileSaveDialog2); }

void TForm1::SavePane(const QPlainTextEdit* pane, const TFileDialog& dialog) {
  const std::optional<QString> path = Dialogs.ChooseFile(this, dialog);
  if (!path) return;
  WriteFileBytes(*path, PaneToFileText(pane->toPlainText().toStdString()));
}
