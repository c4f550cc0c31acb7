#include "Hugeheapunit.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

void StartOnHugePages(char** argv) {
#if defined(__linux__) && defined(__GLIBC__)
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  std::string value = tunables != nullptr ? tunables : "";
  if (value.find("hugetlb") != std::string::npos) return;
  value += value.empty() ? "glibc.malloc.hugetlb=1" : ":glibc.malloc.hugetlb=1";
  if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) return;
  execv("/proc/self/exe", argv);
#else
  (void)argv;
#endif
}
