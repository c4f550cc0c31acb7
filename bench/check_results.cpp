// bicliques-check: checks a result text against its input at any size: every
// line a maximal biclique of the graph, no two equal. Prints the number of
// lines, or the first faults with their line numbers and exits with 1.
//   bicliques-check [--from FORMAT] INPUT RESULTS
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>

#include "Readerunit.h"
#include "Resultcheckunit.h"

namespace {

TMatrix ReadInput(const std::string& path, TFormat format) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  TMatrix matrix = ReadFd(fd, format);
  ::close(fd);
  return matrix;
}

} // namespace

int main(int argc, char** argv) {
  int a = 1;
  std::string from;
  if (argc == 5 && std::string(argv[1]) == "--from") {
    from = argv[2];
    a = 3;
  }
  if (argc - a != 2) {
    std::fprintf(stderr, "usage: bicliques-check [--from FORMAT] INPUT RESULTS\n");
    return 2;
  }
  try {
    const TMatrix matrix = ReadInput(argv[a], from.empty() ? FormatForPath(argv[a]) : ParseFormat(from));
    std::ifstream results(argv[a + 1]);
    if (!results) throw std::runtime_error(std::string("cannot open ") + argv[a + 1]);
    TResultChecker checker(matrix);
    std::string line;
    std::int64_t number = 0;
    std::int64_t faults = 0;
    while (std::getline(results, line)) {
      ++number;
      const std::string fault = checker.Check(line);
      if (fault.empty()) continue;
      if (++faults <= 10)
        std::printf("line %lld: %s: %s\n", static_cast<long long>(number), fault.c_str(), line.c_str());
    }
    if (faults > 0) {
      std::printf("%lld of %lld lines at fault\n", static_cast<long long>(faults),
                  static_cast<long long>(number));
      return 1;
    }
    std::printf("%lld lines, each a maximal biclique, no two equal\n", static_cast<long long>(number));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bicliques-check: %s\n", error.what());
    return 1;
  }
  return 0;
}
