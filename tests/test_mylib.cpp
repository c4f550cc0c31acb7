#include <gtest/gtest.h>

#include "Mylib.h"

TEST(Mylib, ByteBitsCountFromTheMostSignificantEnd) {
  EXPECT_EQ(GetByteBit(0, 128), 1);
  EXPECT_EQ(GetByteBit(7, 1), 1);
  EXPECT_EQ(GetByteBit(7, 128), 0);
  EXPECT_EQ(GetByteBit(3, 16), 1);

  std::uint8_t b = 0;
  SetByteBit(2, true, &b);
  EXPECT_EQ(b, 32);
  b = 255;
  SetByteBit(2, false, &b);
  EXPECT_EQ(b, 223);
}

TEST(Mylib, SetByteBitChangesOnlyItsBit) {
  for (int start = 0; start < 256; ++start) {
    for (int bit = 0; bit < 8; ++bit) {
      for (const bool value : {false, true}) {
        auto b = static_cast<std::uint8_t>(start);
        SetByteBit(bit, value, &b);
        const int mask = 128 >> bit;
        EXPECT_EQ(b & ~mask & 0xff, start & ~mask & 0xff);
        EXPECT_EQ(GetByteBit(bit, b), value ? 1 : 0);
      }
    }
  }
}

TEST(Mylib, LongToStrIsPlainDecimal) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "0"}, {1, "1"}, {-1, "-1"}, {2147483647, "2147483647"}, {INT32_MIN, "-2147483648"}};
  for (const auto& [value, text] : cases)
    EXPECT_EQ(LongToStr(value), text);
}

TEST(Mylib, ByteToBinStrAndBackRoundTripEveryByte) {
  EXPECT_EQ(ByteToBinStr(5), "00000101");
  EXPECT_EQ(ByteToBinStr(160), "10100000");
  for (int b = 0; b < 256; ++b) {
    const std::string text = ByteToBinStr(static_cast<std::uint8_t>(b));
    ASSERT_EQ(text.size(), 8u);
    std::uint8_t back = 0;
    EXPECT_TRUE(BinStrToByte(text, back));
    EXPECT_EQ(back, b);
  }
}

TEST(Mylib, BinStrToByteFillsFromTheTopAndReportsBadText) {
  struct Case {
    const char* name;
    std::string text;
    bool ok;
    int value;
  };
  const Case cases[] = {
      {"one digit is the top bit", "1", true, 128},
      {"short text padded low", "101", true, 160},
      {"second bit", "01", true, 64},
      {"full byte", "00000101", true, 5},
      {"seven zeros", "0000000", true, 0},
      {"empty", "", true, 0},
      {"bad character resets, walk goes on", "1x1", false, 32},
      {"bad last character", "11111112", false, 0},
      {"lone bad character", "2", false, 0},
      {"line end is bad", "1\r", false, 0},
  };
  for (const auto& c : cases) {
    std::uint8_t value = 77;
    EXPECT_EQ(BinStrToByte(c.text, value), c.ok) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
  }
}

TEST(Mylib, BinStrToByteLeavesTheByteAloneForMoreThanEightCharacters) {
  std::uint8_t value = 77;
  EXPECT_FALSE(BinStrToByte("101010101", value));
  EXPECT_EQ(value, 77);
}
