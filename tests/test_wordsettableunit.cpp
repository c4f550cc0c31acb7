// TWordSetTable against a plain std::set of word vectors: the same sets held,
// ids that keep naming the same words through growth and adoption, and
// pointers that stay put.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "Wordsettableunit.h"

namespace {

using TWords = std::vector<std::uint64_t>;

// Random sets drawn from few values per word, so that repeats are common.
TWords RandomSet(std::int32_t words, std::mt19937& random) {
  TWords set(static_cast<std::size_t>(words));
  for (auto& word : set)
    word = random() % 4 == 0 ? 0 : random() % 61;
  return set;
}

std::uint64_t Hash(const TWords& set) { return HashWords(set.data(), static_cast<std::int32_t>(set.size())); }

} // namespace

// Word counts around the block size (2^17 words a block: 512 sets of 200
// words), enough insertions to fill several blocks of the widest.
TEST(TWordSetTable, HoldsWhatASetHoldsAcrossBlocksAndAdoption) {
  std::mt19937 random(3);
  for (const std::int32_t words : {1, 3, 200}) {
    SCOPED_TRACE("words " + std::to_string(words));
    TWordSetTable table(words);
    TWordSetTable other(words);
    std::set<TWords> expected;
    std::vector<std::pair<std::uint32_t, TWords>> named; // id, words
    std::vector<const std::uint64_t*> pointers;
    for (int k = 0; k < 1500; ++k) {
      const TWords set = RandomSet(words, random);
      const bool added = table.Insert(set.data(), Hash(set));
      EXPECT_EQ(added, expected.insert(set).second) << k;
      if (added) {
        named.emplace_back(table.LastId(), set);
        pointers.push_back(table.Set(table.LastId()));
      }
    }
    // Sets the table lacks, added elsewhere and then adopted.
    std::vector<std::pair<std::uint32_t, TWords>> adopted;
    for (int k = 0; k < 700; ++k) {
      const TWords set = RandomSet(words, random);
      if (expected.count(set) != 0 || !other.Insert(set.data(), Hash(set))) continue;
      adopted.emplace_back(other.LastId(), set);
    }
    const std::uint32_t offset = table.Adopt(other);
    EXPECT_EQ(other.Count(), 0);
    for (const auto& [id, set] : adopted) {
      named.emplace_back(id + offset, set);
      expected.insert(set);
    }
    EXPECT_EQ(table.Count(), static_cast<std::int64_t>(expected.size()));
    for (std::size_t k = 0; k < named.size(); ++k) {
      const auto& [id, set] = named[k];
      EXPECT_EQ(TWords(table.Set(id), table.Set(id) + words), set) << "id " << id;
      EXPECT_TRUE(table.Contains(set.data(), Hash(set)));
      if (k < pointers.size()) {
        EXPECT_EQ(table.Set(id), pointers[k]) << "set " << k << " moved";
      }
    }
    // After adoption, inserting still refuses held sets and adds new ones.
    for (int k = 0; k < 300; ++k) {
      const TWords set = RandomSet(words, random);
      const bool added = table.Insert(set.data(), Hash(set));
      EXPECT_EQ(added, expected.insert(set).second);
      if (added) {
        EXPECT_EQ(TWords(table.Set(table.LastId()), table.Set(table.LastId()) + words), set);
      } else {
        EXPECT_TRUE(table.Contains(set.data(), Hash(set)));
      }
    }
    EXPECT_EQ(table.Count(), static_cast<std::int64_t>(expected.size()));
    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    const TWords first = named.front().second;
    EXPECT_FALSE(table.Contains(first.data(), Hash(first)));
  }
}
