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

// The inverse of an odd number modulo 2^64 (Newton's steps).
std::uint64_t Inverse(std::uint64_t odd) {
  std::uint64_t inverse = odd;
  for (int k = 0; k < 6; ++k)
    inverse *= 2 - odd * inverse;
  return inverse;
}

// The one word whose hash is `hash`: HashWords of one word run backwards.
std::uint64_t WordOfHash(std::uint64_t hash) {
  std::uint64_t h = hash ^ (hash >> 29) ^ (hash >> 58); // undoes h ^= h >> 29
  h *= Inverse(0xC4CEB9FE1A85EC53ull);
  h ^= h >> 32;
  h *= Inverse(0xFF51AFD7ED558CCDull);
  return h ^ 0x9E3779B97F4A7C15ull;
}

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
    // Sets never added are not held.
    for (int k = 0; k < 300; ++k) {
      const TWords set = RandomSet(words, random);
      EXPECT_EQ(table.Contains(set.data(), Hash(set)), expected.count(set) != 0);
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

// A table of one-word sets names them by their hashes; the set whose hash is
// 0, which a free slot cannot name, is held, refused twice, adopted and
// forgotten like any other, and sets next to it are not taken for it.
TEST(TWordSetTable, OneWordSetsIncludingTheOneWhoseHashIsZero) {
  const std::uint64_t zero = WordOfHash(0);
  ASSERT_EQ(HashWords(&zero, 1), 0u);
  const std::vector<std::uint64_t> near = {zero ^ 1, zero ^ (std::uint64_t{1} << 63), zero + 2, 0};
  TWordSetTable table(1);
  TWordSetTable other(1);
  EXPECT_FALSE(table.Contains(&zero, 0));
  EXPECT_TRUE(other.Insert(&zero, 0));
  EXPECT_FALSE(other.Insert(&zero, 0));
  EXPECT_EQ(TWords(other.Set(other.LastId()), other.Set(other.LastId()) + 1), TWords{zero});
  for (const std::uint64_t word : near) {
    EXPECT_FALSE(other.Contains(&word, HashWords(&word, 1)));
    EXPECT_TRUE(table.Insert(&word, HashWords(&word, 1)));
  }
  EXPECT_FALSE(table.Contains(&zero, 0));
  const std::uint32_t offset = table.Adopt(other);
  EXPECT_TRUE(table.Contains(&zero, 0));
  EXPECT_FALSE(other.Contains(&zero, 0));
  EXPECT_EQ(table.Count(), static_cast<std::int64_t>(near.size()) + 1);
  EXPECT_EQ(*table.Set(offset), zero);
  EXPECT_FALSE(table.Insert(&zero, 0));
  for (const std::uint64_t word : near)
    EXPECT_FALSE(table.Insert(&word, HashWords(&word, 1)));
  table.Clear();
  EXPECT_FALSE(table.Contains(&zero, 0));
  EXPECT_TRUE(table.Insert(&zero, 0));
}
