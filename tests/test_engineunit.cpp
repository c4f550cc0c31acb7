// The contract every engine of the table keeps (Engineunit.h): what a
// throwing visitor leaves behind, and results that agree with every other
// engine's through ForEachResult and through a stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
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

namespace {

// The number of members of a "1,4,7" list.
std::int32_t MemberCount(const std::string& members) {
  return members.empty() ? 0 : static_cast<std::int32_t>(std::count(members.begin(), members.end(), ',')) + 1;
}

std::set<std::string> AdmittedLines(const std::set<std::string>& lines, const TBounds& bounds) {
  std::set<std::string> admitted;
  for (const std::string& line : lines) {
    const std::size_t colon = line.find(" : ");
    if (bounds.Admits(MemberCount(line.substr(0, colon)), MemberCount(line.substr(colon + 3))))
      admitted.insert(line);
  }
  return admitted;
}

// Runs `run` with `config` and adds the lines of its results to `lines`:
// as they are streamed, or read back afterwards. Returns the run's count.
std::int64_t RunInto(TEngineRun& run, TRunConfig& config, bool streamed, std::multiset<std::string>& lines) {
  std::mutex lock;
  if (streamed) {
    config.Stream = [&](std::int32_t, const TVertexSet& sources, const TVertexSet& targets) {
      std::string line = Members(sources, run.Matrix.Sources) + " : " + Members(targets, run.Matrix.Targets);
      const std::lock_guard hold(lock);
      lines.insert(std::move(line));
    };
  }
  const std::int64_t count = run.Engine->Run(config);
  if (!streamed) {
    for (const std::string& line : ReadBack(run))
      lines.insert(line);
  }
  return count;
}

} // namespace

// Runs that share the root's branches, each taking every third range of
// two, list between them each result exactly once, whatever the side the
// engine searches (wide and tall matrices) and the bounds.
TEST(Engines, RunsSharingTheBranchesListEveryResultOnce) {
  constexpr std::int64_t Runs = 3;
  constexpr std::int64_t Chunk = 2;
  std::mt19937 random(29);
  const std::vector<std::vector<std::string>> matrices{bruteforce::RandomMatrix(random, 6, 40),
                                                       bruteforce::RandomMatrix(random, 16, 5),
                                                       bruteforce::RandomMatrix(random, 14, 14),
                                                       bruteforce::RandomMatrix(random, 16, 70, 0.08),
                                                       {}};
  TBounds atLeastTwoSources;
  atLeastTwoSources.MinSources = 2;
  TBounds fewTargets;
  fewTargets.MaxTargets = 3;
  for (const TEngineKind kind : {TEngineKind::Closure, TEngineKind::Sparse}) {
    const TEngineEntry& entry = EngineEntry(kind);
    for (std::size_t m = 0; m < matrices.size(); ++m) {
      const std::set<std::string> all = BruteForceLines(matrices[m]);
      for (const TBounds& bounds : {TBounds{}, atLeastTwoSources, fewTargets}) {
        for (const bool streamed : {false, true}) {
          SCOPED_TRACE(std::string(entry.Name) + ", matrix " + std::to_string(m) + ", min sources " +
                       std::to_string(bounds.MinSources) + ", max targets " +
                       std::to_string(bounds.MaxTargets) + (streamed ? ", streamed" : ", stored"));
          std::multiset<std::string> lines;
          std::int64_t count = 0;
          std::vector<std::int64_t> branchCounts;
          for (std::int64_t r = 0; r < Runs; ++r) {
            TEngineRun run = Engine(entry, matrices[m]);
            TRunConfig config;
            config.Threads = 2;
            config.Bounds = bounds;
            std::int64_t nextChunk = r;
            config.Branches.ListsRoot = r == 0;
            config.Branches.Next = [&](std::int64_t branches) {
              branchCounts.push_back(branches);
              const std::int64_t first = std::min(branches, nextChunk * Chunk);
              nextChunk += Runs;
              return TBranchRange{first, std::min(branches, first + Chunk)};
            };
            count += RunInto(run, config, streamed, lines);
          }
          const std::set<std::string> expected = AdmittedLines(all, bounds);
          EXPECT_EQ(count, static_cast<std::int64_t>(expected.size()));
          EXPECT_EQ(lines, std::multiset<std::string>(expected.begin(), expected.end()));
          // Every run sees the same branches.
          for (const std::int64_t branches : branchCounts)
            EXPECT_EQ(branches, branchCounts.front());
        }
      }
    }
  }
}

