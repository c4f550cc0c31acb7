// bicliques-covers FILE MIN_SOURCES [FILE MIN_SOURCES]...: lists the results
// of each input (format by extension) with at least MIN_SOURCES sources, then
// times the cover relation among them on the calling thread (its CPU time),
// the cheaper way and each way, and prints one Markdown table row per input.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "Coverunit.h"
#include "Latticeunit.h"
#include "Readerunit.h"
#include "Rununit.h"

namespace {

// CPU seconds of the calling thread: on a shared machine, what the work
// costs rather than how long it waited for a core.
double ThreadSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU seconds that Covers takes the given way, and the number of pairs.
std::pair<double, std::size_t> Timed(const TMatrix& matrix, const TLattice& nodes, TCoverWay way) {
  const double start = ThreadSeconds();
  const std::size_t pairs = Covers(matrix, nodes.Sides, way).size();
  return {ThreadSeconds() - start, pairs};
}

} // namespace

int main(int argc, char** argv) {
  std::printf("| input | min sources | sources | targets | results | covers | cheaper s | up s | down s |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  for (int a = 1; a + 1 < argc; a += 2) {
    const std::string path = argv[a];
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 1;
    }
    const TMatrix matrix = ReadFd(fd, FormatForPath(path));
    ::close(fd);
    TRunOptions options;
    options.Engine = TEngineKind::Closure;
    options.Output = TOutput::Kept;
    options.Config.Bounds.MinSources = std::stoi(argv[a + 1]);
    const TRunResult run = RunMatrix(matrix, options);
    const TLattice nodes = SortedNodes(matrix, *run.Engine);
    const auto [cheaper, pairs] = Timed(matrix, nodes, TCoverWay::Cheaper);
    const double up = Timed(matrix, nodes, TCoverWay::Up).first;
    const double down = Timed(matrix, nodes, TCoverWay::Down).first;
    std::printf("| %s | %d | %d | %d | %d | %zu | %.3f | %.3f | %.3f |\n", path.c_str(),
                options.Config.Bounds.MinSources, matrix.Sources, matrix.Targets, nodes.Count(), pairs,
                cheaper, up, down);
    std::fflush(stdout);
  }
  return 0;
}
