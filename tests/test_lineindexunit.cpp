#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Lineindexunit.h"
#include "Rununit.h"

namespace {

std::vector<std::string> IndexedLines(std::string_view text, const TLineIndex& index) {
  std::vector<std::string> lines;
  for (std::int64_t i = 0; i < index.Count(); ++i)
    lines.emplace_back(index.Line(text, i));
  return lines;
}

} // namespace

// The index must cut the text as SplitLines does (apart from "\r", which
// result text never holds).
TEST(Lineindexunit, CutsTheLinesAsSplitLinesDoes) {
  const char* cases[] = {"", "\n", "\n\n", "a", "a\n", "a\nbc", "a\nbc\n", "\nx\n\ny"};
  for (const std::string_view text : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)));
    const TLineIndex index(text);
    EXPECT_EQ(IndexedLines(text, index), SplitLines(text));
  }
}

TEST(Lineindexunit, KnowsTheLongestLine) {
  const std::pair<const char*, std::size_t> cases[] = {
      {"", 0}, {"\n", 0}, {"abc\nd\n", 3}, {"a\nbcde", 4}, {"ab\nabcde\nabc\n", 5}};
  for (const auto& [text, longest] : cases)
    EXPECT_EQ(TLineIndex(text).MaxLength(), longest) << text;
}

TEST(Lineindexunit, LineAtCountsTheBreakWithItsLine) {
  const std::string text = "ab\n\ncde\n";
  const TLineIndex index(text);
  const std::int64_t lineOfByte[] = {0, 0, 0, 1, 2, 2, 2, 2};
  for (std::size_t offset = 0; offset < text.size(); ++offset)
    EXPECT_EQ(index.LineAt(offset), lineOfByte[offset]) << offset;
}

TEST(Lineindexunit, FindGoesOnFromTheTopAfterTheLastLine) {
  const std::string text = "1 : 1,2\n1,2 : 2\n2 : 2,3\n3 : 12\n";
  const TLineIndex index(text);
  struct TFindCase {
    const char* Needle;
    std::int64_t From;
    std::int64_t Found;
  };
  const TFindCase cases[] = {
      {"1,2", 0, 0},  {"1,2", 1, 1},    {"1,2", 2, 0}, // wraps to the top
      {"2 : ", 0, 1}, {"2 : ", 2, 2},   {"12", 0, 3},
      {"12", 3, 3},   {"9", 0, -1},     {"2\n2", 0, -1}, // a match may not span a break
      {"", 2, 2},     {"3 : 12", 3, 3},
  };
  for (const auto& c : cases)
    EXPECT_EQ(index.Find(text, c.Needle, c.From), c.Found) << c.Needle << " from " << c.From;
  EXPECT_EQ(TLineIndex("").Find("", "1", 0), -1);
}
