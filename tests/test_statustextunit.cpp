#include <gtest/gtest.h>

#include <limits>

#include "Statustextunit.h"

using namespace std::chrono;

TEST(Statustextunit, GroupsDigitsByThree) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "0"},          {999, "999"},
      {1000, "1,000"},   {3104221, "3,104,221"},
      {-1000, "-1,000"}, {std::numeric_limits<std::int64_t>::min(), "-9,223,372,036,854,775,808"},
  };
  for (const auto& [number, text] : cases)
    EXPECT_EQ(GroupedNumber(number), text);
}

TEST(Statustextunit, RunningTextShowsPhasePassSetsAndTime) {
  const TProgress enumerating{TPhase::Enumerating, 3, 120000};
  const TProgress formatting{TPhase::Formatting, 0, 7};
  const TProgress reading{TPhase::Reading, 0, 0};
  EXPECT_EQ(RunningText(nullptr, milliseconds(2250)), "Running 0:00:02.250");
  EXPECT_EQ(RunningText(&enumerating, seconds(2)), "Enumerating: pass 3, 120,000 sets, 0:00:02.000");
  EXPECT_EQ(RunningText(&formatting, seconds(61)), "Formatting: 0 % of 7 lines, 0:01:01.000");
  EXPECT_EQ(RunningText(&reading, {}), "Reading: 0 sets, 0:00:00.000");
}

TEST(Statustextunit, FormattingShowsTheFractionOfLinesDone) {
  const struct {
    std::int32_t Pass;
    std::int64_t Sets, Formatted;
    const char* Text;
  } cases[] = {
      {0, 7, 3, "Formatting: 42 % of 7 lines, 0:00:01.000"},
      {0, 7, 7, "Formatting: 100 % of 7 lines, 0:00:01.000"},
      {0, 7'000'000, 6'999'999, "Formatting: 99 % of 7,000,000 lines, 0:00:01.000"}, // not rounded up
      {0, 0, 0, "Formatting: 100 % of 0 lines, 0:00:01.000"},                        // nothing to format
      {5, 10, 1, "Formatting: 10 % of 10 lines, 0:00:01.000"}, // the consensus pass is over
      {0, 3'000'000'000'000, 1'500'000'000'000, "Formatting: 50 % of 3,000,000,000,000 lines, 0:00:01.000"},
  };
  for (const auto& c : cases) {
    const TProgress formatting{TPhase::Formatting, c.Pass, c.Sets, c.Formatted};
    EXPECT_EQ(RunningText(&formatting, seconds(1)), c.Text);
  }
}

TEST(Statustextunit, DoneTextShowsCountAndBothTimes) {
  EXPECT_EQ(DoneText(3104221, milliseconds(1210), milliseconds(2640)),
            "3,104,221 bicliques; enumeration 0:00:01.210, total 0:00:02.640");
  EXPECT_EQ(DoneText(1, {}, milliseconds(5)), "1 biclique; enumeration 0:00:00.000, total 0:00:00.005");
  EXPECT_EQ(DoneText(0, {}, {}), "0 bicliques; enumeration 0:00:00.000, total 0:00:00.000");
}
