// Filesunit: whole-file reads and all-or-nothing writes for the command line.
#pragma once

#include <stdexcept>
#include <string>

// A file that could not be read or written; the message names the file and
// the reason.
class TFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The whole content of `path`, or of standard input when path is "-".
std::string ReadAll(const std::string& path);

// Replaces `path` with `content` only once all of it is written: a temporary
// file beside it, then a rename. On failure the old file stays as it was.
void WriteAtomically(const std::string& path, const std::string& content);

// Writes `content` to standard output.
void WriteStdout(const std::string& content);
