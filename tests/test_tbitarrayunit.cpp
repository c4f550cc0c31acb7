#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "Tbitarrayunit.h"

namespace {

const std::int32_t Sizes[] = {0, 1, 7, 8, 9, 16, 17, 63, 64, 65};

// A random array of `size` bits, spare bits 0.
void Randomise(TBitArray& array, std::mt19937& random) {
  for (std::int32_t i = 0; i < array.Size; ++i)
    array.Set(i, random() % 2 == 1);
}

std::vector<std::uint8_t> BytesOf(std::initializer_list<int> values) {
  std::vector<std::uint8_t> bytes;
  for (const int v : values)
    bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}

} // namespace

TEST(TBitArray, NewArrayHasZeroBytesForItsSizeAndTagMinusOne) {
  for (const std::int32_t size : Sizes) {
    const TBitArray array(size);
    EXPECT_EQ(array.Size, size);
    EXPECT_EQ(array.Tag, -1);
    EXPECT_EQ(array.Bytes, std::vector<std::uint8_t>(static_cast<std::size_t>((size + 7) / 8), 0)) << size;
  }
}

TEST(TBitArray, BitZeroIsTheMostSignificantBitOfByteZero) {
  TBitArray five(5);
  five.Set(0, true);
  EXPECT_EQ(five.Bytes, BytesOf({128}));
  five.Set(4, true);
  EXPECT_EQ(five.Bytes, BytesOf({136}));
  EXPECT_TRUE(five.Get(4));
  EXPECT_FALSE(five.Get(1));

  TBitArray ten(10);
  ten.Set(9, true);
  EXPECT_EQ(ten.Bytes, BytesOf({0, 64}));

  TBitArray eight(8);
  eight.SetAll();
  eight.Set(3, false);
  EXPECT_EQ(eight.Bytes, BytesOf({239}));
  eight.Set(3, true);
  EXPECT_EQ(eight.Bytes, BytesOf({255}));
}

TEST(TBitArray, SetAllFillsEveryByteSpareBitsIncluded) {
  for (const std::int32_t size : Sizes) {
    TBitArray array(size);
    array.SetAll();
    EXPECT_EQ(array.Bytes, std::vector<std::uint8_t>(array.Bytes.size(), 255)) << size;
    EXPECT_EQ(array.ToBinStr(), std::string(static_cast<std::size_t>(size), '1')) << size;
  }
}

TEST(TBitArray, AndAndCopyToActBitByBitAndKeepSizeAndTag) {
  std::mt19937 random(1);
  for (const std::int32_t size : Sizes) {
    for (int round = 0; round < 20; ++round) {
      TBitArray a(size), b(size), copy(size);
      Randomise(a, random);
      Randomise(b, random);
      copy.Tag = 42;
      a.CopyTo(&copy);
      EXPECT_EQ(copy.Tag, 42);
      EXPECT_EQ(copy.Size, size);
      copy.And(&b);
      for (std::int32_t i = 0; i < size; ++i) {
        EXPECT_EQ(copy.Get(i), a.Get(i) && b.Get(i)) << size << " bit " << i;
      }
    }
  }
}

TEST(TBitArray, AndCarriesSpareBits) {
  TBitArray full(5), other(5);
  full.SetAll();
  other.SetAll();
  full.And(&other);
  EXPECT_EQ(full.Bytes, BytesOf({255}));
}

TEST(TBitArray, CompareIsLexicographicFromBitZeroWithZeroFirst) {
  std::mt19937 random(2);
  for (const std::int32_t size : Sizes) {
    for (int round = 0; round < 50; ++round) {
      TBitArray a(size), b(size);
      Randomise(a, random);
      if (round % 3 == 0) {
        a.CopyTo(&b); // equal arrays and arrays differing late
        if (size > 0) b.Set(size - 1, !b.Get(size - 1));
      } else {
        Randomise(b, random);
      }
      const std::string sa = a.ToBinStr(), sb = b.ToBinStr();
      const int expected = sa < sb ? -1 : (sa > sb ? 1 : 0);
      EXPECT_EQ(a.Compare(&b), expected) << sa << " vs " << sb;
      EXPECT_EQ(b.Compare(&a), -expected) << sb << " vs " << sa;
      EXPECT_EQ(a.Compare(&a), 0);
    }
  }
}

