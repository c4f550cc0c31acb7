#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "Fimiunit.h"
#include "ReaderTesting.h"

namespace {

TMatrix Read(std::string_view text) { return ReadPieces(MakeFimiReader, text, {}); }

} // namespace

TEST(FimiReader, ReadsTargetNumbersPerLine) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::int64_t> targetIds;
    TRows rows;
  };
  const Case cases[] = {
      {"any order, repeats once, empty line, trailing blank, CRLF",
       "1 3 2\n\n5 5 1 \r\n",
       {1, 2, 3, 5},
       {{0, 1, 2}, {}, {0, 3}}},
      {"zero is a number", "0\n", {0}, {{0}}},
      {"tabs and runs of blanks", " \t4\t\t2  \n2", {2, 4}, {{0, 1}, {0}}},
      {"leading zeros are the same number", "007 7 07\n", {7}, {{0}}},
      {"no lines", "", {}, {}},
      {"only empty lines", "\n\n", {}, {{}, {}}},
      {"largest number", "9223372036854775807 0\n", {0, INT64_MAX}, {{0, 1}}},
      {"numbers far apart", "1000000000000 3\n3\n", {3, 1000000000000}, {{0, 1}, {0}}},
  };
  for (const auto& c : cases) {
    const TMatrix matrix = Read(c.text);
    EXPECT_EQ(matrix.Sources, static_cast<std::int32_t>(c.rows.size())) << c.name;
    EXPECT_EQ(matrix.Targets, static_cast<std::int32_t>(c.targetIds.size())) << c.name;
    EXPECT_EQ(matrix.TargetIds, c.targetIds) << c.name;
    EXPECT_TRUE(matrix.SourceIds.empty()) << c.name;
    EXPECT_EQ(RowsOf(matrix), c.rows) << c.name;
    ExpectSameInPieces(MakeFimiReader, c.text, c.name);
  }
}

// Shifting every number changes the ids shown, not the rows; a large shift
// takes the sorted path instead of the table.
TEST(FimiReader, ShiftedNumbersGiveTheSameRows) {
  std::mt19937 random(3);
  for (int round = 0; round < 20; ++round) {
    std::string small, large;
    for (int line = 0; line < 30; ++line) {
      const int count = static_cast<int>(random() % 6);
      for (int k = 0; k < count; ++k) {
        const std::int64_t id = static_cast<std::int64_t>(random() % 40);
        small += std::to_string(id) + " ";
        large += std::to_string(id + 5'000'000'000'000) + " ";
      }
      small += "\n";
      large += "\n";
    }
    const TMatrix a = Read(small), b = Read(large);
    EXPECT_EQ(RowsOf(a), RowsOf(b));
    ASSERT_EQ(a.TargetIds.size(), b.TargetIds.size());
    for (std::size_t t = 0; t < a.TargetIds.size(); ++t) {
      EXPECT_EQ(b.TargetIds[t], a.TargetIds[t] + 5'000'000'000'000);
      if (t > 0) {
        EXPECT_LT(a.TargetIds[t - 1], a.TargetIds[t]);
      }
    }
  }
}

TEST(FimiReader, RefusesWithLineAndColumn) {
  struct Case {
    const char* name;
    std::string text;
    TRefusal refusal;
  };
  const Case cases[] = {
      {"letter", "1 2\n1 2x\n", {2, 4, "line 2, column 4: expected a target number, found 'x'"}},
      {"negative", "-1\n", {1, 1, "line 1, column 1: expected a target number, found '-'"}},
      {"comma", "1,2", {1, 2, "line 1, column 2: expected a target number, found ','"}},
      {"NUL", std::string("\0", 1), {1, 1, "line 1, column 1: expected a target number, found '\\x00'"}},
      {"UTF-8 character",
       "3 \xC3\xA9",
       {1, 3, "line 1, column 3: expected a target number, found '\xC3\xA9'"}},
      {"lone CR at the end", "1 2\r", {1, 4, "line 1, column 4: expected a target number, found '\\r'"}},
      {"too large",
       "1\n2 9223372036854775808\n",
       {2, 3, "line 2, column 3: target number too large: 9223372036854775808"}},
      {"too large, shown shortened",
       "1 " + std::string(50, '9'),
       {1, 3, "line 1, column 3: target number too large: " + std::string(40, '9') + "..."}},
      {"a character before a large number wins",
       "99999999999999999999 x",
       {1, 22, "line 1, column 22: expected a target number, found 'x'"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RefusalOf([&] { Read(c.text); }), c.refusal) << c.name;
    ExpectSameInPieces(MakeFimiReader, c.text, c.name);
  }
}
