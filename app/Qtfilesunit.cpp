#include "Qtfilesunit.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <stdexcept>

namespace {

[[noreturn]] void Fail(const char* what, const QString& path, const QString& reason) {
  throw std::runtime_error(std::string("Cannot ") + what + " \"" +
                           QDir::toNativeSeparators(path).toStdString() + "\": " + reason.toStdString());
}

} // namespace

std::string ReadFileBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) Fail("read", path, file.errorString());
  const QByteArray bytes = file.readAll();
  // Opening a folder succeeds; reading it is what fails.
  if (file.error() != QFileDevice::NoError) Fail("read", path, file.errorString());
  return bytes.toStdString();
}

void WriteFileBytes(const QString& path, const std::string& content) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) Fail("write", path, file.errorString());
  // commit() does not see an error of the final flush of the write buffer, so
  // flush first and check.
  if (file.write(content.data(), static_cast<qint64>(content.size())) !=
          static_cast<qint64>(content.size()) ||
      !file.flush()) {
    const QString reason = file.errorString();
    file.cancelWriting();
    Fail("write", path, reason);
  }
  if (!file.commit()) Fail("write", path, file.errorString());
}
