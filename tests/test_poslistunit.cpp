#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "Poslistunit.h"
#include "Tbitarrayunit.h"

namespace {

// A random set of `size` bits at the given density, as words and as a bit array.
struct TSamePair {
  std::vector<std::uint64_t> Words;
  TBitArray Array;

  TSamePair(std::int32_t size, double density, std::mt19937_64& random)
      : Words(static_cast<std::size_t>(WordCount(size))), Array(size) {
    std::bernoulli_distribution draw(density);
    for (std::int32_t i = 0; i < size; ++i) {
      if (!draw(random)) continue;
      Words[static_cast<std::size_t>(i / 64)] |= WordBit(i);
      Array.Set(i, true);
    }
  }
};

} // namespace

TEST(Poslistunit, MatchesToPosListOnRandomSets) {
  std::mt19937_64 random(7);
  const std::int32_t sizes[] = {0, 1, 7, 8, 9, 63, 64, 65, 99, 100, 127, 128, 129, 1000, 12345, 70000};
  for (const std::int32_t size : sizes) {
    for (const double density : {0.0, 0.001, 0.05, 0.5, 1.0}) {
      const TSamePair set(size, density, random);
      std::string text = "kept|";
      AppendPosList(text, set.Words.data(), size);
      EXPECT_EQ(text, "kept|" + set.Array.ToPosList()) << "size " << size << ", density " << density;
    }
  }
}

TEST(Poslistunit, FirstIndexIsTheMostSignificantBit) {
  const std::vector<std::uint64_t> words = {std::uint64_t{1} << 63 | 1, std::uint64_t{1} << 62};
  std::string text;
  AppendPosList(text, words.data(), 66);
  EXPECT_EQ(text, "1,64,66");
}

TEST(Poslistunit, ResultLineJoinsBothListsAndAppends) {
  struct TCase {
    const char* Name;
    std::vector<std::uint64_t> Sources;
    std::int32_t RowCount;
    std::vector<std::uint64_t> Targets;
    std::int32_t ColumnCount;
    const char* Line;
  };
  const std::uint64_t top = WordBit(0);
  const TCase cases[] = {
      {"empty target side", {top | WordBit(1)}, 2, {0}, 2, "1,2 : "},
      {"no columns", {top}, 1, {}, 0, "1 : "},
      {"both sides", {WordBit(9) | WordBit(11)}, 12, {top, WordBit(64)}, 70, "10,12 : 1,65"},
  };
  for (const TCase& c : cases) {
    std::string text = "x\n";
    AppendResultLine(text, c.Sources.data(), c.RowCount, c.Targets.data(), c.ColumnCount);
    EXPECT_EQ(text, std::string("x\n") + c.Line) << c.Name;
  }
}
