// Unit1: TForm1, the main window. Its controls keep the names, captions and
// defaults of the window description; each command handler reads controls,
// calls the run layer and writes controls. RUN, Generate, Open and the
// result Save do their heavy work as a job on a worker thread, one job at a
// time, so that the window stays usable meanwhile; RUN's button (and Esc)
// stops any job.
#pragma once

#include <QMainWindow>
#include <QPointer>
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
#include "Inputhistoryunit.h"
#include "Labelsunit.h"
#include "Matrixunit.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QStatusBar;
class QTextDocument;
class QTimer;
class TLatticeWindow;
class TMatrixPicture;
class TPaneMarks;
class TPictureLegend;
class TResultView;
struct TRunOptions;
struct TRunResult;

class TForm1 : public QMainWindow {
  Q_OBJECT

public:
  // Builds the window with every control at its default. `dialogs` is
  // borrowed and outlives the window.
  explicit TForm1(TDialogs& dialogs, QWidget* parent = nullptr);
  // Stops a running job and waits for its thread.
  ~TForm1() override;

  // Controls, each with its name as objectName; owned by the window through
  // Qt's parent chain.
  QLabel* Label1;              // "Source", labels SpinEdit1
  QLabel* Label2;              // "Target", labels SpinEdit2
  QLabel* Label3;              // "Density %", labels Edit1
  QPushButton* Button1;        // "RUN"; "Stop" while a job goes, "Stopping..." once asked: Button1Click
  QStatusBar* StatusBar1;      // bottom edge: progress of a job, then what it did
  QPlainTextEdit* RichEdit1;   // input matrix, one row per line
  QSpinBox* SpinEdit1;         // Generate: number of source vertices (lines); Open sets it
  QSpinBox* SpinEdit2;         // Generate: number of target vertices (characters per line); Open sets it
  QPushButton* Button3;        // "Generate": Button3Click
  QLineEdit* Edit1;            // Generate: edge density in percent
  TResultView* RichEdit2;      // results, one biclique per line, read-only
  QLineEdit* Edit2;            // enumeration time of the last RUN, read-only
  QSpinBox* SpinEdit3;         // number of bicliques of the last RUN, read-only
  TFileDialog OpenDialog1;     // file choice for Open
  QPushButton* BitBtn1;        // "Open": BitBtn1Click
  QPushButton* BitBtn2;        // "Save" the input pane: BitBtn2Click
  TFileDialog FileSaveDialog1; // file choice for the input Save
  QPushButton* BitBtn3;        // "Save" the result pane: BitBtn3Click
  TFileDialog FileSaveDialog2; // file choice for the result Save
  QComboBox* ComboBox1;        // the engine of RUN, a row of the engine table; consensus by default
  QCheckBox* CheckBox1;        // the picture moves the chosen biclique to the top left
  QCheckBox* CheckBox2;        // "Names": results and picture show the input's own vertex labels
  QPushButton* BitBtn4;        // "Save PNG": the picture into a file: BitBtn4Click
  TFileDialog PictureSaveDialog;
  QScrollArea* ScrollBox1;  // holds Picture1
  TMatrixPicture* Picture1; // the matrix of the last RUN, the chosen biclique coloured
  TPictureLegend* Legend1;  // what the picture's colours mean, under ScrollBox1
  TPaneMarks* Marks1;       // bands over RichEdit1's rows and columns of the chosen biclique
  QPushButton* BitBtn5;     // "Lattice": shows Lattice1 beside the window
  TLatticeWindow* Lattice1; // the lattice of the last RUN's results, a window of its own
  // Owns the engine of the last RUN; null before the first, and while a RUN
  // that took over a large last result goes.
  std::unique_ptr<TEngine> Bicliques;
  // What RUN calls on its worker thread for the checked input; RunMatrix
  // unless a test puts in its own.
  std::function<TRunResult(const TMatrix&, const TRunOptions&)> Runner;

