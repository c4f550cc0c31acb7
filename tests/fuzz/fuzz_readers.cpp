// Fuzz target for the input formats: the input bytes are read as a matrix
// text, a transaction file, an edge list and a context. A reader may refuse
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
  for (const TFormat format : {TFormat::Matrix, TFormat::Fimi, TFormat::Edges, TFormat::Cxt}) {
    TMatrix matrix;
    try {
      matrix = ReadText(text, format);
    } catch (const TInputError&) {
      continue;
    }
    if (std::min(matrix.Sources, matrix.Targets) > SmallerSideLimit) continue;
    TRunOptions extension;
    extension.Engine = TEngineKind::Extension;
    TRunOptions sparse;
    sparse.Engine = TEngineKind::Sparse;
    const TRunResult first = RunMatrix(matrix, extension);
    const TRunResult second = RunMatrix(matrix, sparse);
    if (first.Text != second.Text) {
      std::fprintf(stderr, "closure and sparse results differ (format %d)\n--- closure\n%s--- sparse\n%s",
                   static_cast<int>(format), first.Text.c_str(), second.Text.c_str());
      std::abort();
    }
  }
  return 0;
}
