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
  EXPECT_EQ(RunningText(&formatting, seconds(61)), "Formatting: 7 sets, 0:01:01.000");
  EXPECT_EQ(RunningText(&reading, {}), "Reading: 0 sets, 0:00:00.000");
}

TEST(Statustextunit, DoneTextShowsCountAndBothTimes) {
  EXPECT_EQ(DoneText(3104221, milliseconds(1210), milliseconds(2640)),
            "3,104,221 bicliques; enumeration 0:00:01.210, total 0:00:02.640");
  EXPECT_EQ(DoneText(1, {}, milliseconds(5)), "1 biclique; enumeration 0:00:00.000, total 0:00:00.005");
  EXPECT_EQ(DoneText(0, {}, {}), "0 bicliques; enumeration 0:00:00.000, total 0:00:00.000");
}
