// The deal of root branches: every branch once, in order, within the cap,
// starting and ending with single branches; chunks grow only with what was
// dealt and shrink with what is left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "Chunkplanunit.h"

TEST(ChunkPlan, DealsEveryBranchOnceHeaviestOneAtATime) {
  struct TCase {
    std::int64_t Branches;
    std::int32_t Processes;
    std::int64_t Largest;
  };
  for (const TCase c : {TCase{0, 1, 0}, TCase{1, 4, 0}, TCase{7, 3, 0}, TCase{1000, 1, 0}, TCase{1000, 4, 0},
                        TCase{16000, 8, 0}, TCase{16000, 8, 5}, TCase{100, 2, 1}, TCase{50, 1000, 0}}) {
    SCOPED_TRACE(std::to_string(c.Branches) + " branches, " + std::to_string(c.Processes) +
                 " processes, cap " + std::to_string(c.Largest));
    TChunkPlan plan(c.Branches, c.Processes, c.Largest);
    std::vector<std::int64_t> sizes;
    std::int64_t next = 0;
    for (TBranchRange range = plan.Next(); range.First < range.Last; range = plan.Next()) {
      ASSERT_EQ(range.First, next);
      ASSERT_LE(range.Last, c.Branches);
      sizes.push_back(range.Last - range.First);
      next = range.Last;
      ASSERT_EQ(plan.Dealt(), next);
    }
    EXPECT_EQ(next, c.Branches);
    const TBranchRange after = plan.Next();
    EXPECT_EQ(after.First, after.Last);
    std::int64_t dealt = 0;
    for (std::size_t k = 0; k < sizes.size(); ++k) {
      const std::int64_t left = c.Branches - dealt;
      EXPECT_LE(sizes[k],
                std::max<std::int64_t>(1, std::min(dealt / (4 * c.Processes), left / (16 * c.Processes))))
          << "chunk " << k;
      dealt += sizes[k];
    }
    const std::int64_t cap = c.Largest > 0 ? c.Largest : c.Branches;
    for (const std::int64_t size : sizes)
      EXPECT_LE(size, cap);
    if (sizes.empty()) continue;
    EXPECT_EQ(sizes.front(), 1);
    EXPECT_EQ(sizes.back(), 1);
    // The heaviest branches go out one at a time, one round per process at least.
    for (std::size_t k = 0; k < std::min<std::size_t>(sizes.size(), 4 * c.Processes); ++k)
      EXPECT_EQ(sizes[k], 1) << "chunk " << k;
    // Light branches do not cost a message each.
    if (c.Branches >= 16000 && c.Largest == 0) {
      EXPECT_LT(sizes.size(), static_cast<std::size_t>(c.Branches / 10));
    }
  }
}
