#include "Dialogsunit.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>

namespace {

QString TitleOf(QWidget* parent) { return parent ? parent->window()->windowTitle() : QString(); }

} // namespace

std::optional<QString> TQtDialogs::ChooseFile(QWidget* parent, const TFileDialog& dialog) {
  QFileDialog chooser(parent, {}, dialog.Folder, dialog.Filter);
  if (dialog.Kind == TFileDialog::TKind::Save) {
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    // The dialog adds the suffix before it asks about an existing file.
    chooser.setDefaultSuffix(dialog.Suffix);
  } else {
    chooser.setFileMode(QFileDialog::ExistingFile);
  }
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return std::nullopt;
  return chooser.selectedFiles().front();
}

void TQtDialogs::ShowMessage(QWidget* parent, const QString& message) {
  QMessageBox::critical(parent, TitleOf(parent), message);
}

bool TQtDialogs::Ask(QWidget* parent, const QString& question) {
  return QMessageBox::question(parent, TitleOf(parent), question, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

std::optional<TFindRequest> TQtDialogs::AskFind(QWidget* parent, const TFindRequest& initial) {
  QDialog dialog(parent);
  dialog.setWindowTitle(TitleOf(parent));
  auto* text = new QLineEdit(initial.Text);
  text->setToolTip(QObject::tr("Numbers match whole numbers: 9,37 is not found in 19,37"));
  auto* wholeLine = new QCheckBox(QObject::tr("Whole line"));
  wholeLine->setChecked(initial.WholeLine);
  wholeLine->setToolTip(QObject::tr("Find only a result line equal to the text"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* form = new QFormLayout(&dialog);
  form->addRow(QObject::tr("Find in the results:"), text);
  form->addRow(QString(), wholeLine);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return TFindRequest{text->text(), wholeLine->isChecked()};
}
