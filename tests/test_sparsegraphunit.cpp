#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "Sparsegraphunit.h"

using namespace sparse;

namespace {

using TList = std::vector<std::int32_t>;

TList ListAt(const std::vector<std::int64_t>& starts, const TList& members, std::size_t i) {
  return TList(members.begin() + starts[i], members.begin() + starts[i + 1]);
}

// Random rows: row s holds target t with a chance depending on s.
std::vector<TList> RandomRows(std::mt19937_64& random, std::int32_t rows, std::int32_t columns) {
  std::vector<TList> made(static_cast<std::size_t>(rows));
  for (auto& row : made) {
    const auto chance = random() % 5;
    for (std::int32_t t = 0; t < columns; ++t) {
      if (random() % 8 < chance) row.push_back(t);
    }
  }
  return made;
}

} // namespace

// The rows come in any order, some never set; the lists hold them by source
// and by target.
TEST(Sparsegraphunit, TakeListsGivesRowsInOrderAndColumns) {
  std::mt19937_64 random(31);
  for (int round = 0; round < 30; ++round) {
    const auto rowCount = static_cast<std::int32_t>(random() % 12);
    const auto columnCount = static_cast<std::int32_t>(random() % 15);
    const std::vector<TList> rows = RandomRows(random, rowCount, columnCount);
    std::vector<std::int32_t> order(static_cast<std::size_t>(rowCount));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    TList adjacent;
    std::vector<std::int64_t> at(static_cast<std::size_t>(rowCount), -1);
    std::vector<std::int32_t> length(static_cast<std::size_t>(rowCount), 0);
    for (const std::int32_t s : order) {
      const TList& row = rows[static_cast<std::size_t>(s)];
      if (row.empty() && s % 2 == 1) continue; // never set
      at[static_cast<std::size_t>(s)] = static_cast<std::int64_t>(adjacent.size());
      length[static_cast<std::size_t>(s)] = static_cast<std::int32_t>(row.size());
      adjacent.insert(adjacent.end(), row.begin(), row.end());
    }
    const TGraphLists lists = TakeLists(rowCount, columnCount, adjacent, at, length);
    EXPECT_TRUE(adjacent.empty());
    ASSERT_EQ(lists.RowStarts.size(), static_cast<std::size_t>(rowCount) + 1);
    ASSERT_EQ(lists.ColumnStarts.size(), static_cast<std::size_t>(columnCount) + 1);
    for (std::size_t s = 0; s < rows.size(); ++s)
      EXPECT_EQ(ListAt(lists.RowStarts, lists.RowMembers, s), rows[s]) << "round " << round << ", row " << s;
    for (std::int32_t t = 0; t < columnCount; ++t) {
      TList column;
      for (std::int32_t s = 0; s < rowCount; ++s) {
        const TList& row = rows[static_cast<std::size_t>(s)];
        if (std::binary_search(row.begin(), row.end(), t)) column.push_back(s);
      }
      EXPECT_EQ(ListAt(lists.ColumnStarts, lists.ColumnMembers, static_cast<std::size_t>(t)), column)
          << "round " << round << ", column " << t;
    }
  }
}

TEST(Sparsegraphunit, SourcesCostLessWhenTheColumnsAreShorter) {
  const auto lists = [](const std::vector<TList>& rows, std::int32_t columns) {
    TList adjacent;
    std::vector<std::int64_t> at;
    std::vector<std::int32_t> length;
    for (const TList& row : rows) {
      at.push_back(static_cast<std::int64_t>(adjacent.size()));
      length.push_back(static_cast<std::int32_t>(row.size()));
      adjacent.insert(adjacent.end(), row.begin(), row.end());
    }
    return TakeLists(static_cast<std::int32_t>(rows.size()), columns, adjacent, at, length);
  };
  // One row of four targets: rows cost 16, columns 4.
  EXPECT_TRUE(SourcesCostLess(lists({{0, 1, 2, 3}}, 4)));
  // Four rows of one target: rows cost 4, the column 16.
  EXPECT_FALSE(SourcesCostLess(lists({{0}, {0}, {0}, {0}}, 1)));
  // A diagonal costs the same both ways: the targets stay the items.
  EXPECT_FALSE(SourcesCostLess(lists({{0}, {1}}, 2)));
}

