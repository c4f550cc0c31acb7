// Qtfilesunit: whole-file reads and all-or-nothing writes for the window's
// Open and Save commands. Failures throw std::runtime_error whose message
// names the file and the reason.
#pragma once

#include <QString>
#include <string>

// The bytes of the file at `path`.
std::string ReadFileBytes(const QString& path);

// Replaces the file at `path` with `content` through QSaveFile: the bytes go
// to a temporary file beside it, renamed over the old file only once all are
// written, so a failed save leaves the old file as it was.
void WriteFileBytes(const QString& path, const std::string& content);