  // The commands. Each may throw; the buttons run them through Guarded.
  void Button1Click(); // RUN: starts enumerating the input pane; while a job goes, stops it
  void Button3Click(); // Generate: a random matrix into the input pane
  void BitBtn1Click(); // Open: a file into the input pane
  void BitBtn2Click(); // Save: the input pane into a file
  void BitBtn3Click(); // Save: the result pane into a file
  void BitBtn4Click(); // Save PNG: the matrix picture into a file
  void FindClick();    // Ctrl+F: asks what to find and selects the next result line holding it
  void FindAgain();    // F3: the next result line holding what was asked for last
  void UndoInput();    // Ctrl+Z: undoes the last edit of the input pane, or the Generate or Open before

  // A RUN is going (from its start until its end has been shown).
  bool Running() const { return Job == TJob::Run; }
  // A job (RUN, Generate, Open or the result Save) is going.
  bool Busy() const { return Job != TJob::None; }

protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  enum class TJob { None, Run, Generate, Open, SaveResults };
  // How far the job has come, written by its thread, read by the window's timer.
  struct TJobProgress {
    std::mutex Lock;
    std::optional<TProgress> Run; // the RUN's latest report
    std::int64_t Done = 0;        // Generate: rows made
    std::int64_t Total = 0;       // Generate: rows to make
  };
  // What a job's thread hands back: what to do on the window's thread.
  using TJobEnd = std::function<void()>;
  using TJobWork = std::function<TJobEnd(std::stop_token, TJobProgress&)>;
  struct THeldResult;
  struct TRunEnd;

  TDialogs& Dialogs;    // borrows
  TRandomSource Random; // Generate's one sequence for the window's life, never reseeded
  TJob Job = TJob::None;
  std::jthread Worker; // the job's thread; joined when its end is shown
  std::shared_ptr<TJobProgress> Progress;
  std::chrono::steady_clock::time_point JobStart;
  QString JobWhat;               // the job in the status bar: "Generating", "Opening x.cxt"
  QPointer<QWidget> FocusBefore; // where the focus was before the job moved it off a locked control
  QTimer* ProgressTimer;
  std::vector<std::string> RunInput; // the matrix of the shown results, for the picture
  std::int32_t RunTargets = 0;
  bool ResultsSaved = true;                          // the shown results are in a file, or worth no question
  std::chrono::steady_clock::duration ResultsCost{}; // their enumeration time
  std::shared_ptr<const TVertexLabels> InputLabels;  // the labels Open gave the input pane; null for none
  bool NamesWanted = true;                           // the user's last choice in CheckBox2
  TInputHistory History;
  TFindRequest LastFind;
  QString FilePath;                                    // of the input pane, for the title; empty when none
  std::vector<std::pair<QWidget*, QRect>> StartPlaces; // every control's place at start

  // Runs a command; shows what it throws, so that the window stays usable.
  void Guarded(void (TForm1::*command)());
  std::optional<QString> ChooseFile(const TFileDialog& dialog);
  // Runs `work` on the worker thread as job `job`; then, on the window's
  // thread, what it hands back, or its failure as a message, or "Stopped"
  // for TCancelled.
  void StartJob(TJob job, const QString& what, TJobWork work);
  void EndJob(const TJobEnd& end, const std::optional<std::string>& error, bool cancelled);
  void StopJob();
  void LockControls(bool locked);
  void ShowProgress();
  void StartRun();
  void ShowRunEnd(TRunEnd& end);
  // The results the window shows, taken out (the panes and read-outs then
  // show none), and put back.
  std::shared_ptr<THeldResult> TakeResult();
  void PutBackResult(const std::shared_ptr<THeldResult>& held);
  bool ResultsWorthAQuestion() const;
  void ShowNamesBox(bool available);
  // Puts `document` into the input pane; the one it replaces goes into the
  // history for UndoInput.
  void ReplaceInput(std::unique_ptr<QTextDocument> document, const QString& path,
                    std::shared_ptr<const TVertexLabels> labels, const QString& replacedBy);
  // Puts `document` into the input pane and hands back the one it replaces.
  std::unique_ptr<QTextDocument> SwapInputDocument(std::unique_ptr<QTextDocument> document);
  void ShowInputFault(const TInputError& fault);
  void ShowChosen(qint64 line);
  void ShowPicture();
  void SetFileName(const QString& path);
  void Relayout();
};
