// Filesunit: whole-file reads and the result file of the command line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// A file that could not be read or written; the message names the file and
// the reason.
class TFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The whole content of `path`, or of standard input when path is "-".
std::string ReadAll(const std::string& path);

// True when `output` names the regular file that `input` names (standard input
// for "-"): the same device and inode, whatever the names; false when either
// cannot be looked at or output is "-". Reads nothing.
bool SameFile(const std::string& input, const std::string& output);

// Writes `content` to standard output.
void WriteStdout(const std::string& content);

// Where the command writes its result. Made before the input is read, so that
// a name that cannot be written is reported before a long run; Commit writes
// the whole result at the end. How depends on what the name is:
//
// - "-": standard output.
// - A regular file with one link, or a name that does not exist: a temporary
//   file beside it ("NAME.XXXXXX") gets the content, then is renamed over it;
//   until then the old file stays as it was, and a failed run leaves it so.
//   An existing file's mode is kept, and its owner where that is allowed.
// - A symbolic link: followed (each link relative to its own folder) and what
//   it leads to is treated as above; the link itself stays. Links through
//   /proc (/dev/stdout, /dev/fd/N) name a file this process has open and are
//   written directly, as below.
// - A regular file with more than one link: rewritten in place (truncated,
//   then written) so that every name keeps seeing the same file. This is not
//   all-or-nothing: a write that fails midway leaves a partial file. It was
//   chosen over the rename, which would leave the other names on the old
//   content.
// - Anything else (character device, FIFO): opened and written directly,
//   appending to a regular file reached through /proc. A socket cannot be
//   opened and fails.
//
// While the temporary file exists, SIGINT, SIGTERM, SIGHUP and SIGXFSZ remove
// it and then end the process as the signal would have (signals ignored at
// start stay ignored). At most one TOutputFile with a temporary file at a
// time. Every failure throws TFileError naming `path`.
class TOutputFile {
public:
  // Pre: path is not empty.
  explicit TOutputFile(const std::string& path);
  // Removes the temporary file unless Commit has renamed it.
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // Writes `part` after what was written before. Pre: Finish not called yet.
  void Write(std::string_view part);
  // Completes the file (for a temporary file: flushed, then renamed over the
  // old one). Call at most once, after the last Write.
  void Finish();
  // Same as: Write(content), then Finish().
  void Commit(const std::string& content);

private:
  enum class TRoute { Stdout, Replace, InPlace, Direct };
  std::string Path;   // the name given
  std::string Target; // what Replace renames over
  std::string Temp;   // the temporary file of Replace
  TRoute Route = TRoute::Stdout;
  int Fd = -1;          // the temporary file, the file written in place, or the direct one
  bool Started = false; // a Write has come

  void Discard();
};
