#include "Filesunit.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw TFileError("cannot " + what + " '" + path + "': " + std::strerror(error));
}

// Returns errno of the first failed write, 0 when all was written.
int WriteFd(int fd, std::string_view content) {
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t put = ::write(fd, content.data() + done, content.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<std::size_t>(put);
  }
  return 0;
}

// The temporary file the signal handler removes. The name is written while
// the signals are blocked and only then armed, so the handler never sees half
// a name; it needs nothing but unlink, which is async-signal-safe.
char TempName[PATH_MAX + 8];
volatile std::sig_atomic_t TempArmed = 0;

constexpr int CleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};

extern "C" void RemoveTempAndResignal(int signal) {
  if (TempArmed) ::unlink(TempName);
  // The signal is blocked while its handler runs: the raised one arrives on
  // return, with the default action, and ends the process with its status.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void InstallCleanupHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (const int signal : CleanupSignals) {
    struct sigaction old {};
    ::sigaction(signal, nullptr, &old);
    if (old.sa_handler == SIG_IGN) continue; // e.g. SIGHUP under nohup
    struct sigaction action {};
    action.sa_handler = RemoveTempAndResignal;
    sigemptyset(&action.sa_mask);
    for (const int other : CleanupSignals)
      sigaddset(&action.sa_mask, other);
    ::sigaction(signal, &action, nullptr);
  }
}

// Blocks the cleanup signals in this thread for its lifetime.
class TSignalsBlocked {
public:
  TSignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : CleanupSignals)
      sigaddset(&set, signal);
    ::pthread_sigmask(SIG_BLOCK, &set, &Old);
  }
  ~TSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &Old, nullptr); }
  TSignalsBlocked(const TSignalsBlocked&) = delete;
  TSignalsBlocked& operator=(const TSignalsBlocked&) = delete;

private:
  sigset_t Old;
};

std::string Folder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The temporary name beside `target`: its name, cut to fit the limit on a
// name in a folder, then ".XXXXXX".
std::string TempPattern(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const std::string_view suffix = ".XXXXXX";
  return target.substr(0, base) + target.substr(base, NAME_MAX - suffix.size()) + std::string(suffix);
}

// The /proc name of this process's descriptor `fd`.
std::string ProcLink(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

bool InProc(const std::string& path) {
  struct statfs info {};
  return ::statfs(Folder(path).c_str(), &info) == 0 && info.f_type == PROC_SUPER_MAGIC;
}

} // namespace

