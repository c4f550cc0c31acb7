#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "Platformunit.h"
#include "Tbitarrayunit.h"
#include "Wordsetunit.h"

namespace {

constexpr std::int32_t Sizes[] = {0, 1, 63, 64, 65, 127, 128, 129};

// The bits of a random set of `size` bits as the bit array holds them.
TBitArray* RandomArray(std::int32_t size, std::mt19937& random) {
  auto* array = new TBitArray(size);
  for (std::int32_t i = 0; i < size; ++i)
    array->Set(i, random() % 3 == 0);
  return array;
}

} // namespace

TEST(Wordsetunit, WordCountAndLastWordMaskAtWordEdges) {
  const std::int32_t counts[] = {0, 1, 1, 1, 2, 2, 2, 3};
  for (std::size_t k = 0; k < std::size(Sizes); ++k)
    EXPECT_EQ(WordCount(Sizes[k]), counts[k]) << Sizes[k];
  EXPECT_EQ(LastWordMask(1), std::uint64_t{1} << 63);
  EXPECT_EQ(LastWordMask(63), ~std::uint64_t{1});
  EXPECT_EQ(LastWordMask(64), ~std::uint64_t{0});
  EXPECT_EQ(LastWordMask(65), std::uint64_t{1} << 63);
}

// Packing keeps every bit where Get sees it, set-bit walks and counts agree
// with Get, unpacking gives the bytes back, and word order is Compare's.
TEST(Wordsetunit, PackedSetsAgreeWithTheBitArray) {
  std::mt19937 random(1);
  for (const std::int32_t size : Sizes) {
    for (int round = 0; round < 20; ++round) {
      TBitArray* a = RandomArray(size, random);
      TBitArray* b = RandomArray(size, random);
      const std::int32_t words = std::max(1, WordCount(size));
      std::vector<std::uint64_t> wa(static_cast<std::size_t>(words)), wb(wa.size());
      PackBytes(a, wa.data(), words);
      PackBytes(b, wb.data(), words);

      std::vector<std::int32_t> walked;
      ForEachBit(wa.data(), WordCount(size), [&](std::int32_t i) { walked.push_back(i); });
      std::vector<std::int32_t> expected;
      for (std::int32_t i = 0; i < size; ++i) {
        EXPECT_EQ(HasBit(wa.data(), i), a->Get(i)) << size << " bit " << i;
        if (a->Get(i)) expected.push_back(i);
      }
      EXPECT_EQ(walked, expected) << size;
      EXPECT_EQ(CountBits(wa.data(), WordCount(size)), static_cast<std::int32_t>(expected.size()));
      EXPECT_EQ(CompareWords(wa.data(), wb.data(), words), a->Compare(b)) << size;
      EXPECT_EQ(HashWords(wa.data(), words) == HashWords(wb.data(), words), a->Compare(b) == 0) << size;

      TBitArray back(size);
      UnpackWords(wa.data(), &back);
      EXPECT_EQ(back.Bytes, a->Bytes) << size;
      delete a;
      delete b;
    }
  }
}

TEST(Platformunit, BitGatherMatchesItsPlainForm) {
  std::mt19937_64 random(3);
  for (int round = 0; round < 1000; ++round) {
    const std::uint64_t value = random();
    const std::uint64_t mask = random() & random();
    EXPECT_EQ(GatherBitsPlain(value, mask),
              HasBitGather() ? GatherBits(value, mask) : GatherBitsPlain(value, mask));
  }
  EXPECT_EQ(GatherBitsPlain(0b1011'0000, 0b1111'0000), 0b1011u);
  EXPECT_EQ(GatherBitsPlain(~std::uint64_t{0}, ~std::uint64_t{0}), ~std::uint64_t{0});
  EXPECT_EQ(ByteSwap(0x0102030405060708ull), 0x0807060504030201ull);
}
