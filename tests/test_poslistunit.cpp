#include <gtest/gtest.h>

#include <random>
#include <string>
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
    AppendResultLine(text, {c.Sources.data()}, {c.RowCount}, {c.Targets.data()}, {c.ColumnCount});
    EXPECT_EQ(text, std::string("x\n") + c.Line) << c.Name;
  }
}

// Member lists and shown ids give the same text as the words they stand for.
TEST(Poslistunit, SidesAsMembersOrWithIdsShowTheirNumbers) {
  const std::vector<std::int64_t> ids = {0, 7, 65535, 65536, 123456789012};
  const std::vector<std::int32_t> all = {0, 1, 2, 3, 4};
  const std::vector<std::uint64_t> allWords = {WordBit(0) | WordBit(1) | WordBit(2) | WordBit(3) |
                                               WordBit(4)};
  struct TCase {
    const char* Name;
    TVertexSet Set;
    TSideNumbers Side;
    const char* Text;
  };
  const TCase cases[] = {
      {"members, plain numbers", {nullptr, all.data(), 3}, {70000}, "1,2,3"},
      {"members past the table", {nullptr, all.data() + 2, 0}, {70000}, ""},
      {"ids from members", {nullptr, all.data(), 5}, {5, ids.data()}, "0,7,65535,65536,123456789012"},
      {"ids from words", {allWords.data()}, {5, ids.data()}, "0,7,65535,65536,123456789012"},
      {"no member", {nullptr, all.data(), 0}, {5, ids.data()}, ""},
  };
  for (const TCase& c : cases) {
    std::string text = "kept|";
    AppendSide(text, c.Set, c.Side);
    EXPECT_EQ(text, std::string("kept|") + c.Text) << c.Name;
  }
  const std::vector<std::int32_t> large = {65535, 65536, 99999};
  std::string text;
  AppendSide(text, {nullptr, large.data(), 3}, {100000});
  EXPECT_EQ(text, "65536,65537,100000");
}

// A side longer than the writer's local buffer: every number once, in
// order, whatever number ends a buffer, with ids as wide as they come.
TEST(Poslistunit, LongSidesGiveEveryNumberOnce) {
  for (const std::int32_t count : {1, 400, 409, 410, 3000}) {
    std::vector<std::int32_t> members(static_cast<std::size_t>(count));
    std::vector<std::int64_t> ids(static_cast<std::size_t>(count));
    std::string plain;
    std::string shown;
    for (std::int32_t v = 0; v < count; ++v) {
      members[static_cast<std::size_t>(v)] = v;
      ids[static_cast<std::size_t>(v)] = std::int64_t{1'000'000'000'000'000'000} + v;
      plain += (v == 0 ? "" : ",") + std::to_string(v + 1);
      shown += (v == 0 ? "" : ",") + std::to_string(ids[static_cast<std::size_t>(v)]);
    }
    std::string text;
    AppendSide(text, {nullptr, members.data(), count}, {count});
    EXPECT_EQ(text, plain) << count;
    text.clear();
    AppendSide(text, {nullptr, members.data(), count}, {count, ids.data()});
    EXPECT_EQ(text, shown) << count;
  }
}
