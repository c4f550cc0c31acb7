#include "Memorybudgetunit.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

namespace {

// The number a limit file holds, -1 when it cannot be read or holds none.
std::int64_t LimitInFile(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  if (!(in >> text) || text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  errno = 0;
  const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
  if (errno == ERANGE || value > static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max()))
    return -1;
  return static_cast<std::int64_t>(value);
}

// The least of `limit` and `other`, where -1 stands for none.
std::int64_t Tighter(std::int64_t limit, std::int64_t other) {
  if (other < 0) return limit;
  return limit < 0 ? other : std::min(limit, other);
}

// The least limit in `file` of folder `path` under `root` and every folder
// above it up to `root`. A group's limit binds every group below it.
std::int64_t LimitAlongPath(const std::string& root, std::string path, const std::string& file) {
  std::int64_t limit = -1;
  for (;;) {
    while (!path.empty() && path.back() == '/')
      path.pop_back();
    limit = Tighter(limit, LimitInFile(root + path + "/" + file));
    if (path.empty()) return limit;
    path.erase(path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
  }
}

std::int64_t ResourceLimit(int resource) {
  rlimit limit{};
  if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return -1;
  return static_cast<std::int64_t>(
      std::min<rlim_t>(limit.rlim_cur, static_cast<rlim_t>(std::numeric_limits<std::int64_t>::max())));
}

} // namespace

std::int64_t ControlGroupMemoryLimit(const std::string& selfCgroup, const std::string& mountRoot) {
  std::int64_t limit = -1;
  std::istringstream lines(selfCgroup);
  for (std::string line; std::getline(lines, line);) {
    // hierarchy-ID:controller-list:path
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string id = line.substr(0, first);
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    if (id == "0" && controllers.empty()) {
      limit = Tighter(limit, LimitAlongPath(mountRoot, path, "memory.max"));
      continue;
    }
    std::istringstream names(controllers);
    for (std::string name; std::getline(names, name, ',');) {
      if (name == "memory")
        limit = Tighter(limit, LimitAlongPath(mountRoot + "/memory", path, "memory.limit_in_bytes"));
    }
  }
  return limit;
}

std::int64_t MemoryLimit() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  std::int64_t limit = pages > 0 && pageSize > 0 ? static_cast<std::int64_t>(pages) * pageSize : -1;
  limit = Tighter(limit, ResourceLimit(RLIMIT_AS));
  limit = Tighter(limit, ResourceLimit(RLIMIT_DATA));
  std::ifstream in("/proc/self/cgroup");
  std::stringstream cgroup;
  cgroup << in.rdbuf();
  limit = Tighter(limit, ControlGroupMemoryLimit(cgroup.str(), "/sys/fs/cgroup"));
  return limit < 0 ? std::int64_t{1} << 30 : limit;
}
