// bicliques-reference: runs the plain consensus engine that the tests keep as
// the yardstick on one matrix file and reports like `bicliques --stats`, so
// that bench/run.sh can set the fast engines beside it.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "Readerunit.h"
#include "ReferenceBicliques.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bicliques-reference FILE\n");
    return 2;
  }
  try {
    const int fd = ::open(argv[1], O_RDONLY);
    if (fd < 0) throw std::runtime_error(std::string("cannot open ") + argv[1]);
    const TMatrix matrix = ReadFd(fd, TFormat::Matrix);
    ::close(fd);
    const std::int32_t sources = matrix.Sources;
    const std::int32_t targets = matrix.Targets;
    TReferenceBicliques engine(sources, targets);
    for (std::int32_t s = 0; s < sources; ++s)
      for (const std::int32_t t : matrix.Row(s))
        engine.Rows[static_cast<std::size_t>(s)]->Set(t, true);
    const auto start = std::chrono::steady_clock::now();
    const std::int32_t count = engine.Run();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "sources %d, targets %d, bicliques %d, passes %d, enumeration %.6f s\n", sources,
                 targets, count, engine.Passes, seconds);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bicliques-reference: %s\n", error.what());
    return 1;
  }
  return 0;
}
