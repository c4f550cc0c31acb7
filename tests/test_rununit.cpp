#include <gtest/gtest.h>

#include <random>

#include "BruteForce.h"
#include "Rununit.h"

using Lines = std::vector<std::string>;

TEST(SplitLines, AcceptsBothLineEndsAndNoTrailingRow) {
  struct Case {
    const char* name;
    std::string text;
    Lines lines;
  };
  const Case cases[] = {
      {"empty text", "", {}},
      {"one line, no break", "101", {"101"}},
      {"break after the last line adds no row", "101\n010\n", {"101", "010"}},
      {"CRLF", "101\r\n010\r\n", {"101", "010"}},
      {"mixed ends", "101\r\n010\n111", {"101", "010", "111"}},
      {"empty lines stay rows", "\n\n", {"", ""}},
      {"lone CR stays in the line", "10\r1\n", {"10\r1"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SplitLines(c.text), c.lines) << c.name;
}

TEST(CheckMatrix, RefusesWithLineAndColumn) {
  struct Case {
    const char* name;
    Lines lines;
    std::int64_t line, column;
    std::string message;
  };
  const Case cases[] = {
      {"bad character",
       {"11110", "00111", "0101x"},
       3,
       5,
       "line 3, column 5: expected '0' or '1', found 'x'"},
      {"short line", {"11110", "00111", "10101", "1010101"}, 4, 0, "line 4 has 7 characters, line 1 has 5"},
      {"empty line inside", {"10", "", "01"}, 2, 0, "line 2 has 0 characters, line 1 has 2"},
      {"blank", {"1 1"}, 1, 2, "line 1, column 2: expected '0' or '1', found ' '"},
      {"control byte shown in hex",
       {"01", "0\x01"},
       2,
       2,
       "line 2, column 2: expected '0' or '1', found '\\x01'"},
      {"non-ASCII byte", {"1\xc3\xa9"}, 1, 2, "line 1, column 2: expected '0' or '1', found '\\xc3'"},
      {"character before length", {"111", "2"}, 2, 1, "line 2, column 1: expected '0' or '1', found '2'"},
  };
  for (const auto& c : cases) {
    try {
      CheckMatrix(c.lines);
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const TInputError& error) {
      EXPECT_EQ(error.what(), c.message) << c.name;
      EXPECT_EQ(error.Line, c.line) << c.name;
      EXPECT_EQ(error.Column, c.column) << c.name;
    }
  }
}

TEST(RunLines, WorkedCasesGiveSortedLines) {
  struct Case {
    const char* name;
    Lines input;
    Lines output;
  };
  const Case cases[] = {
      {"worked example", {"11110", "00111"}, {"1 : 1,2,3,4", "1,2 : 3,4", "2 : 3,4,5"}},
      {"no common column", {"10", "01"}, {"1 : 1", "1,2 : ", "2 : 2"}},
      {"no lines", {}, {}},
      {"empty lines", {"", ""}, {"1,2 : "}},
      {"numbers sort as text",
       {"111", "001", "000", "000", "000", "000", "000", "000", "000", "010", "000", "100"},
       {"1 : 1,2,3", "1,10 : 2", "1,12 : 1", "1,2 : 3", "1,2,3,4,5,6,7,8,9,10,11,12 : "}},
  };
  for (const auto& c : cases) {
    const TRunResult result = RunLines(c.input);
    EXPECT_EQ(SplitLines(result.Text), c.output) << c.name;
    EXPECT_EQ(result.Count, static_cast<std::int32_t>(c.output.size())) << c.name;
  }
}

TEST(RunLines, ReportsSizePassesAndKeepsTheEngine) {
  const TRunResult result = RunLines({"11110", "00111"});
  EXPECT_EQ(result.Sources, 2);
  EXPECT_EQ(result.Targets, 5);
  EXPECT_EQ(result.Passes, 2);
  ASSERT_NE(result.Engine, nullptr);
  EXPECT_EQ(result.Engine->Results->ItemCount(), 3);
}

TEST(RunLines, RefusesBadInputBeforeBuildingAnEngine) {
  EXPECT_THROW(RunLines({"101", "10"}), TInputError);
  EXPECT_THROW(RunLines({"1a1"}), TInputError);
}

TEST(RunLines, MatchesEveryIntersectionOfRowsOnRandomMatrices) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    const std::size_t rows = random() % 15;
    const std::size_t columns = random() % 71;
    const auto matrix = bruteforce::RandomMatrix(random, rows, columns);
    ASSERT_EQ(SplitLines(RunLines(matrix).Text), bruteforce::ResultLines(matrix)) << "round " << round;
  }
}
