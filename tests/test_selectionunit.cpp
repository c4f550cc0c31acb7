#include <gtest/gtest.h>

#include "Selectionunit.h"

TEST(Selectionunit, ParsesResultLines) {
  const std::pair<const char*, TResultLine> cases[] = {
      {"1 : 1,2,3,4", {{1}, {1, 2, 3, 4}}},
      {"1,2 : 3,4", {{1, 2}, {3, 4}}},
      {"1,2 : ", {{1, 2}, {}}},
      {"10,200 : 3000", {{10, 200}, {3000}}},
      {"2147483647 : 1", {{2147483647}, {1}}},
  };
  for (const auto& [line, parsed] : cases)
    EXPECT_EQ(ParseResultLine(line), parsed) << line;
}

TEST(Selectionunit, RefusesWhatIsNotAResultLine) {
  const char* cases[] = {"",      " : 1",           "1 :",      "1: 2",   "1 :2",   "1 : 2 : 3",
                         "a : 1", "1,,2 : 3",       "1, 2 : 3", "1 : 2,", ",1 : 2", "0 : 1",
                         "1 : 0", "2147483648 : 1", "1 : 2\n",  "-1 : 2"};
  for (const char* line : cases)
    EXPECT_EQ(ParseResultLine(line), std::nullopt) << line;
}

TEST(Selectionunit, BlockOrderPutsTheChosenFirst) {
  struct TOrderCase {
    std::int32_t Count;
    std::vector<std::int32_t> Chosen;
    std::vector<std::int32_t> Order;
  };
  const TOrderCase cases[] = {
      {4, {}, {0, 1, 2, 3}},
      {4, {2, 4}, {1, 3, 0, 2}},
      {4, {4, 2, 2}, {1, 3, 0, 2}}, // unsorted and repeated
      {3, {0, 3, 7}, {2, 0, 1}},    // outside 1..3 ignored
      {0, {1}, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BlockOrder(c.Count, c.Chosen), c.Order) << testing::PrintToString(c.Chosen);
}

namespace {

// A picture as text, one character per cell: ".", "#", "-", "+", "X" for
// Zero, One, MarkedZero, MarkedOne, Chosen; rows joined by "/".
std::string Drawn(const std::vector<TCell>& cells, std::int32_t columns) {
  std::string text;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i != 0 && i % static_cast<std::size_t>(columns) == 0) text += '/';
    text += ".#-+X"[static_cast<int>(cells[i])];
  }
  return text;
}

} // namespace

TEST(Selectionunit, PictureMarksTheChosenRowsAndColumns) {
  // The worked example's middle biclique: sources 1 and 2, targets 3 and 4.
  const std::vector<std::string> matrix = {"11110", "00111"};
  const TResultLine chosen = {{1, 2}, {3, 4}};
  EXPECT_EQ(Drawn(PictureCells(matrix, 5, chosen, false), 5), "++XX-/--XX+");
  EXPECT_EQ(Drawn(PictureCells(matrix, 5, {}, false), 5), "####./..###");

  // Target 5 alone with source 2: the block moves it to the top left.
  const TResultLine corner = {{2}, {5}};
  EXPECT_EQ(Drawn(PictureCells(matrix, 5, corner, false), 5), "####-/--++X");
  EXPECT_EQ(Drawn(PictureCells(matrix, 5, corner, true), 5), "X--++/-####");
}

TEST(Selectionunit, PictureReadsShortRowsAsZerosAndIgnoresUnknownNumbers) {
  const std::vector<std::string> matrix = {"1", "101"};
  EXPECT_EQ(Drawn(PictureCells(matrix, 3, {{2, 9}, {3, 4}}, false), 3), "#.-/+-X");
  EXPECT_TRUE(PictureCells({}, 3, {{1}, {1}}, true).empty());
}
