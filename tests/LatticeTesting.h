// What the lattice's tests share: the cover relation straight from its
// definition, and result lines read back as sides.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "Coverunit.h"
#include "Selectionunit.h"

namespace latticetesting {

// A's sources lie properly inside B's.
inline bool Below(const TBicliqueSides& a, const TBicliqueSides& b) {
  return a.Sources.size() < b.Sources.size() &&
         std::includes(b.Sources.begin(), b.Sources.end(), a.Sources.begin(), a.Sources.end());
}

// The pairs (x, y) where y's sources properly contain x's and no listed
// result's sources lie strictly between, ascending.
inline std::vector<TCover> CoversByDefinition(const std::vector<TBicliqueSides>& results) {
  std::vector<TCover> covers;
  for (std::size_t x = 0; x < results.size(); ++x)
    for (std::size_t y = 0; y < results.size(); ++y) {
      if (!Below(results[x], results[y])) continue;
      bool between = false;
      for (std::size_t z = 0; z < results.size() && !between; ++z)
        between = Below(results[x], results[z]) && Below(results[z], results[y]);
      if (!between) covers.push_back({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)});
    }
  return covers;
}

// The sides of text result lines "1,2 : 3" of a matrix, counting from 0.
inline std::vector<TBicliqueSides> SidesOfLines(const std::vector<std::string>& lines) {
  std::vector<TBicliqueSides> sides;
  for (const std::string& line : lines) {
    const TResultLine numbers = *ParseResultLine(line);
    TBicliqueSides side;
    for (const std::int32_t s : numbers.Sources)
      side.Sources.push_back(s - 1);
    for (const std::int32_t t : numbers.Targets)
      side.Targets.push_back(t - 1);
    sides.push_back(std::move(side));
  }
  return sides;
}

} // namespace latticetesting
