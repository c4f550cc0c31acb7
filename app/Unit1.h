// Unit1: TForm1, the main window. Its controls keep the names, places and
// defaults of the window description; each command handler reads controls,
// calls the run layer and writes controls.
#pragma once

#include <QMainWindow>
#include <memory>

#include "Bicliqueunit.h"
#include "Dialogsunit.h"
#include "Generateunit.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QStatusBar;

class TForm1 : public QMainWindow {
  Q_OBJECT

public:
  // Builds the window with every control at its default. `dialogs` is
  // borrowed and outlives the window.
  explicit TForm1(TDialogs& dialogs, QWidget* parent = nullptr);
  ~TForm1() override;

  // Controls, each with its name as objectName; owned by the window through
  // Qt's parent chain.
  QLabel* Label1;              // "Source", labels SpinEdit1
  QLabel* Label2;              // "Target", labels SpinEdit2
  QLabel* Label3;              // "Density %", labels Edit1
  QPushButton* Button1;        // "RUN": Button1Click
  QStatusBar* StatusBar1;      // bottom edge; nothing writes to it
  QPlainTextEdit* RichEdit1;   // input matrix, one row per line
  QSpinBox* SpinEdit1;         // Generate: number of source vertices (lines)
  QSpinBox* SpinEdit2;         // Generate: number of target vertices (characters per line)
  QPushButton* Button3;        // "Generate": Button3Click
  QLineEdit* Edit1;            // Generate: edge density in percent
  QPlainTextEdit* RichEdit2;   // results, one biclique per line
  QLineEdit* Edit2;            // run time of the last RUN
  QSpinBox* SpinEdit3;         // number of bicliques of the last RUN
  TFileDialog OpenDialog1;     // file choice for Open
  QPushButton* BitBtn1;        // "Open": BitBtn1Click
  QPushButton* BitBtn2;        // "Save" the input pane: BitBtn2Click
  TFileDialog FileSaveDialog1; // file choice for the input Save
  QPushButton* BitBtn3;        // "Save" the result pane: BitBtn3Click
  TFileDialog FileSaveDialog2; // file choice for the result Save
  // Owns the engine of the last RUN; null before the first.
  std::unique_ptr<TBicliques> Bicliques;

  // The commands. Each may throw; the buttons run them through Guarded.
  void Button1Click(); // RUN: enumerates the input pane into the result pane
  void Button3Click(); // Generate: a random matrix into the input pane
  void BitBtn1Click(); // Open: a file into the input pane
  void BitBtn2Click(); // Save: the input pane into a file
  void BitBtn3Click(); // Save: the result pane into a file

private:
  TDialogs& Dialogs;    // borrows
  TRandomSource Random; // Generate's one sequence for the window's life, never reseeded

  // Runs a command; shows what it throws, so that the window stays usable.
  void Guarded(void (TForm1::*command)());
  void SavePane(const QPlainTextEdit* pane, const TFileDialog& dialog);
};
