// The contract every engine of the table keeps (Engineunit.h): what a
// throwing visitor leaves behind, and results that agree with every other
// engine's through ForEachResult and through a stream.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "BruteForce.h"
#include "Enginetableunit.h"
#include "Poslistunit.h"
#include "Rununit.h"

namespace {

class TVisitorFailure : public std::runtime_error {
public:
  TVisitorFailure() : std::runtime_error("visitor failed") {}
};

// One side of a result as the 1-based numbers of its members, "1,4,7".
std::string Members(const TVertexSet& set, std::int32_t size) {
  std::string text;
  ForEachMember(set, size,
                [&](std::int32_t v) { text += (text.empty() ? "" : ",") + std::to_string(v + 1); });
  return text;
}

struct TEngineRun {
  TMatrix Matrix;
  std::unique_ptr<TEngine> Engine;
};

TEngineRun Engine(const TEngineEntry& entry, const std::vector<std::string>& lines) {
  TEngineRun run{MatrixOfLines(lines), nullptr};
  run.Engine = MakeEngine(entry.Kind, run.Matrix);
  return run;
}

// The results of a finished run, read back with ForEachResult.
std::set<std::string> ReadBack(const TEngineRun& run) {
  std::set<std::string> lines;
  run.Engine->ForEachResult(
      0, run.Engine->Count(), [&](std::int32_t, const TVertexSet& sources, const TVertexSet& targets) {
        lines.insert(Members(sources, run.Matrix.Sources) + " : " + Members(targets, run.Matrix.Targets));
      });
  return lines;
}

std::set<std::string> BruteForceLines(const std::vector<std::string>& lines) {
  const std::vector<std::string> expected = bruteforce::ResultLines(lines);
  return {expected.begin(), expected.end()};
}

const std::vector<std::string> Dense = [] {
  std::mt19937 random(11);
  return bruteforce::RandomMatrix(random, 14, 30);
}();

} // namespace

TEST(Engines, AStreamThatThrowsEndsTheRunWithItsException) {
  for (const TEngineEntry& entry : Engines()) {
    for (const std::int32_t threads : {1, 2}) {
      SCOPED_TRACE(std::string(entry.Name) + ", threads " + std::to_string(threads));
      for (const std::int64_t failAt : {std::int64_t{0}, std::int64_t{5}}) {
        TEngineRun run = Engine(entry, Dense);
        std::atomic<std::int64_t> seen{0};
        TRunConfig config;
        config.Threads = threads;
        config.Stream = [&](std::int32_t, const TVertexSet&, const TVertexSet&) {
          if (seen.fetch_add(1) == failAt) throw TVisitorFailure();
        };
        EXPECT_THROW(run.Engine->Run(config), TVisitorFailure) << "failing at result " << failAt;
      }
    }
  }
}

TEST(Engines, AReadBackThatThrowsLeavesTheResultsAsTheyWere) {
  const std::set<std::string> expected = BruteForceLines(Dense);
  for (const TEngineEntry& entry : Engines()) {
    SCOPED_TRACE(std::string(entry.Name));
    TEngineRun run = Engine(entry, Dense);
    ASSERT_EQ(run.Engine->Run(TRunConfig{}), static_cast<std::int64_t>(expected.size()));
    std::int64_t seen = 0;
    EXPECT_THROW(run.Engine->ForEachResult(0, run.Engine->Count(),
                                           [&](std::int32_t, const TVertexSet&, const TVertexSet&) {
                                             if (++seen == 3) throw TVisitorFailure();
                                           }),
                 TVisitorFailure);
    EXPECT_EQ(ReadBack(run), expected);
  }
}

TEST(Engines, StreamAndReadBackListTheSameResults) {
  const std::set<std::string> expected = BruteForceLines(Dense);
  for (const TEngineEntry& entry : Engines()) {
    for (const std::int32_t threads : {1, 2}) {
      SCOPED_TRACE(std::string(entry.Name) + ", threads " + std::to_string(threads));
      TEngineRun stored = Engine(entry, Dense);
      TRunConfig config;
      config.Threads = threads;
      EXPECT_EQ(stored.Engine->Run(config), static_cast<std::int64_t>(expected.size()));
      EXPECT_EQ(ReadBack(stored), expected);

      TEngineRun streamed = Engine(entry, Dense);
      std::mutex lock;
      std::set<std::string> lines;
      config.Stream = [&](std::int32_t, const TVertexSet& sources, const TVertexSet& targets) {
        std::string line = Members(sources, streamed.Matrix.Sources) + " : " +
                           Members(targets, streamed.Matrix.Targets); // copied while the views are valid
        const std::lock_guard hold(lock);
        EXPECT_TRUE(lines.insert(std::move(line)).second) << "a result handed out twice";
      };
      EXPECT_EQ(streamed.Engine->Run(config), static_cast<std::int64_t>(expected.size()));
      EXPECT_EQ(lines, expected);
    }
  }
}

TEST(Engines, EveryNameOfTheTableIsFoundAndNothingElse) {
  for (const TEngineEntry& entry : Engines()) {
    EXPECT_EQ(EngineNamed(entry.Name), entry.Kind);
    EXPECT_EQ(&EngineEntry(entry.Kind), &entry);
  }
  EXPECT_EQ(EngineNamed("auto"), TEngineKind::Automatic);
  EXPECT_EQ(EngineNamed("extension"), std::nullopt);
  EXPECT_EQ(EngineNamed(""), std::nullopt);
}
