// Fuzz target for the input formats: the input bytes are read as a matrix
// text, a transaction file, an edge list, a context and a cross-table. A reader may refuse
// them (TInputError) but must not fail otherwise; a graph it takes must give
// the same result text from the bit-set and the adjacency-list engines.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "Readerunit.h"
#include "Rununit.h"

namespace {

// The result count is at most 2^min(sources, targets); above this the runs
// are too slow for fuzzing.
constexpr std::int32_t SmallerSideLimit = 14;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const TFormat format : {TFormat::Matrix, TFormat::Fimi, TFormat::Edges, TFormat::Cxt, TFormat::Csv}) {
    TMatrix matrix;
    try {
      matrix = ReadText(text, format);
    } catch (const TInputError&) {
      continue;
    }
    if (std::min(matrix.Sources, matrix.Targets) > SmallerSideLimit) continue;
    // The search engines of the table agree (the consensus engine is
    // checked against them by the RUN-path target).
    TRunOptions options;
    options.Engine = TEngineKind::Closure;
    const TRunResult first = RunMatrix(matrix, options);
    for (const TEngineEntry& engine : Engines()) {
      if (engine.Kind == TEngineKind::Consensus || engine.Kind == TEngineKind::Closure) continue;
      options.Engine = engine.Kind;
      const TRunResult other = RunMatrix(matrix, options);
      if (first.Text != other.Text) {
        std::fprintf(stderr, "closure and %s results differ (format %d)\n--- closure\n%s--- %s\n%s",
                     engine.Name.data(), static_cast<int>(format), first.Text.c_str(), engine.Name.data(),
                     other.Text.c_str());
        std::abort();
      }
    }
  }
  return 0;
}
