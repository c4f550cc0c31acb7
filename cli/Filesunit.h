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

// True when `output` names the regular file that `input` names (standard input
// for "-"): the same device and inode, whatever the names; false when either
// cannot be looked at or output is "-". Reads nothing.
bool SameFile(const std::string& input, const std::string& output);

// Writes `content` to standard output.
void WriteStdout(const std::string& content);

// Where the command writes its result. Made before the input is read, so that
// a name that cannot be written is reported before a long run; Write and
// Finish give it the result. How depends on what the name is:
//
// - "-": standard output.
// - A regular file this process may not write (by its effective ids, as the
//   shell checks): refused at once, though its folder would allow a rename.
// - A regular file with one link, or a name that does not exist: the result
//   goes to a temporary file in its folder, renamed over it at the end; until
//   then the old file stays as it was, and a failed run leaves it so. The
//   temporary file has no name while it is written (O_TMPFILE) and gets one,
//   "NAME.XXXXXX" (NAME cut to fit the limit on a name), just before the
//   rename, so that nothing is left behind even by SIGKILL; where the file
//   system or a missing /proc does not allow that, it is named so from the
//   start. An existing file's mode, owner and group are kept.
// - A symbolic link: followed (each link relative to its own folder) and what
//   it leads to is treated as above; the link itself stays. Links through
//   /proc (/dev/stdout, /dev/fd/N) name a file this process has open and are
//   written directly, as below.
// - A regular file with more than one link, in a folder this process cannot
//   write, or whose owner and group a new file could not be given: rewritten
//   in place (truncated at the first Write, then written), so that it stays
//   the same file under every name. This is not all-or-nothing: a write that
//   fails midway leaves a partial file.
// - Anything else (character device, FIFO): opened and written directly,
//   appending to a regular file reached through /proc. A socket cannot be
//   opened and fails.
//
// While a named temporary file exists, SIGINT, SIGTERM, SIGHUP and SIGXFSZ
// remove it and then end the process as the signal would have (signals
// ignored at start stay ignored). At most one TOutputFile with a temporary
// file at a time. Every failure throws TFileError naming `path`; after a
// failed Write, every later Write and Finish throws the same error without
// writing, so the first failure is the one reported.
class TOutputFile {
public:
  // Pre: path is not empty.
  explicit TOutputFile(const std::string& path);
  // Removes the temporary file unless Finish has renamed it.
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // Writes `part` after what was written before. One call at a time (from
  // any thread). Pre: Finish not called yet.
  void Write(std::string_view part);
  // Completes the file (for a temporary file: flushed, named, then renamed
  // over the old one). Call at most once, after the last Write.
  void Finish();

private:
  enum class TRoute { Stdout, Replace, InPlace, Direct };
  std::string Path;   // the name given
  std::string Shown;  // the name in messages
  std::string Target; // the regular file Replace renames over, or InPlace writes
  std::string Temp;   // the named temporary file of Replace, while it exists
  TRoute Route = TRoute::Stdout;
  int Fd = -1;            // the temporary file, the file written in place, or the direct one
  bool Anonymous = false; // the temporary file has no name yet
  bool Started = false;   // a Write has come
  int Error = 0;          // errno of the first failed write

  void OpenInPlace();
  void OpenTemporary();
  // Names the anonymous temporary file beside Target; errno, or 0 when done.
  int LinkTemporary();
  // Temp becomes `temp`, which the signal handlers remove.
  void Arm(const std::string& temp);
  // Closes the file and removes the temporary one.
  void Discard();
  // Records `error` as the first failure, discards, throws.
  [[noreturn]] void Failed(int error);
};