bool SameFile(const std::string& input, const std::string& output) {
  if (output == "-") return false;
  struct stat in {
  }, out{};
  if (::stat(output.c_str(), &out) != 0) return false;
  const int got = input == "-" ? ::fstat(STDIN_FILENO, &in) : ::stat(input.c_str(), &in);
  return got == 0 && S_ISREG(in.st_mode) && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

void WriteStdout(const std::string& content) {
  const int error = WriteFd(STDOUT_FILENO, content);
  if (error != 0) Fail("write", "standard output", error);
}

TOutputFile::TOutputFile(const std::string& path)
    : Path(path), Shown(path == "-" ? "standard output" : path) {
  if (path == "-") return;

  // Follow symbolic links by hand, so that a link that leads nowhere yet
  // still gets its target made, and the link itself is never replaced.
  std::string name = path;
  struct stat info {};
  bool exists = false;
  for (int hops = 0;; ++hops) {
    if (::lstat(name.c_str(), &info) != 0) {
      if (errno != ENOENT) Fail("write", path, errno);
      break;
    }
    if (!S_ISLNK(info.st_mode)) {
      exists = true;
      break;
    }
    if (hops == 40) Fail("write", path, ELOOP);
    // /proc's links name open files, not places in a folder.
    if (InProc(name)) {
      Route = TRoute::Direct;
      break;
    }
    char link[PATH_MAX];
    const ssize_t length = ::readlink(name.c_str(), link, sizeof link);
    if (length < 0) Fail("write", path, errno);
    if (static_cast<std::size_t>(length) == sizeof link) Fail("write", path, ENAMETOOLONG);
    const std::string text(link, static_cast<std::size_t>(length));
    name = text.front() == '/' ? text : Folder(name) + "/" + text;
  }
  if (exists && S_ISDIR(info.st_mode)) Fail("write", path, EISDIR);

  if (Route == TRoute::Direct || (exists && !S_ISREG(info.st_mode))) {
    Route = TRoute::Direct;
    // A FIFO waits here for its reader.
    Fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (Fd < 0) Fail("write", path, errno);
    // A regular file reached through /proc may hold what others wrote to it.
    struct stat opened {};
    if (::fstat(Fd, &opened) == 0 && S_ISREG(opened.st_mode)) ::fcntl(Fd, F_SETFL, O_APPEND);
    return;
  }

  Target = name;
  if (exists) {
    // As the shell would: a file this process may not write is not replaced,
    // though the folder would allow the rename. Root may write any file.
    if (::faccessat(AT_FDCWD, name.c_str(), W_OK, AT_EACCESS) != 0) Fail("write", path, errno);
    // Every name of a hard-linked file must keep seeing the same file, and a
    // folder that cannot take a new file leaves only the file itself.
    if (info.st_nlink > 1 || ::faccessat(AT_FDCWD, Folder(name).c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
      OpenInPlace();
      return;
    }
  }
  Route = TRoute::Replace;
  OpenTemporary();
  int error = 0;
  if (exists) {
    // A new file that cannot get the old one's owner and group would take the
    // file from them: it is written in place instead, as the shell would.
    // fchown first: it may clear set-user-ID bits that fchmod then restores.
    if (::fchown(Fd, info.st_uid, info.st_gid) != 0) {
      Discard();
      OpenInPlace();
      return;
    }
    if (::fchmod(Fd, info.st_mode & 07777) != 0) error = errno;
  } else {
    // mkstemp makes the file private; give it the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(Fd, 0666 & ~mask) != 0) error = errno;
  }
  if (error != 0) {
    Discard();
    Fail("write", path, error);
  }
}

void TOutputFile::OpenInPlace() {
  Route = TRoute::InPlace;
  Fd = ::open(Target.c_str(), O_WRONLY | O_CLOEXEC);
  if (Fd < 0) Fail("write", Path, errno);
}

void TOutputFile::OpenTemporary() {
  // A file without a name (O_TMPFILE) leaves nothing behind whatever ends the
  // process, even SIGKILL; it gets a name only at the end, through its /proc
  // link. Where either is missing, the temporary file is named from the start.
  Fd = ::open(Folder(Target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (Fd >= 0) {
    struct stat linkable {};
    if (::stat(ProcLink(Fd).c_str(), &linkable) == 0) {
      Anonymous = true;
      return;
    }
    ::close(Fd);
    Fd = -1;
  } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    Fail("write", Path, errno);
  }
  std::string temp = TempPattern(Target);
  if (temp.size() >= sizeof TempName) Fail("write", Path, ENAMETOOLONG);
  InstallCleanupHandlers();
  TSignalsBlocked blocked;
  Fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (Fd < 0) Fail("write", Path, errno);
  Arm(temp);
}

void TOutputFile::Arm(const std::string& temp) {
  Temp = temp;
  std::memcpy(TempName, Temp.c_str(), Temp.size() + 1);
  TempArmed = 1;
}

int TOutputFile::LinkTemporary() {
  InstallCleanupHandlers();
  const std::string pattern = TempPattern(Target);
  if (pattern.size() >= sizeof TempName) return ENAMETOOLONG;
  // Names that differ from run to run; a taken one is simply passed over.
  std::minstd_rand random(static_cast<std::uint_fast32_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid()));
  constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = pattern;
    for (std::size_t at = temp.size() - 6; at < temp.size(); ++at)
      temp[at] = Letters[random() % (sizeof Letters - 1)];
    TSignalsBlocked blocked;
    if (::linkat(AT_FDCWD, ProcLink(Fd).c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      Arm(temp);
      Anonymous = false;
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

TOutputFile::~TOutputFile() { Discard(); }

void TOutputFile::Discard() {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
  Anonymous = false;
  if (!Temp.empty()) {
    TSignalsBlocked blocked;
    ::unlink(Temp.c_str());
    TempArmed = 0;
    Temp.clear();
  }
}

void TOutputFile::Failed(int error) {
  Error = error;
  Discard();
  Fail("write", Shown, error);
}

void TOutputFile::Write(std::string_view part) {
  // After a failure nothing more is written: the first error is the one
  // reported, whichever writer comes next.
  if (Error != 0) Fail("write", Shown, Error);
  if (Route == TRoute::Stdout) {
    const int error = WriteFd(STDOUT_FILENO, part);
    if (error != 0) Failed(error);
    return;
  }
  int error = 0;
  // A file written in place keeps its old content until the result comes.
  if (!Started && Route == TRoute::InPlace && ::ftruncate(Fd, 0) != 0) error = errno;
  Started = true;
  if (error == 0) error = WriteFd(Fd, part);
  if (error != 0) Failed(error);
}

void TOutputFile::Finish() {
  if (Error != 0) Fail("write", Shown, Error);
  if (Route == TRoute::Stdout) return;
  if (!Started) Write({});
  int error = 0;
  if (Route != TRoute::Direct && ::fsync(Fd) != 0) error = errno;
  if (error == 0 && Anonymous) error = LinkTemporary();
  const int fd = Fd;
  Fd = -1;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && Route == TRoute::Replace) {
    TSignalsBlocked blocked;
    if (::rename(Temp.c_str(), Target.c_str()) != 0) {
      error = errno;
    } else {
      TempArmed = 0;
      Temp.clear();
    }
  }
  if (error != 0) Failed(error);
}
