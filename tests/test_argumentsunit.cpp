#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "Argumentsunit.h"

TEST(WholeNumberProblem, TakesDecimalDigitsUpToTheHighest) {
  struct Case {
    const char* text;
    std::uint64_t highest;
    bool taken;
  };
  constexpr std::uint64_t Int32Max = std::numeric_limits<std::int32_t>::max();
  constexpr std::uint64_t Uint64Max = std::numeric_limits<std::uint64_t>::max();
  const Case cases[] = {
      {"0", Int32Max, true},
      {"7", Int32Max, true},
      {"007", Int32Max, true},
      {"2147483647", Int32Max, true},
      {"2147483648", Int32Max, false},
      {"99999999999999999999999", Int32Max, false},
      {"18446744073709551615", Uint64Max, true},
      {"18446744073709551616", Uint64Max, false},
      {"184467440737095516150", Uint64Max, false},
      {"-1", Int32Max, false},
      {"+1", Int32Max, false},
      {" 1", Int32Max, false},
      {"1 ", Int32Max, false},
      {"1.5", Int32Max, false},
      {"1e3", Int32Max, false},
      {"0x10", Int32Max, false},
      {"abc", Int32Max, false},
      {"", Int32Max, false},
  };
  for (const auto& c : cases) {
    const std::string problem = WholeNumberProblem(c.text, c.highest);
    if (c.taken) {
      EXPECT_EQ(problem, "") << c.text;
    } else {
      EXPECT_EQ(problem,
                "expected a whole number from 0 to " + std::to_string(c.highest) + ", got '" + c.text + "'");
    }
  }
}

TEST(DensityProblem, NamesTheRange) {
  EXPECT_EQ(DensityProblem("25"), "");
  EXPECT_EQ(DensityProblem("101"), "expected a number from 0 to 100, got '101'");
  EXPECT_EQ(DensityProblem("nan"), "expected a number from 0 to 100, got 'nan'");
}
