// Resultcheckunit: checks result text against its graph, at any size. Every
// line must be a maximal biclique of the graph ("sources : targets" in the
// numbers the input shows, each side ascending, the source side not empty),
// and no two lines may be equal. Used by the tests and by the checks of the
// large data sets (bench/counts.py through bicliques-check).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Matrixunit.h"

class TResultChecker {
public:
  // Borrows `matrix` for the checker's life.
  explicit TResultChecker(const TMatrix& matrix);

  // Checks one line (without its break); returns what is wrong with it, or
  // nothing. A line equal to an earlier one is reported as such (lines are
  // remembered by a 64-bit hash, so two different lines are taken as equal
  // with a chance of about 1 in 10^12 per million lines).
  std::string Check(std::string_view line);

private:
  const TMatrix& Matrix;
  std::unordered_map<std::int64_t, std::int32_t> SourceIndex; // shown number -> vertex
  std::unordered_map<std::int64_t, std::int32_t> TargetIndex;
  std::vector<std::vector<std::int32_t>> Columns; // target -> its sources, ascending
  std::unordered_set<std::uint64_t> Seen;
};
