// Fuzz target for the RUN path: the input bytes are a matrix text. Text the
// run path refuses is fine; text it takes must give the same result text
// from every engine, and for a few rows the text of the brute-force
// enumeration.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "BruteForce.h"
#include "Rununit.h"

namespace {

// Beyond this many rows the brute force (2^rows subsets) is too slow.
constexpr std::size_t BruteForceRows = 12;
// The result count is at most 2^min(rows, columns); above this the runs are
// too slow for fuzzing.
constexpr std::size_t SmallerSideLimit = 16;

[[noreturn]] void Mismatch(const char* what, const std::string& expected, const std::string& got) {
  std::fprintf(stderr, "%s differ\n--- expected\n%s--- got\n%s", what, expected.c_str(), got.c_str());
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = SplitLines(text);
  try {
    MatrixOfLines(lines);
  } catch (const TInputError&) {
    return 0;
  }
  const std::size_t columns = lines.empty() ? 0 : lines.front().size();
  if (std::min(lines.size(), columns) > SmallerSideLimit) return 0;

  // Every engine of the table gives the same text as the first.
  TRunOptions options;
  options.Engine = Engines().front().Kind;
  const TRunResult first = RunLines(lines, options);
  for (const TEngineEntry& engine : Engines().subspan(1)) {
    options.Engine = engine.Kind;
    const TRunResult other = RunLines(lines, options);
    if (first.Text != other.Text) Mismatch(engine.Name.data(), first.Text, other.Text);
    if (first.Count != other.Count) std::abort();
  }

  if (lines.size() <= BruteForceRows) {
    std::string expected;
    for (const std::string& line : bruteforce::ResultLines(lines))
      expected += line + "\n";
    if (expected != first.Text) Mismatch("brute-force results", expected, first.Text);
  }
  return 0;
}