TEST(TBitArray, CompareWorkedCases) {
  struct Case {
    const char* name;
    std::int32_t size;
    std::vector<std::uint8_t> a, b;
    int expected;
  };
  const Case cases[] = {
      {"short arrays compare only their bits", 5, BytesOf({176}), BytesOf({168}), 1},
      {"short arrays, swapped", 5, BytesOf({168}), BytesOf({176}), -1},
      {"short arrays ignore spare bits", 5, BytesOf({0b10110111}), BytesOf({0b10110000}), 0},
      {"whole byte", 8, BytesOf({128}), BytesOf({64}), 1},
      {"equal byte", 8, BytesOf({64}), BytesOf({64}), 0},
      {"second byte decides", 12, BytesOf({18, 48}), BytesOf({18, 32}), 1},
      {"first byte decides", 16, BytesOf({1, 0}), BytesOf({0, 255}), 1},
      {"size zero", 0, {}, {}, 0},
  };
  for (const auto& c : cases) {
    TBitArray a(c.size), b(c.size);
    a.Bytes = c.a;
    b.Bytes = c.b;
    EXPECT_EQ(a.Compare(&b), c.expected) << c.name;
  }
}

TEST(TBitArray, FromBinStrFillsGroupsOfEight) {
  struct Case {
    const char* name;
    std::int32_t size;
    std::string text;
    bool ok;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"five bits", 5, "10110", true, BytesOf({176})},
      {"two groups", 10, "1011000011", true, BytesOf({176, 192})},
      {"last bit of a byte", 8, "00000001", true, BytesOf({1})},
      {"one bit", 1, "1", true, BytesOf({128})},
      {"empty text converts nothing", 16, "", true, BytesOf({0, 0})},
      {"bad group stops the conversion", 16, "1021000011111111", false, BytesOf({16, 0})},
      {"blank resets the byte", 3, "1 1", false, BytesOf({32})},
      {"first group good, second bad", 16, "111111112", false, BytesOf({255, 0})},
  };
  for (const auto& c : cases) {
    TBitArray array(c.size);
    EXPECT_EQ(array.FromBinStr(c.text), c.ok) << c.name;
    EXPECT_EQ(array.Bytes, c.bytes) << c.name;
  }
}

TEST(TBitArray, TextFormsRoundTripAndListPositionsFromOne) {
  std::mt19937 random(3);
  for (const std::int32_t size : Sizes) {
    std::string text;
    for (std::int32_t i = 0; i < size; ++i)
      text += random() % 2 ? '1' : '0';
    TBitArray array(size);
    ASSERT_TRUE(array.FromBinStr(text));
    EXPECT_EQ(array.ToBinStr(), text);
    std::string positions;
    for (std::int32_t i = 0; i < size; ++i) {
      if (text[static_cast<std::size_t>(i)] != '1') continue;
      if (!positions.empty()) positions += ',';
      positions += std::to_string(i + 1);
    }
    EXPECT_EQ(array.ToPosList(), positions) << text;
  }
}

TEST(TBitArray, PositionListsOfWorkedArrays) {
  TBitArray twelve(12);
  twelve.Set(11, true);
  EXPECT_EQ(twelve.ToPosList(), "12");
  twelve.SetAll();
  EXPECT_EQ(twelve.ToPosList(), "1,2,3,4,5,6,7,8,9,10,11,12");
  TBitArray three(3);
  three.SetAll(); // spare bits set, but never shown
  EXPECT_EQ(three.ToBinStr(), "111");
  EXPECT_EQ(three.ToPosList(), "1,2,3");
  EXPECT_EQ(TBitArray(0).ToPosList(), "");
  EXPECT_EQ(TBitArray(20).ToPosList(), "");
}

TEST(TBitArray, FromBinStrTakesALongLine) {
  const std::string line(1'000'000, '1');
  TBitArray array(static_cast<std::int32_t>(line.size()));
  EXPECT_TRUE(array.FromBinStr(line));
  EXPECT_EQ(array.Bytes, std::vector<std::uint8_t>(line.size() / 8, 255));
}
