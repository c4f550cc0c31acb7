// Unit1: TForm1, the main window. Its controls keep the names, places and
// defaults of the window description; each command handler reads controls,
// calls the run layer and writes controls. RUN, Generate and Open do their
// heavy work on a worker thread, so that the window stays usable meanwhile.
#pragma once

#include <QMainWindow>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Dialogsunit.h"
#include "Engineunit.h"
#include "Generateunit.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QStatusBar;
class QTimer;
class TMatrixPicture;
class TPaneMarks;
class TResultView;
struct TRunOptions;
struct TRunResult;

class TForm1 : public QMainWindow {
  Q_OBJECT

public:
  // Builds the window with every control at its default. `dialogs` is
  // borrowed and outlives the window.
  explicit TForm1(TDialogs& dialogs, QWidget* parent = nullptr);
  // Stops a running RUN and waits for its thread and any other worker.
  ~TForm1() override;

  // Controls, each with its name as objectName; owned by the window through
  // Qt's parent chain.
  QLabel* Label1;              // "Source", labels SpinEdit1
  QLabel* Label2;              // "Target", labels SpinEdit2
  QLabel* Label3;              // "Density %", labels Edit1
  QPushButton* Button1;        // "RUN", "Stop" while a RUN goes: Button1Click
  QStatusBar* StatusBar1;      // bottom edge: progress of a RUN, then its count and times
  QPlainTextEdit* RichEdit1;   // input matrix, one row per line
  QSpinBox* SpinEdit1;         // Generate: number of source vertices (lines)
  QSpinBox* SpinEdit2;         // Generate: number of target vertices (characters per line)
  QPushButton* Button3;        // "Generate": Button3Click
  QLineEdit* Edit1;            // Generate: edge density in percent
  TResultView* RichEdit2;      // results, one biclique per line, read-only
  QLineEdit* Edit2;            // enumeration time of the last RUN
  QSpinBox* SpinEdit3;         // number of bicliques of the last RUN
  TFileDialog OpenDialog1;     // file choice for Open
  QPushButton* BitBtn1;        // "Open": BitBtn1Click
  QPushButton* BitBtn2;        // "Save" the input pane: BitBtn2Click
  TFileDialog FileSaveDialog1; // file choice for the input Save
  QPushButton* BitBtn3;        // "Save" the result pane: BitBtn3Click
  TFileDialog FileSaveDialog2; // file choice for the result Save
  QComboBox* ComboBox1;        // the engine of RUN, a row of the engine table; consensus by default
  QCheckBox* CheckBox1;        // the picture moves the chosen biclique to the top left
  QPushButton* BitBtn4;        // "Save PNG": the picture into a file: BitBtn4Click
  TFileDialog PictureSaveDialog;
  QScrollArea* ScrollBox1;  // holds Picture1
  TMatrixPicture* Picture1; // the matrix of the last RUN, the chosen biclique coloured
  TPaneMarks* Marks1;       // bands over RichEdit1's rows and columns of the chosen biclique
  // Owns the engine of the last RUN; null before the first.
  std::unique_ptr<TEngine> Bicliques;
  // What RUN calls on its worker thread; RunLines unless a test puts in its own.
  std::function<TRunResult(const std::vector<std::string>&, const TRunOptions&)> Runner;

  // The commands. Each may throw; the buttons run them through Guarded.
  void Button1Click(); // RUN: starts enumerating the input pane; while a RUN goes, stops it
  void Button3Click(); // Generate: a random matrix into the input pane
  void BitBtn1Click(); // Open: a file into the input pane
  void BitBtn2Click(); // Save: the input pane into a file
  void BitBtn3Click(); // Save: the result pane into a file
  void BitBtn4Click(); // Save PNG: the matrix picture into a file
  void FindClick();    // Ctrl+F: asks for text and selects the next result line holding it
  void FindAgain();    // F3: the next result line holding the last text asked for

  // A RUN is going (from its start until its end has been shown).
  bool Running() const { return RunGoing; }
  // A RUN, Generate or Open is going.
  bool Busy() const { return RunGoing || SideGoing; }

protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  struct TRunEnd;
  // Latest progress report of the running RUN, written by its thread.
  struct TProgressBox {
    std::mutex Lock;
    std::optional<TProgress> Last;
  };

  TDialogs& Dialogs;       // borrows
  TRandomSource Random;    // Generate's one sequence for the window's life, never reseeded
  std::jthread RunThread;  // the RUN; joined when its end is shown
  std::jthread SideThread; // Generate's or Open's work; joined when its end is shown
  bool RunGoing = false;
  bool SideGoing = false;
  std::chrono::steady_clock::time_point RunStart;
  std::shared_ptr<TProgressBox> Progress;
  QTimer* ProgressTimer;
  std::vector<std::string> RunInput; // the matrix of the last RUN, for the picture
  std::int32_t RunTargets = 0;
  QString LastFind;
  QString FileName;                                    // of the input pane, for the title; empty when none
  std::vector<std::pair<QWidget*, QRect>> StartPlaces; // every control's place at start

  // Runs a command; shows what it throws, so that the window stays usable.
  void Guarded(void (TForm1::*command)());
  void SavePane(const std::string& fileText, const TFileDialog& dialog);
  std::optional<QString> ChooseFile(const TFileDialog& dialog);
  void StartRun();
  void ShowRunEnd(const std::shared_ptr<TRunEnd>& end);
  void ShowProgress();
  // Runs `work` on SideThread, then `done` with its text here; Generate and
  // Open are disabled meanwhile.
  void StartSide(std::function<QString()> work, std::function<void(const QString&)> done);
  void ShowChosen(qint64 line);
  void ShowPicture();
  void SetFileName(const QString& path);
  void Relayout();
};