TEST(Sparsegraphunit, RenumberItemsByFrequency) {
  std::mt19937_64 random(32);
  for (int round = 0; round < 30; ++round) {
    const auto transactions = static_cast<std::int32_t>(1 + random() % 10);
    const auto items = static_cast<std::int32_t>(random() % 12);
    const std::vector<TList> rows = RandomRows(random, transactions, items);
    std::vector<std::int64_t> starts{0};
    TList members;
    for (const TList& row : rows) {
      members.insert(members.end(), row.begin(), row.end());
      starts.push_back(static_cast<std::int64_t>(members.size()));
    }
    std::vector<std::int32_t> frequency(static_cast<std::size_t>(items), 0);
    for (const std::int32_t item : members)
      ++frequency[static_cast<std::size_t>(item)];

    const TList original = RenumberItems(transactions, items, starts, members);
    TList sorted = original;
    std::sort(sorted.begin(), sorted.end());
    TList every(static_cast<std::size_t>(items));
    std::iota(every.begin(), every.end(), 0);
    ASSERT_EQ(sorted, every) << "not a renumbering, round " << round;
    // Rarest first, ties by vertex number.
    for (std::size_t i = 1; i < original.size(); ++i) {
      const auto before = static_cast<std::size_t>(original[i - 1]);
      const auto here = static_cast<std::size_t>(original[i]);
      EXPECT_TRUE(frequency[before] < frequency[here] ||
                  (frequency[before] == frequency[here] && original[i - 1] < original[i]))
          << "round " << round << ", number " << i;
    }
    // Every transaction ascending in the new numbers, the same vertices in the old.
    for (std::size_t t = 0; t < rows.size(); ++t) {
      const TList renumbered = ListAt(starts, members, t);
      EXPECT_TRUE(std::is_sorted(renumbered.begin(), renumbered.end()));
      TList vertices;
      for (const std::int32_t item : renumbered)
        vertices.push_back(original[static_cast<std::size_t>(item)]);
      std::sort(vertices.begin(), vertices.end());
      EXPECT_EQ(vertices, rows[t]) << "round " << round << ", transaction " << t;
    }
  }
}

TEST(Sparsegraphunit, SearchBoundsSayTheBoundsInItemsAndSupport) {
  TBounds bounds;
  bounds.MinSources = 0;
  bounds.MaxSources = 5;
  bounds.MinTargets = 2;
  bounds.MaxTargets = 7;
  // Targets as items: the sources are the support, at least 1.
  const TSearchBounds targets = SearchBounds(bounds, false);
  EXPECT_EQ(targets.MinSupport, 1);
  EXPECT_EQ(targets.MaxSupport, 5);
  EXPECT_EQ(targets.MinItems, 2);
  EXPECT_EQ(targets.MaxItems, 7);
  const TSearchBounds sources = SearchBounds(bounds, true);
  EXPECT_EQ(sources.MinSupport, 2);
  EXPECT_EQ(sources.MaxSupport, 7);
  EXPECT_EQ(sources.MinItems, 0);
  EXPECT_EQ(sources.MaxItems, 5);

  struct TCase {
    std::int32_t Support;
    std::int64_t Size;
    std::int64_t Candidates;
    bool Lists;
    bool MayGrow;
  };
  // Items 2 to 7, support up to 5.
  const TCase cases[] = {
      {5, 2, 1, true, true},  {6, 2, 1, false, true},  {3, 1, 1, false, true},  {3, 1, 0, false, false},
      {3, 7, 3, true, false}, {3, 0, 1, false, false}, {3, 8, 1, false, false},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(targets.Lists(c.Support, c.Size), c.Lists) << c.Support << " " << c.Size;
    EXPECT_EQ(targets.MayGrow(c.Size, c.Candidates), c.MayGrow) << c.Size << " " << c.Candidates;
  }
}
