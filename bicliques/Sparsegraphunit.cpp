#include "Sparsegraphunit.h"

#include <algorithm>
#include <numeric>

namespace sparse {

namespace {

// Compressed lists of one side from those of the other: list v of the
// result holds every u whose list holds v, ascending.
void Transpose(std::int32_t count, const std::vector<std::int64_t>& starts,
               const std::vector<std::int32_t>& members, std::int32_t otherCount,
               std::vector<std::int64_t>& outStarts, std::vector<std::int32_t>& outMembers) {
  outStarts.assign(static_cast<std::size_t>(otherCount) + 1, 0);
  for (const std::int32_t v : members)
    ++outStarts[static_cast<std::size_t>(v) + 1];
  for (std::size_t v = 0; v < static_cast<std::size_t>(otherCount); ++v)
    outStarts[v + 1] += outStarts[v];
  outMembers.resize(members.size());
  std::vector<std::int64_t> at(outStarts.begin(), outStarts.end() - 1);
  for (std::int32_t u = 0; u < count; ++u) {
    for (std::int64_t i = starts[static_cast<std::size_t>(u)]; i < starts[static_cast<std::size_t>(u) + 1];
         ++i)
      outMembers[static_cast<std::size_t>(
          at[static_cast<std::size_t>(members[static_cast<std::size_t>(i)])]++)] = u;
  }
}

} // namespace

TGraphLists TakeLists(std::int32_t rowCount, std::int32_t columnCount, std::vector<std::int32_t>& adjacent,
                      const std::vector<std::int64_t>& at, const std::vector<std::int32_t>& length) {
  TGraphLists lists;
  lists.RowStarts.assign(static_cast<std::size_t>(rowCount) + 1, 0);
  for (std::size_t s = 0; s < static_cast<std::size_t>(rowCount); ++s)
    lists.RowStarts[s + 1] = lists.RowStarts[s] + length[s];
  lists.RowMembers.resize(static_cast<std::size_t>(lists.RowStarts.back()));
  for (std::size_t s = 0; s < static_cast<std::size_t>(rowCount); ++s) {
    if (at[s] >= 0)
      std::copy_n(adjacent.begin() + at[s], length[s], lists.RowMembers.begin() + lists.RowStarts[s]);
  }
  std::vector<std::int32_t>().swap(adjacent);
  Transpose(rowCount, lists.RowStarts, lists.RowMembers, columnCount, lists.ColumnStarts,
            lists.ColumnMembers);
  return lists;
}

bool SourcesCostLess(const TGraphLists& lists) {
  const auto squares = [](const std::vector<std::int64_t>& starts) {
    double sum = 0;
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
      const auto length = static_cast<double>(starts[i + 1] - starts[i]);
      sum += length * length;
    }
    return sum;
  };
  return squares(lists.ColumnStarts) < squares(lists.RowStarts);
}

std::vector<std::int32_t> RenumberItems(std::int32_t transactions, std::int32_t items,
                                        const std::vector<std::int64_t>& starts,
                                        std::vector<std::int32_t>& members) {
  std::vector<std::int32_t> frequency(static_cast<std::size_t>(items), 0);
  for (const std::int32_t item : members)
    ++frequency[static_cast<std::size_t>(item)];
  std::vector<std::int32_t> original(static_cast<std::size_t>(items));
  std::iota(original.begin(), original.end(), 0);
  std::stable_sort(original.begin(), original.end(), [&](std::int32_t a, std::int32_t b) {
    return frequency[static_cast<std::size_t>(a)] < frequency[static_cast<std::size_t>(b)];
  });
  std::vector<std::int32_t>& rank = frequency; // reused: vertex -> new number
  for (std::size_t i = 0; i < original.size(); ++i)
    rank[static_cast<std::size_t>(original[i])] = static_cast<std::int32_t>(i);
  for (std::int32_t& item : members)
    item = rank[static_cast<std::size_t>(item)];
  for (std::int32_t t = 0; t < transactions; ++t)
    std::sort(members.begin() + starts[static_cast<std::size_t>(t)],
              members.begin() + starts[static_cast<std::size_t>(t) + 1]);
  return original;
}

TSearchBounds SearchBounds(const TBounds& bounds, bool transposed) {
  TSearchBounds made;
  made.MinSupport = std::max(1, transposed ? bounds.MinTargets : bounds.MinSources);
  made.MaxSupport = transposed ? bounds.MaxTargets : bounds.MaxSources;
  made.MinItems = transposed ? bounds.MinSources : bounds.MinTargets;
  made.MaxItems = transposed ? bounds.MaxSources : bounds.MaxTargets;
  return made;
}

} // namespace sparse
