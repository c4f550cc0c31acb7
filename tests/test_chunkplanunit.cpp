// The deal of root branches: every branch once, in order, in chunks that
// never grow, within the cap, ending with single branches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "Chunkplanunit.h"

TEST(ChunkPlan, DealsEveryBranchOnceInShrinkingChunks) {
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
    for (std::size_t k = 1; k < sizes.size(); ++k)
      EXPECT_LE(sizes[k], sizes[k - 1]) << "chunk " << k;
    const std::int64_t cap = c.Largest > 0 ? c.Largest : c.Branches;
    for (const std::int64_t size : sizes)
      EXPECT_LE(size, cap);
    if (sizes.empty()) continue;
    EXPECT_EQ(sizes.back(), 1);
    // No process gets more than a sixteenth of its share at once.
    EXPECT_LE(sizes.front(), std::max<std::int64_t>(1, c.Branches / (16 * c.Processes)));
  }
}