// Runs that also hand each other parts of branches list every result once:
// each run is asked for work at every node, so that its workers give away
// the rest of their shallowest open node whenever they have one; the tasks
// wait in one queue, each run but the last takes at most two of them and
// the last takes the rest. The first two branches are never dealt: the
// queue gets them at the first deal, as branches handed on. The closure and
// sparse engines both steal (the sparse one splitting small nodes too).
TEST(Engines, RunsHandingEachOtherSubtreesListEveryResultOnce) {
  constexpr std::int64_t Runs = 3;
  constexpr std::int64_t Chunk = 2;
  constexpr std::int64_t TakenBeforeTheLast = 2;
  std::mt19937 random(31);
  const std::vector<std::vector<std::string>> matrices{bruteforce::RandomMatrix(random, 6, 40),
                                                       bruteforce::RandomMatrix(random, 16, 5),
                                                       bruteforce::RandomMatrix(random, 14, 14, 0.6),
                                                       bruteforce::RandomMatrix(random, 18, 30, 0.3),
                                                       {}};
  TBounds atLeastTwoSources;
  atLeastTwoSources.MinSources = 2;
  TBounds fewTargets;
  fewTargets.MaxTargets = 3;
  for (const TEngineKind kind : {TEngineKind::Closure, TEngineKind::Sparse}) {
    const TEngineEntry& entry = EngineEntry(kind);
    std::int64_t given = 0;
    constexpr std::int64_t heldBack = Chunk;
    for (std::size_t m = 0; m < matrices.size(); ++m) {
      const std::set<std::string> all = BruteForceLines(matrices[m]);
      for (const TBounds& bounds : {TBounds{}, atLeastTwoSources, fewTargets}) {
        for (const bool streamed : {false, true}) {
          SCOPED_TRACE(std::string(entry.Name) + ", matrix " + std::to_string(m) + ", min sources " +
                       std::to_string(bounds.MinSources) + ", max targets " +
                       std::to_string(bounds.MaxTargets) + (streamed ? ", streamed" : ", stored"));
          std::multiset<std::string> lines;
          std::int64_t count = 0;
          std::mutex queueMutex;
          std::deque<TTakenWork> queue;
          bool seeded = false; // the queue got the branches held back
          for (std::int64_t r = 0; r < Runs; ++r) {
            TEngineRun run = Engine(entry, matrices[m]);
            TRunConfig config;
            config.Threads = 2;
            config.Bounds = bounds;
            std::int64_t nextChunk = r;
            std::int64_t taken = 0;
            std::atomic<bool> wanted{true};
            config.Branches.ListsRoot = r == 0;
            config.Branches.Next = [&](std::int64_t branches) {
              const std::lock_guard hold(queueMutex);
              if (!seeded && std::min(branches, heldBack) > 0)
                queue.push_back({"", {0, std::min(branches, heldBack)}});
              seeded = true;
              const std::int64_t first = std::min(branches, heldBack + nextChunk * Chunk);
              nextChunk += Runs;
              return TBranchRange{first, std::min(branches, first + Chunk)};
            };
            config.Branches.Wanted = &wanted;
            config.Branches.LookEvery = 1;
            config.Branches.SplitSmall = true;
            config.Branches.Give = [&](std::string task) {
              const std::lock_guard hold(queueMutex);
              EXPECT_FALSE(wanted.load()) << "a task given without taking the want on";
              queue.push_back({std::move(task), {}});
              ++given;
              wanted.store(true);
            };
            config.Branches.Take = [&](std::int32_t workers) -> std::optional<TTakenWork> {
              // The workers that call Take: at least one, at most the run's threads.
              EXPECT_GE(workers, 1);
              EXPECT_LE(workers, config.Threads);
              const std::lock_guard hold(queueMutex);
              if (queue.empty() || (r + 1 < Runs && taken == TakenBeforeTheLast)) return std::nullopt;
              ++taken;
              TTakenWork work = std::move(queue.front());
              queue.pop_front();
              return work;
            };
            count += RunInto(run, config, streamed, lines);
          }
          EXPECT_TRUE(queue.empty());
          const std::set<std::string> expected = AdmittedLines(all, bounds);
          EXPECT_EQ(count, static_cast<std::int64_t>(expected.size()));
          EXPECT_EQ(lines, std::multiset<std::string>(expected.begin(), expected.end()));
        }
      }
    }
    EXPECT_GT(given, 100) << entry.Name << ": subtrees should have moved";
  }
}
