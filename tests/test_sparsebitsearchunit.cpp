#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>
#include <set>
#include <vector>

#include "Sparsebitsearchunit.h"

using namespace sparse;

namespace {

using TMasks = std::vector<std::uint64_t>;

bool Subset(std::uint64_t narrower, std::uint64_t wider) { return (narrower & ~wider) == 0; }

// The distinct masks of `masks` that no other one holds, by brute force.
std::set<std::uint64_t> Maximal(const TMasks& masks) {
  std::set<std::uint64_t> kept;
  for (const std::uint64_t mask : masks) {
    const bool held = std::any_of(masks.begin(), masks.end(),
                                  [&](std::uint64_t other) { return other != mask && Subset(mask, other); });
    if (!held) kept.insert(mask);
  }
  return kept;
}

// Random non-zero masks over `width` bits: few bits give many subsets and
// equal masks, all 64 the high bits and the widest masks.
TMasks RandomMasks(std::mt19937_64& random, std::size_t count, int width) {
  TMasks masks;
  const std::uint64_t all = width == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << width) - 1;
  while (masks.size() < count) {
    std::uint64_t mask = random() & all;
    if (random() % 2 == 0) mask &= random(); // thinner ones too
    if (mask != 0) masks.push_back(mask);
  }
  return masks;
}

} // namespace

TEST(Sparsebitsearchunit, HeldByOneAsASubsetTest) {
  struct TCase {
    const char* Name;
    TMasks Masks;
    std::uint64_t Mask;
    bool Held;
  };
  const TCase cases[] = {
      {"no masks", {}, 0b1, false},
      {"equal", {0b101}, 0b101, true},
      {"a subset", {0b10, 0b111}, 0b101, true},
      {"only the union holds it", {0b100, 0b011}, 0b101, false},
      {"a superset does not count the other way", {0b1}, 0b11, false},
      {"the highest bit", {~std::uint64_t{0} >> 1}, std::uint64_t{1} << 63, false},
      {"every bit", {~std::uint64_t{0}}, std::uint64_t{1} << 63 | 1, true},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(HeldByOne(c.Masks, c.Mask), c.Held) << c.Name;
}

TEST(Sparsebitsearchunit, KeepMaximalLeavesTheWidestAntichain) {
  std::mt19937_64 random(11);
  TMasks scratch;
  for (int round = 0; round < 400; ++round) {
    const int width = round % 3 == 0 ? 64 : 3 + round % 7;
    TMasks masks = RandomMasks(random, static_cast<std::size_t>(random() % 40), width);
    const std::set<std::uint64_t> expected = Maximal(masks);
    KeepMaximal(masks, scratch);
    EXPECT_EQ(std::set<std::uint64_t>(masks.begin(), masks.end()), expected) << "round " << round;
    EXPECT_EQ(masks.size(), expected.size()) << "a mask kept twice, round " << round;
    EXPECT_TRUE(
        std::is_sorted(masks.begin(), masks.end(),
                       [](std::uint64_t a, std::uint64_t b) { return std::popcount(a) > std::popcount(b); }))
        << "not widest first, round " << round;
  }
}

TEST(Sparsebitsearchunit, AddMaximalKeepsTheAntichainOfAllAdded) {
  std::mt19937_64 random(12);
  for (int round = 0; round < 200; ++round) {
    const int width = round % 4 == 0 ? 64 : 4 + round % 6;
    const TMasks added = RandomMasks(random, 1 + random() % 30, width);
    TMasks antichain;
    for (std::size_t i = 0; i < added.size(); ++i) {
      AddMaximal(antichain, added[i]);
      const TMasks sofar(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      const std::set<std::uint64_t> expected = Maximal(sofar);
      ASSERT_EQ(std::set<std::uint64_t>(antichain.begin(), antichain.end()), expected)
          << "round " << round << ", after " << i + 1;
      ASSERT_EQ(antichain.size(), expected.size()) << "a mask kept twice, round " << round;
    }
  }
}

TEST(Sparsebitsearchunit, ForEachEntryVisitsEveryBitAscending) {
  const std::uint64_t masks[] = {0, 1, std::uint64_t{1} << 63, 0b1011000, ~std::uint64_t{0}};
  for (const std::uint64_t mask : masks) {
    std::vector<std::size_t> visited;
    ForEachEntry(mask, [&](std::size_t bit) { visited.push_back(bit); });
    std::vector<std::size_t> expected;
    for (std::size_t bit = 0; bit < 64; ++bit) {
      if ((mask >> bit & 1) != 0) expected.push_back(bit);
    }
    EXPECT_EQ(visited, expected) << mask;
  }
}
