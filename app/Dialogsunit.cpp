#include "Dialogsunit.h"

#include <QFileDialog>
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
