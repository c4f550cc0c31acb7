#include "Dialogsunit.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

std::optional<QString> TQtDialogs::ChooseFile(QWidget* parent, const TFileDialog& dialog) {
  const QString path = dialog.Kind == TFileDialog::TKind::Open
                           ? QFileDialog::getOpenFileName(parent, {}, dialog.Folder, dialog.Filter)
                           : QFileDialog::getSaveFileName(parent, {}, dialog.Folder, dialog.Filter);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

void TQtDialogs::ShowMessage(QWidget* parent, const QString& message) {
  QMessageBox::critical(parent, parent ? parent->window()->windowTitle() : QString(), message);
}

bool TQtDialogs::Ask(QWidget* parent, const QString& question) {
  return QMessageBox::question(parent, parent ? parent->window()->windowTitle() : QString(), question,
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

std::optional<QString> TQtDialogs::AskText(QWidget* parent, const QString& label, const QString& initial) {
  bool ok = false;
  const QString text = QInputDialog::getText(parent, parent ? parent->window()->windowTitle() : QString(),
                                             label, QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return text;
}
