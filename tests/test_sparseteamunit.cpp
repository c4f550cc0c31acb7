#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <stdexcept>
#include <stop_token>
#include <vector>

#include "Sparseteamunit.h"

using namespace sparse;

namespace {

// A team of `size` members whose sinks only count, and its stop request.
struct TTeamFixture {
  std::stop_source Stop;
  TRunConfig Config;
  TRunControl Control{Config};
  TSearchTeam Team{Control};
  TResultVisitor Ignore = [](std::int32_t, const TVertexSet&, const TVertexSet&) {};
  TResultSettings Settings{nullptr, false, &Ignore, true};
  std::deque<TResultSink> Sinks;
  std::deque<TTeamMember> Members;

  explicit TTeamFixture(std::int32_t size, TRunConfig config = {}) : Config(std::move(config)) {
    Config.Stop = Stop.get_token();
    for (std::int32_t id = 0; id < size; ++id) {
      Sinks.emplace_back(Settings, id);
      Members.emplace_back(Team, id, Sinks.back());
      Team.Join(Members.back());
    }
  }
};

} // namespace

TEST(Sparseteamunit, HandsOutEveryNumberOnceHighestFirst) {
  TTeamFixture fixture(3);
  fixture.Team.HandOut(500);
  std::vector<std::vector<std::int32_t>> taken(3);
  fixture.Team.Run([&](std::int32_t member) {
    for (std::int32_t next = fixture.Team.Next(); next >= 0; next = fixture.Team.Next())
      taken[static_cast<std::size_t>(member)].push_back(next);
  });
  std::vector<std::int32_t> all;
  for (const auto& numbers : taken) {
    EXPECT_TRUE(std::is_sorted(numbers.rbegin(), numbers.rend())) << "not highest first";
    all.insert(all.end(), numbers.begin(), numbers.end());
  }
  std::sort(all.begin(), all.end());
  ASSERT_EQ(all.size(), 500u);
  for (std::int32_t n = 0; n < 500; ++n)
    EXPECT_EQ(all[static_cast<std::size_t>(n)], n);
  EXPECT_EQ(fixture.Team.Next(), -1);
}

// The others stop at a step once one failed, and their stops do not hide
// the failure.
TEST(Sparseteamunit, TheFirstFailureReachesTheCaller) {
  TTeamFixture fixture(3);
  try {
    fixture.Team.Run([&](std::int32_t member) {
      if (member == 1) throw std::runtime_error("first");
      for (;;)
        fixture.Members[static_cast<std::size_t>(member)].Step();
    });
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "first");
  }
}

TEST(Sparseteamunit, StepsPublishReportAndStop) {
  std::vector<std::int64_t> reported;
  TRunConfig config;
  config.ProgressInterval = std::chrono::milliseconds(0);
  config.Progress = [&](const TProgress& progress) { reported.push_back(progress.Sets); };
  TTeamFixture fixture(2, config);
  TTeamMember& first = fixture.Members[0];
  for (int i = 0; i < 3; ++i)
    fixture.Sinks[0].Emit({}, {});
  fixture.Sinks[1].Emit({}, {});
  fixture.Members[1].Publish();
  // Nothing is published before the 256th step; then member 0 reports all.
  for (int step = 1; step < 256; ++step)
    first.Step();
  EXPECT_EQ(first.Published(), 0);
  EXPECT_TRUE(reported.empty());
  first.Step();
  EXPECT_EQ(first.Published(), 3);
  EXPECT_EQ(reported, (std::vector<std::int64_t>{4}));
  // A stop request ends the search at the next checkpoint.
  fixture.Stop.request_stop();
  EXPECT_TRUE(fixture.Team.Ending());
  EXPECT_THROW(
      {
        for (int step = 0; step < 256; ++step)
          first.Step();
      },
      TCancelled);
}
