#include "Latticeunit.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "Poslistunit.h"
#include "Resultlineunit.h"
#include "Wordsetunit.h"

namespace {

std::vector<std::int32_t> MembersOf(const TVertexSet& set, std::int32_t size) {
  std::vector<std::int32_t> members;
  ForEachMember(set, size, [&](std::int32_t v) { members.push_back(v); });
  return members;
}

std::int32_t CountOf(const TVertexSet& set, std::int32_t size) {
  return set.Words != nullptr ? CountBits(set.Words, WordCount(size)) : set.Count;
}

} // namespace

TLattice SortedNodes(const TMatrix& matrix, const TEngine& engine) {
  const TResultLines format(matrix, TLineFormat::Text);
  std::vector<std::string> lines;
  std::vector<TBicliqueSides> sides;
  const auto count = static_cast<std::size_t>(engine.Count());
  lines.reserve(count);
  sides.reserve(count);
  engine.ForEachResult(
      0, engine.Count(), [&](std::int32_t, const TVertexSet& sources, const TVertexSet& targets) {
        format.Append(lines.emplace_back(), sources, targets);
        sides.push_back({MembersOf(sources, matrix.Sources), MembersOf(targets, matrix.Targets)});
      });
  std::vector<std::int32_t> order(count);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
    return lines[static_cast<std::size_t>(a)] < lines[static_cast<std::size_t>(b)];
  });
  TLattice lattice;
  lattice.Lines.reserve(count);
  lattice.Sides.reserve(count);
  for (const std::int32_t i : order) {
    lattice.Lines.push_back(std::move(lines[static_cast<std::size_t>(i)]));
    lattice.Sides.push_back(std::move(sides[static_cast<std::size_t>(i)]));
  }
  return lattice;
}

TLattice LatticeOfResults(const TMatrix& matrix, const TEngine& engine) {
  TLattice lattice = SortedNodes(matrix, engine);
  lattice.Covers = Covers(matrix, lattice.Sides);
  return lattice;
}

std::vector<std::int32_t> SourceCounts(const TMatrix& matrix, const TEngine& engine) {
  std::vector<std::int32_t> counts;
  counts.reserve(static_cast<std::size_t>(engine.Count()));
  engine.ForEachResult(0, engine.Count(), [&](std::int32_t, const TVertexSet& sources, const TVertexSet&) {
    counts.push_back(CountOf(sources, matrix.Sources));
  });
  return counts;
}

std::int32_t IcebergMinSources(std::span<const std::int32_t> sourceCounts, std::int64_t limit) {
  if (static_cast<std::int64_t>(sourceCounts.size()) <= limit) return 0;
  // Results by number of sources, from the most down: the bound stops just
  // before the number that would let the iceberg pass the limit.
  std::map<std::int32_t, std::int64_t, std::greater<>> bySize;
  for (const std::int32_t count : sourceCounts)
    ++bySize[count];
  std::int64_t kept = 0;
  std::int32_t bound = bySize.begin()->first + 1;
  for (const auto& [size, results] : bySize) {
    if (kept + results > limit) break;
    kept += results;
    bound = size;
  }
  return bound;
}
