#include <gtest/gtest.h>

#include <random>

#include "BruteForce.h"
#include "Runthreadunit.h"
#include "Rununit.h"

namespace {

// A run of many minutes: only a stop ends it within a test.
TMatrix LongMatrix() {
  std::mt19937 random(1);
  return MatrixOfLines(bruteforce::RandomMatrix(random, 100, 100, 0.7));
}

} // namespace

TEST(RunThread, FinishRethrowsWhatTheBodyThrew) {
  TRunThread run(TRunConfig{}, [](const TRunConfig&) { throw std::runtime_error("broken"); });
  while (!run.WaitFor(std::chrono::milliseconds(10))) {
  }
  EXPECT_THROW(
      try { run.Finish(); } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "broken");
        throw;
      },
      std::runtime_error);
}

// The body gets the thread's stop and reports progress through it; a stop
// ends the run with TCancelled.
TEST(RunThread, PassesProgressAndStops) {
  const TMatrix matrix = LongMatrix();
  for (const TEngineEntry& entry : Engines()) {
    TRunConfig config;
    config.Threads = 2;
    config.ProgressInterval = std::chrono::milliseconds(10);
    TRunThread run(config, [&matrix, &entry](const TRunConfig& given) {
      TRunOptions options;
      options.Engine = entry.Kind;
      options.Config = given;
      options.Output = TOutput::Count;
      RunMatrix(matrix, options);
    });
    std::optional<TProgress> report;
    while (!report) {
      ASSERT_FALSE(run.WaitFor(std::chrono::milliseconds(10))) << entry.Name;
      report = run.TakeProgress();
    }
    EXPECT_EQ(report->Phase, TPhase::Enumerating) << entry.Name;
    run.RequestStop();
    EXPECT_THROW(run.Finish(), TCancelled) << entry.Name;
    EXPECT_TRUE(run.WaitFor(std::chrono::milliseconds(0)));
  }
}

// Destroying a run thread whose run still goes stops it.
TEST(RunThread, EndsWithTheObject) {
  const TMatrix matrix = LongMatrix();
  bool cancelled = false;
  {
    TRunThread run(TRunConfig{}, [&](const TRunConfig& given) {
      TRunOptions options;
      options.Engine = TEngineKind::Closure;
      options.Config = given;
      options.Output = TOutput::Count;
      try {
        RunMatrix(matrix, options);
      } catch (const TCancelled&) {
        cancelled = true;
      }
    });
    EXPECT_FALSE(run.WaitFor(std::chrono::milliseconds(50)));
  }
  EXPECT_TRUE(cancelled);
}
