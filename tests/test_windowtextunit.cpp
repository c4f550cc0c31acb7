#include <gtest/gtest.h>

#include "Rununit.h"
#include "Windowtextunit.h"

using namespace std::chrono;

TEST(Windowtextunit, JoinLinesPutsBreaksOnlyBetweenLines) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, ""},         {{"11110"}, "11110"}, {{"11110", "00111"}, "11110\n00111"},
      {{"", ""}, "\n"}, {{"1", ""}, "1\n"},
  };
  for (const auto& [lines, text] : cases)
    EXPECT_EQ(JoinLines(lines), text);
}

TEST(Windowtextunit, JoinedLinesSplitBackIntoTheSameRows) {
  const std::vector<std::string> rows = {"1 : 1,2,3,4", "1,2 : ", "2 : 3,4,5"};
  EXPECT_EQ(SplitLines(JoinLines(rows)), rows);
}

TEST(Windowtextunit, ElapsedTextShowsHoursMinutesSecondsAndMilliseconds) {
  const std::pair<steady_clock::duration, const char*> cases[] = {
      {steady_clock::duration::zero(), "0:00:00.000"},
      {milliseconds(42), "0:00:00.042"},
      {microseconds(42999), "0:00:00.042"}, // truncated, not rounded
      {seconds(59) + milliseconds(999), "0:00:59.999"},
      {minutes(1), "0:01:00.000"},
      {hours(1) + minutes(2) + seconds(3) + milliseconds(4), "1:02:03.004"},
      {hours(25), "25:00:00.000"},
  };
  for (const auto& [elapsed, text] : cases)
    EXPECT_EQ(ElapsedText(elapsed), text);
}

TEST(Windowtextunit, FileTextEndsEveryLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"11110", "11110\n"},
      {"11110\n00111", "11110\n00111\n"},
      {"a\n", "a\n\n"}, // the pane's empty last line is kept
  };
  for (const auto& [pane, file] : cases)
    EXPECT_EQ(PaneToFileText(pane), file);
}

TEST(Windowtextunit, FileTextReadsBothLineEnds) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"\n", ""},
      {"11110\r\n00111\r\n", "11110\n00111"},
      {"11110\n00111", "11110\n00111"},
      {"a\r\r\nb", "a\r\nb"}, // only the "\r" of "\r\n" goes
      {"a\n\n", "a\n"},
  };
  for (const auto& [file, pane] : cases)
    EXPECT_EQ(FileToPaneText(file), pane);
}

TEST(Windowtextunit, PaneTextSurvivesAFileRoundTrip) {
  for (const char* pane : {"", "11110\n00111", "a\n", "\n\n", " 1 : 2 "})
    EXPECT_EQ(FileToPaneText(PaneToFileText(pane)), pane);
}
