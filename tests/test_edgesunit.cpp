#include <gtest/gtest.h>

#include "Edgesunit.h"
#include "ReaderTesting.h"

namespace {

TMatrix Read(std::string_view text) { return ReadPieces(MakeEdgesReader, text, {}); }

using TIds = std::vector<std::int64_t>;
using TNames = std::vector<std::string>;

} // namespace

TEST(EdgesReader, ReadsOneEdgePerLine) {
  struct Case {
    const char* name;
    std::string text;
    TIds sourceIds, targetIds;
    TNames sourceNames, targetNames;
    TRows rows;
  };
  const Case cases[] = {
      {"numbers on both sides, repeated edge", "1 2\n1 3\n2 3\n1 2\n", {1, 2}, {2, 3}, {}, {}, {{0, 1}, {1}}},
      {"numbers in numeric order, not text order", "10 1\n9 1\n", {9, 10}, {1}, {}, {}, {{0}, {0}}},
      {"names in order of first appearance",
       "bob y\nalice x\nbob x\n",
       {},
       {},
       {"bob", "alice"},
       {"y", "x"},
       {{0, 1}, {1}}},
      {"one side numbers, the other names", "10 b\n2 a\n", {2, 10}, {}, {}, {"b", "a"}, {{1}, {0}}},
      {"comments, blank lines, extra columns, commas, tabs",
       "% bipartite\n  # note\n\n1,2,0.5\n 3\t4 1 1000\n1 , 4\n\t\n",
       {1, 3},
       {2, 4},
       {},
       {},
       {{0, 1}, {1}}},
      {"leading zeros: one vertex", "7 1\n007 2\n", {7}, {1, 2}, {}, {}, {{0, 1}}},
      {"a number too large makes the side names",
       "99999999999999999999 1\n5 1\n",
       {},
       {1},
       {"99999999999999999999", "5"},
       {},
       {{0}, {0}}},
      {"a sign makes the side names", "+1 1\n-1 1\n", {}, {1}, {"+1", "-1"}, {}, {{0}, {0}}},
      {"UTF-8 names", "caf\xC3\xA9 1\n", {}, {1}, {"caf\xC3\xA9"}, {}, {{0}}},
      {"comment with any bytes", std::string("% \xE9\0\n1 2", 8), {1}, {2}, {}, {}, {{0}}},
      {"no edges", "% nothing\n", {}, {}, {}, {}, {}},
  };
  for (const auto& c : cases) {
    const TMatrix matrix = Read(c.text);
    EXPECT_EQ(matrix.SourceIds, c.sourceIds) << c.name;
    EXPECT_EQ(matrix.TargetIds, c.targetIds) << c.name;
    EXPECT_EQ(matrix.SourceNames, c.sourceNames) << c.name;
    EXPECT_EQ(matrix.TargetNames, c.targetNames) << c.name;
    EXPECT_EQ(matrix.Sources, static_cast<std::int32_t>(c.rows.size())) << c.name;
    EXPECT_EQ(matrix.Targets, static_cast<std::int32_t>(c.targetIds.size() + c.targetNames.size())) << c.name;
    EXPECT_EQ(RowsOf(matrix), c.rows) << c.name;
    ExpectSameInPieces(MakeEdgesReader, c.text, c.name);
  }
}

TEST(EdgesReader, RefusesWithLineAndColumn) {
  struct Case {
    const char* name;
    std::string text;
    TRefusal refusal;
  };
  const Case cases[] = {
      {"one id", "1 2\n1\n", {2, 2, "line 2, column 2: expected a target id, found end of line"}},
      {"one id and blanks", "1  \n", {1, 4, "line 1, column 4: expected a target id, found end of line"}},
      {"no source", ",2\n", {1, 1, "line 1, column 1: expected a source id, found ','"}},
      {"empty field", "1,,2\n", {1, 3, "line 1, column 3: expected a target id, found ','"}},
      {"control byte", "1 2\n3\x01 4\n", {2, 2, "line 2, column 2: expected text, found '\\x01'"}},
      {"NUL", std::string("\0 1", 3), {1, 1, "line 1, column 1: expected text, found '\\x00'"}},
      {"not UTF-8",
       "a\xE9 b\n",
       {1, 2, "line 1, column 2: not UTF-8 text, found '\\xe9': save the file as UTF-8"}},
      {"a bad byte after the edge still counts",
       "1 2 \x02",
       {1, 5, "line 1, column 5: expected text, found '\\x02'"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RefusalOf([&] { Read(c.text); }), c.refusal) << c.name;
    ExpectSameInPieces(MakeEdgesReader, c.text, c.name);
  }
}
