#include <gtest/gtest.h>

#include <clocale>

#include "Generateunit.h"

TEST(ParseDensity, ReadsLikeAtofInTheCLocale) {
  struct Case {
    const char* text;
    float density;
  };
  const Case cases[] = {{"25", 25.0f},  {"", 0.0f},      {"abc", 0.0f},   {"%", 0.0f},
                        {"25%", 25.0f}, {" 30", 30.0f},  {"12,5", 12.0f}, {"1e1", 10.0f},
                        {"-5", -5.0f},  {"12.5", 12.5f}, {"0.1", 0.1f}};
  for (const auto& c : cases)
    EXPECT_EQ(ParseDensity(c.text), c.density) << c.text;
}

TEST(ParseDensity, IgnoresTheProcessLocale) {
  // A locale whose decimal separator is ',' must not turn "12,5" into 12.5.
  const char* chosen = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_EQ(ParseDensity("12,5"), 12.0f);
  EXPECT_EQ(ParseDensity("12.5"), 12.5f);
  std::setlocale(LC_NUMERIC, "C");
  if (chosen == nullptr) GTEST_SKIP() << "no de_DE locale here; the C locale part passed";
}

TEST(DensityInRange, TakesANumberFrom0To100ReadAsParseDensityReadsIt) {
  struct Case {
    const char* text;
    bool taken;
  };
  const Case cases[] = {{"0", true},    {"100", true},   {"25", true},       {"12,5abc", true},
                        {" 30", true},  {"1e1", true},   {"0.1", true},      {"100.0001", false},
                        {"101", false}, {"-1", false},   {"-0.0001", false}, {"nan", false},
                        {"inf", false}, {"-inf", false}, {"1e400", false},   {"abc", false},
                        {"", false},    {"%", false},    {"-", false}};
  for (const auto& c : cases) {
    const std::optional<float> density = DensityInRange(c.text);
    EXPECT_EQ(density.has_value(), c.taken) << c.text;
    if (density) {
      EXPECT_EQ(*density, ParseDensity(c.text)) << c.text;
    }
  }
}

TEST(CellIsEdge, DensityIsTheShareOfDrawsThatGiveOne) {
  struct Case {
    float density;
    int ones; // of the remainders 0..999999
  };
  // At 25 % exactly the remainders 0..250000 give "1".
  const Case cases[] = {{25.0f, 250001}, {0.0f, 1}, {100.0f, 1000000}, {-5.0f, 0}, {50.0f, 500001}};
  for (const auto& c : cases) {
    int ones = 0;
    for (std::int64_t r = 0; r < 1000000; ++r)
      ones += CellIsEdge(r, c.density) ? 1 : 0;
    EXPECT_EQ(ones, c.ones) << c.density;
  }
  EXPECT_TRUE(CellIsEdge(250000 + 3 * 1000000, 25.0f)); // only the remainder counts
  EXPECT_FALSE(CellIsEdge(250001, 25.0f));
}

TEST(GenerateMatrix, ShapesAndSequence) {
  TRandomSource random;
  const auto matrix = GenerateMatrix(10, 10, 25.0f, random);
  ASSERT_EQ(matrix.size(), 10u);
  for (const auto& row : matrix) {
    EXPECT_EQ(row.size(), 10u);
    EXPECT_EQ(row.find_first_not_of("01"), std::string::npos);
  }
  // A fresh source repeats the first matrix; the used one continues its sequence.
  TRandomSource fresh;
  EXPECT_EQ(GenerateMatrix(10, 10, 25.0f, fresh), matrix);
  EXPECT_NE(GenerateMatrix(10, 10, 25.0f, random), matrix);

  EXPECT_TRUE(GenerateMatrix(0, 5, 25.0f, random).empty());
  EXPECT_TRUE(GenerateMatrix(-3, 5, 25.0f, random).empty());
  EXPECT_EQ(GenerateMatrix(3, -1, 25.0f, random), (std::vector<std::string>{"", "", ""}));
  for (const auto& row : GenerateMatrix(5, 40, 100.0f, random))
    EXPECT_EQ(row, std::string(40, '1'));
  for (const auto& row : GenerateMatrix(5, 40, -5.0f, random))
    EXPECT_EQ(row, std::string(40, '0'));
}

TEST(GenerateMatrix, SeedsGiveTheirOwnSequences) {
  TRandomSource a(1), b(1), c(2);
  const auto first = GenerateMatrix(20, 20, 50.0f, a);
  EXPECT_EQ(GenerateMatrix(20, 20, 50.0f, b), first);
  EXPECT_NE(GenerateMatrix(20, 20, 50.0f, c), first);
}
