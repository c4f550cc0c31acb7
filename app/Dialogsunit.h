// Dialogsunit: the modal dialogs the window shows, behind one interface, so
// that tests answer them in place of a user.
#pragma once

#include <QString>
#include <optional>

class QWidget;

// The settings of one file dialog; the window keeps one per file command.
struct TFileDialog {
  enum class TKind { Open, Save };
  TKind Kind;
  QString Filter; // name filters such as "Text Files (*.txt)", the first chosen; empty for every file
  QString Folder; // where the dialog starts; empty for the dialog's own choice
  QString Suffix; // added to a saved name that lacks it, such as "png"; empty for none
};

// What Find asks for.
struct TFindRequest {
  QString Text;
  bool WholeLine = false; // the line must equal Text; else Text may be part of a line
};

class TDialogs {
public:
  virtual ~TDialogs() = default;
  // The path the user chose, or nothing when the user cancelled. A Save
  // dialog asks before it names an existing file.
  virtual std::optional<QString> ChooseFile(QWidget* parent, const TFileDialog& dialog) = 0;
  // Shows a failure's message; returns once the user has dismissed it.
  virtual void ShowMessage(QWidget* parent, const QString& message) = 0;
  // Asks a yes/no question; true for yes.
  virtual bool Ask(QWidget* parent, const QString& question) = 0;
  // Asks what to find, offering `initial`; nothing when the user cancelled.
  virtual std::optional<TFindRequest> AskFind(QWidget* parent, const TFindRequest& initial) = 0;
};

// The desktop's dialogs: QFileDialog, QMessageBox and a small find dialog.
class TQtDialogs : public TDialogs {
public:
  std::optional<QString> ChooseFile(QWidget* parent, const TFileDialog& dialog) override;
  void ShowMessage(QWidget* parent, const QString& message) override;
  bool Ask(QWidget* parent, const QString& question) override;
  std::optional<TFindRequest> AskFind(QWidget* parent, const TFindRequest& initial) override;
};
