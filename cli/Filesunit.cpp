#include "Filesunit.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw TFileError("cannot " + what + " '" + path + "': " + std::strerror(error));
}

void ReadFd(int fd, const std::string& path, std::string& content) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) return;
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail("read", path, errno);
    }
    content.append(buffer, static_cast<std::size_t>(got));
  }
}

// Returns errno of the first failed write, 0 when all was written.
int WriteFd(int fd, const std::string& content) {
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

} // namespace

std::string ReadAll(const std::string& path) {
  std::string content;
  if (path == "-") {
    ReadFd(STDIN_FILENO, "standard input", content);
    return content;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("read", path, errno);
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    Fail("read", path, EISDIR);
  }
  try {
    ReadFd(fd, path, content);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
  return content;
}

void WriteAtomically(const std::string& path, const std::string& content) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) Fail("write", path, errno);
  int error = WriteFd(fd, content);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  // mkstemp makes the file private; give it the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (error == 0 && ::fchmod(fd, 0666 & ~mask) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    Fail("write", path, error);
  }
}

void WriteStdout(const std::string& content) {
  const int error = WriteFd(STDOUT_FILENO, content);
  if (error != 0) Fail("write", "standard output", error);
}
