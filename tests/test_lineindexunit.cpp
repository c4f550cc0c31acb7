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

// A number in the needle matches only a whole number of the line; text
// around it matches as it is.
TEST(Lineindexunit, LineMatchesWholeNumbersOrTheWholeLine) {
  struct TMatchCase {
    const char* Line;
    const char* Needle;
    TFindMode Mode;
    bool Matches;
  };
  const TMatchCase cases[] = {
      {"19,37,40 : 2", "9,37,40", TFindMode::Numbers, false}, // a longer number before
      {"9,37,40 : 2", "9,37,40", TFindMode::Numbers, true},   // at the start
      {"1,9,37,40 : 2", "9,37,40", TFindMode::Numbers, true}, // after a comma
      {"9,37,401 : 2", "9,37,40", TFindMode::Numbers, false}, // a longer number after
      {"9,37,401 : 2", "9,37,", TFindMode::Numbers, true},    // the needle ends in a comma
      {"19,37,40 : 2", ",37,", TFindMode::Numbers, true},     // no digit at either end
      {"19,37,40 : 2", "19,37,40 :", TFindMode::Numbers, true},
      {"1,2 : 12", "2", TFindMode::Numbers, true}, // the second number
      {"1,2 : 12", "1", TFindMode::Numbers, true},
      {"11,22 : 12", "1", TFindMode::Numbers, false},
      {"1,2 : 3", "", TFindMode::Numbers, true},
      {"1,2 : 3", "1,2 : 3", TFindMode::WholeLine, true},
      {"1,2 : 3", "1,2 : ", TFindMode::WholeLine, false},
      {"1,2 : 34", "1,2 : 3", TFindMode::WholeLine, false},
      {"", "", TFindMode::WholeLine, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LineMatches(c.Line, c.Needle, c.Mode), c.Matches)
        << '"' << c.Needle << "\" in \"" << c.Line << '"'
        << (c.Mode == TFindMode::WholeLine ? " (line)" : "");
}

// Find must pick the same line as a search line by line with LineMatches,
// from every start, at the text's ends and across breaks.
TEST(Lineindexunit, FindAgreesWithLineMatchesFromEveryLine) {
  const std::string text = "19,37,40 : 2\n9,37,40 : 2,3\n1 : 9\n\n9,37,40 : 2\n9\n";
  const TLineIndex index(text);
  const std::vector<std::string> lines = SplitLines(text);
  const std::pair<const char*, TFindMode> needles[] = {
      {"9,37,40", TFindMode::Numbers},    {"9,37,40 : 2", TFindMode::WholeLine},
      {"9", TFindMode::Numbers},          {"9", TFindMode::WholeLine},
      {"", TFindMode::WholeLine},         {"2", TFindMode::Numbers},
      {"40 : 2", TFindMode::Numbers},     {"7", TFindMode::Numbers},
      {"37,40 : 2,3", TFindMode::Numbers}};
  for (const auto& [needle, mode] : needles)
    for (std::int64_t from = 0; from < index.Count(); ++from) {
      std::int64_t expected = -1;
      for (std::int64_t step = 0; step < index.Count() && expected < 0; ++step) {
        const std::int64_t line = (from + step) % index.Count();
        if (LineMatches(lines[static_cast<std::size_t>(line)], needle, mode)) expected = line;
      }
      EXPECT_EQ(index.Find(text, needle, from, mode), expected)
          << '"' << needle << "\" from " << from << (mode == TFindMode::WholeLine ? " (line)" : "");
    }
}
