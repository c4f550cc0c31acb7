// bicliques-reference: runs the plain consensus engine that the tests keep as
// the yardstick on one matrix file and reports like `bicliques --stats`, so
// that bench/run.sh can set the fast engines beside it.
#include <chrono>
#include <cstdio>
#include <exception>

#include "Filesunit.h"
#include "ReferenceBicliques.h"
#include "Rununit.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bicliques-reference FILE\n");
    return 2;
  }
  try {
    const std::vector<std::string> lines = SplitLines(ReadAll(argv[1]));
    MatrixOfLines(lines);
    const auto sources = static_cast<std::int32_t>(lines.size());
    const auto targets = static_cast<std::int32_t>(lines.empty() ? 0 : lines[0].size());
    TReferenceBicliques engine(sources, targets);
    for (std::int32_t s = 0; s < sources; ++s)
      engine.Rows[static_cast<std::size_t>(s)]->FromBinStr(lines[static_cast<std::size_t>(s)]);
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
