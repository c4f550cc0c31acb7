#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BruteForce.h"
#include "Closureunit.h"
#include "Sparseunit.h"

namespace {

using TRowTexts = std::vector<std::string>; // rows of '0'/'1'

using bruteforce::Width;

std::string PosList(const TVertexSet& set) {
  std::string text;
  for (std::int32_t i = 0; i < set.Count; ++i) {
    if (i > 0) text += ',';
    text += std::to_string(set.Members[i] + 1);
  }
  return text;
}

// A side handed out by the engine must be a strictly ascending list.
bool Ascending(const TVertexSet& set) {
  return set.Words == nullptr &&
         std::adjacent_find(set.Members, set.Members + set.Count,
                            [](std::int32_t a, std::int32_t b) { return a >= b; }) == set.Members + set.Count;
}

struct TOptions {
  TSearchSide Side = TSearchSide::Automatic;
  std::int32_t Threads = 1;
  bool Stream = false;
  TBounds Bounds;
  std::int32_t SmallDatabase = 64;
  std::int32_t FailedScanRatio = 256;
};

void Fill(TSparseBicliques& engine, const TRowTexts& matrix) {
  // Rows in reverse order: the engine must not rely on the order of SetRow.
  for (std::size_t s = matrix.size(); s-- > 0;) {
    std::vector<std::int32_t> targets;
    for (std::size_t t = 0; t < matrix[s].size(); ++t) {
      if (matrix[s][t] == '1') targets.push_back(static_cast<std::int32_t>(t));
    }
    if (!targets.empty() || s % 2 == 0) engine.SetRow(static_cast<std::int32_t>(s), targets);
  }
}

// The engine's result lines, sorted; fails the test on a count that does not
// match, a side that is not ascending or a result given twice.
std::vector<std::string> EngineLines(const TRowTexts& matrix, const TOptions& options) {
  TSparseBicliques engine(static_cast<std::int32_t>(matrix.size()), static_cast<std::int32_t>(Width(matrix)));
  engine.Side = options.Side;
  engine.SmallDatabase = options.SmallDatabase;
  engine.FailedScanRatio = options.FailedScanRatio;
  Fill(engine, matrix);
  std::mutex mutex;
  std::vector<std::string> lines;
  bool ordered = true;
  std::set<std::int32_t> workers;
  const auto keep = [&](std::int32_t worker, const TVertexSet& sources, const TVertexSet& targets) {
    const std::lock_guard lock(mutex);
    ordered = ordered && Ascending(sources) && Ascending(targets);
    workers.insert(worker);
    lines.push_back(PosList(sources) + " : " + PosList(targets));
  };
  TRunConfig config;
  config.Threads = options.Threads;
  config.Bounds = options.Bounds;
  if (options.Stream) config.Stream = keep;
  const std::int64_t count = engine.Run(config);
  EXPECT_EQ(count, engine.Count());
  if (!options.Stream) {
    engine.ForEachResult(0, count, keep);
    // Any split into ranges, read from several threads, gives the same
    // results: ranges of 5, dealt out in turn to two readers at once.
    std::vector<std::string> whole = lines;
    lines.clear();
    constexpr std::int64_t Range = 5;
    constexpr std::int64_t Readers = 2;
    std::vector<std::thread> readers;
    for (std::int64_t reader = 0; reader < Readers; ++reader) {
      readers.emplace_back([&, reader] {
        for (std::int64_t first = reader * Range; first < count; first += Readers * Range)
          engine.ForEachResult(first, std::min(count, first + Range), keep);
      });
    }
    for (auto& reader : readers)
      reader.join();
    std::sort(whole.begin(), whole.end());
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, whole) << "ranges read apart";
  }
  EXPECT_TRUE(ordered) << "a side not ascending";
  for (const std::int32_t worker : workers) {
    EXPECT_GE(worker, 0);
    EXPECT_LT(worker, std::max(1, options.Threads));
  }
  EXPECT_EQ(static_cast<std::int64_t>(lines.size()), count);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(std::adjacent_find(lines.begin(), lines.end()), lines.end()) << "a result given twice";
  return lines;
}

// The closure-extension engine's lines, for matrices too big for brute force.
std::vector<std::string> ClosureLines(const TRowTexts& matrix) {
  const auto rows = static_cast<std::int32_t>(matrix.size());
  const auto columns = static_cast<std::int32_t>(Width(matrix));
  TClosureBicliques engine(rows, columns);
  for (std::int32_t s = 0; s < rows; ++s)
    engine.SetRow(s, matrix[static_cast<std::size_t>(s)]);
  TRunConfig config;
  config.Threads = 1;
  const std::int64_t count = engine.Run(config);
  std::vector<std::string> lines;
  const auto list = [](const std::uint64_t* words, std::int32_t size) {
    std::string text;
    for (std::int32_t i = 0; i < size; ++i) {
      if ((words[i / 64] >> (63 - i % 64) & 1) == 0) continue;
      if (!text.empty()) text += ',';
      text += std::to_string(i + 1);
    }
    return text;
  };
  engine.ForEachResult(0, count, [&](std::int32_t, const TVertexSet& sources, const TVertexSet& targets) {
    lines.push_back(list(sources.Words, rows) + " : " + list(targets.Words, columns));
  });
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Results the bounds admit, from unbounded result lines.
std::vector<std::string> Filtered(const std::vector<std::string>& lines, const TBounds& bounds) {
  const auto size = [](const std::string& list) {
    return list.empty() ? 0 : static_cast<std::int32_t>(std::count(list.begin(), list.end(), ',') + 1);
  };
  std::vector<std::string> kept;
  for (const std::string& line : lines) {
    const std::size_t colon = line.find(" : ");
    if (bounds.Admits(size(line.substr(0, colon)), size(line.substr(colon + 3)))) kept.push_back(line);
  }
  return kept;
}

// A sparse matrix with the shapes that stress a sparse search: empty rows,
// duplicate rows, one row with most targets, a few dense columns.
TRowTexts SparseMatrix(std::size_t rows, std::size_t columns, std::mt19937_64& random) {
  TRowTexts matrix = bruteforce::RandomMatrix(random, rows, columns, 0.03);
  for (std::size_t c = 0; c < columns; c += 17) {
    for (std::size_t r = 0; r < rows; ++r) {
      if (random() % 3 == 0) matrix[r][c] = '1';
    }
  }
  if (rows >= 4) {
    matrix[1] = std::string(columns, '0');
    matrix[rows - 1] = matrix[0];
    for (std::size_t c = 0; c < columns; ++c)
      matrix[2][c] = random() % 10 == 0 ? '0' : '1';
  }
  return matrix;
}

// The count of a run whose Stream only counts.
std::int64_t CountOnly(const TRowTexts& matrix, TSearchSide side, std::int32_t threads) {
  TSparseBicliques engine(static_cast<std::int32_t>(matrix.size()), static_cast<std::int32_t>(Width(matrix)));
  engine.Side = side;
  Fill(engine, matrix);
  TRunConfig config;
  config.Threads = threads;
  config.Stream = [](std::int32_t, const TVertexSet&, const TVertexSet&) {};
  config.CountOnly = true;
  const std::int64_t count = engine.Run(config);
  EXPECT_EQ(count, engine.Count());
  return count;
}

constexpr TSearchSide EverySide[] = {TSearchSide::Targets, TSearchSide::Sources, TSearchSide::Automatic};

} // namespace

TEST(Sparseunit, EdgeCasesOnEverySide) {
  struct TCase {
    const char* Name;
    TRowTexts Matrix;
  };
  const TCase cases[] = {
      {"worked example", {"11110", "00111"}},
      {"no common column", {"10", "01"}},
      {"no rows", {}},
      {"no columns", {"", "", ""}},
      {"all zero", {"000", "000"}},
      {"identical rows", {"0110", "0110"}},
      {"every target, one row", {"111"}},
      {"one row has every target", {"111", "100", "010"}},
      {"a column in every row", {"110", "011", "010"}},
      {"empty column and empty row", {"1010", "0000", "1000", "0010"}},
      {"one huge row", {"1111111111", "1000000000", "0000000001", "0100000010", "1000000001"}},
      {"nested rows", {"1000", "1100", "1110", "1111"}},
  };
  // The worked example's lines, known by hand.
  EXPECT_EQ(bruteforce::ResultLines(cases[0].Matrix),
            (std::vector<std::string>{"1 : 1,2,3,4", "1,2 : 3,4", "2 : 3,4,5"}));
  EXPECT_EQ(bruteforce::ResultLines(cases[1].Matrix), (std::vector<std::string>{"1 : 1", "1,2 : ", "2 : 2"}));
  for (const TCase& c : cases) {
    const std::vector<std::string> expected = bruteforce::ResultLines(c.Matrix);
    for (const TSearchSide side : EverySide) {
      for (const bool stream : {false, true}) {
        for (const std::int32_t threads : {1, 2}) {
          EXPECT_EQ(EngineLines(c.Matrix, {side, threads, stream, {}}), expected)
              << c.Name << ", side " << static_cast<int>(side) << ", stream " << stream << ", threads "
              << threads;
        }
      }
    }
  }
}

TEST(Sparseunit, MatchesBruteForceOnRandomMatrices) {
  std::mt19937_64 random(2024);
  std::mt19937 dense(2025);
  std::uniform_int_distribution<std::size_t> rowCount(0, 14);
  std::uniform_int_distribution<std::size_t> columnCount(0, 40);
  for (int round = 0; round < 200; ++round) {
    const std::size_t rows = rowCount(random);
    const std::size_t columns = columnCount(random);
    // bruteforce::RandomMatrix adds duplicate and empty rows; half the rounds are sparse.
    TRowTexts matrix = bruteforce::RandomMatrix(dense, rows, columns);
    if (round % 2 == 0) matrix = SparseMatrix(rows, columns, random);
    const std::vector<std::string> expected = bruteforce::ResultLines(matrix);
    // A third of the rounds search every database as lists.
    const TOptions options{EverySide[round % 3], 1 + round % 4, round % 5 < 2, {}, round % 3 == 1 ? 0 : 64};
    ASSERT_EQ(EngineLines(matrix, options), expected) << "round " << round;
  }
}

TEST(Sparseunit, MatchesTheClosureEngineOnLargerMatrices) {
  std::mt19937_64 random(99);
  struct TShape {
    std::size_t Rows;
    std::size_t Columns;
    double Density; // 0: the sparse shape with a huge row
  };
  const TShape shapes[] = {{120, 150, 0}, {300, 80, 0},  {60, 400, 0},
                           {70, 70, 0.3}, {40, 25, 0.6}, {25, 130, 0.2}};
  for (const TShape& shape : shapes) {
    const TRowTexts matrix = shape.Density == 0
                                 ? SparseMatrix(shape.Rows, shape.Columns, random)
                                 : bruteforce::RandomMatrix(random, shape.Rows, shape.Columns, shape.Density);
    const std::vector<std::string> expected = ClosureLines(matrix);
    for (const TSearchSide side : EverySide) {
      for (const std::int32_t small : {0, 1, 64}) {
        EXPECT_EQ(EngineLines(matrix, {side, 1, true, {}, small}), expected)
            << shape.Rows << " x " << shape.Columns << ", side " << static_cast<int>(side)
            << ", bit databases up to " << small << " entries";
      }
    }
  }
}

TEST(Sparseunit, StoredStreamedAndThreadCountsAgree) {
  std::mt19937_64 random(7);
  for (int round = 0; round < 6; ++round) {
    const TRowTexts matrix =
        round % 2 == 0 ? SparseMatrix(150, 120, random) : bruteforce::RandomMatrix(random, 40, 40, 0.4);
    for (const TSearchSide side : {TSearchSide::Targets, TSearchSide::Sources}) {
      const std::vector<std::string> first = EngineLines(matrix, {side, 1, false, {}});
      EXPECT_FALSE(first.empty());
      for (const std::int32_t threads : {1, 2}) {
        EXPECT_EQ(CountOnly(matrix, side, threads), static_cast<std::int64_t>(first.size()))
            << "round " << round << ", threads " << threads;
      }
      for (const std::int32_t threads : {1, 2, 4}) {
        for (const bool stream : {false, true}) {
          EXPECT_EQ(EngineLines(matrix, {side, threads, stream, {}}), first)
              << "round " << round << ", threads " << threads << ", stream " << stream;
        }
      }
    }
  }
}

TEST(Sparseunit, BoundsEqualFilteringTheUnboundedResult) {
  std::mt19937_64 random(31);
  struct TBoundCase {
    const char* Name;
    TBounds Bounds;
  };
  const auto bounds = [](std::int32_t minSources, std::int32_t maxSources, std::int32_t minTargets,
                         std::int32_t maxTargets) {
    TBounds made;
    made.MinSources = minSources;
    made.MaxSources = maxSources;
    made.MinTargets = minTargets;
    made.MaxTargets = maxTargets;
    return made;
  };
  constexpr std::int32_t Any = std::numeric_limits<std::int32_t>::max();
  const TBoundCase cases[] = {
      {"min sources", bounds(3, Any, 0, Any)},      {"max sources", bounds(0, 2, 0, Any)},
      {"min targets", bounds(0, Any, 3, Any)},      {"max targets", bounds(0, Any, 0, 2)},
      {"no targets at most", bounds(0, Any, 0, 0)}, {"every bound", bounds(2, 6, 2, 5)},
      {"nothing admitted", bounds(5, 4, 0, Any)},   {"more sources than rows", bounds(1000, Any, 0, Any)},
  };
  for (int round = 0; round < 8; ++round) {
    const TRowTexts matrix =
        round % 2 == 0 ? SparseMatrix(60, 50, random) : bruteforce::RandomMatrix(random, 20, 18, 0.45);
    const std::vector<std::string> all = EngineLines(matrix, {TSearchSide::Targets, 1, true, {}});
    for (const TBoundCase& c : cases) {
      for (const TSearchSide side : {TSearchSide::Targets, TSearchSide::Sources}) {
        // Half the rounds search every database as lists.
        EXPECT_EQ(
            EngineLines(matrix, {side, 1 + round % 2, round % 3 == 0, c.Bounds, round % 4 < 2 ? 64 : 0}),
            Filtered(all, c.Bounds))
            << c.Name << ", round " << round << ", side " << static_cast<int>(side);
      }
    }
  }
}

// A child takes over what its parent knows of failed candidates either by
// going through the parent's list of them or by looking each item it counted
// up among the parent's candidates; FailedScanRatio picks the way (0: look up
// wherever the parent knows a failure; the largest: always go through the
// list). Both ways must list every set exactly once, with or without bounds,
// on lists or bits, and with the root's failures shared by two workers.
TEST(Sparseunit, FailedCandidatesHandedDownEitherWay) {
  constexpr std::int32_t LookUp = 0;
  constexpr std::int32_t GoThrough = std::numeric_limits<std::int32_t>::max();
  TBounds minSources;
  minSources.MinSources = 2;
  TBounds minTargets;
  minTargets.MinTargets = 2;
  const TBounds everyBound[] = {TBounds{}, minSources, minTargets};
  std::mt19937_64 random(41);
  std::mt19937 dense(42);
  // Every side, bound, thread count and way out once in 36 rounds.
  for (int round = 0; round < 36; ++round) {
    const TRowTexts matrix =
        round % 2 == 0 ? SparseMatrix(14, 40, random) : bruteforce::RandomMatrix(dense, 14, 24);
    const TBounds& bounds = everyBound[round / 3 % 3];
    const std::vector<std::string> expected = Filtered(bruteforce::ResultLines(matrix), bounds);
    for (const std::int32_t ratio : {LookUp, GoThrough}) {
      for (const std::int32_t small : {0, 64}) {
        const TOptions options{
            EverySide[round % 3], 1 + round / 9 % 2, round / 18 == 1, bounds, small, ratio};
        EXPECT_EQ(EngineLines(matrix, options), expected)
            << "round " << round << ", ratio " << ratio << ", bit databases up to " << small;
      }
    }
  }
  const TRowTexts larger[] = {SparseMatrix(200, 120, random), bruteforce::RandomMatrix(random, 60, 60, 0.3)};
  for (const TRowTexts& matrix : larger) {
    const std::vector<std::string> expected = ClosureLines(matrix);
    for (const TSearchSide side : {TSearchSide::Targets, TSearchSide::Sources}) {
      for (const std::int32_t ratio : {LookUp, GoThrough}) {
        EXPECT_EQ(EngineLines(matrix, {side, 2, true, {}, 0, ratio}), expected)
            << matrix.size() << " rows, side " << static_cast<int>(side) << ", ratio " << ratio;
      }
    }
  }
}

namespace {

// A half-full random matrix: 400 x 60 has far too many results to finish,
// long enough a run to stop it midway.
TSparseBicliques* BigEngine(std::mt19937_64& random, std::int32_t rows = 400, std::int32_t columns = 60) {
  auto* engine = new TSparseBicliques(rows, columns);
  std::bernoulli_distribution draw(0.5);
  for (std::int32_t s = 0; s < rows; ++s) {
    std::vector<std::int32_t> targets;
    for (std::int32_t t = 0; t < columns; ++t) {
      if (draw(random)) targets.push_back(t);
    }
    engine->SetRow(s, targets);
  }
  engine->Side = TSearchSide::Targets;
  return engine;
}

} // namespace

TEST(Sparseunit, StopFromAnotherThreadCancels) {
  std::mt19937_64 random(3);
  for (const std::int32_t threads : {1, 2}) {
    std::unique_ptr<TSparseBicliques> engine(BigEngine(random));
    std::stop_source stop;
    std::atomic<std::int64_t> streamed{0};
    TRunConfig config;
    config.Threads = threads;
    config.Stop = stop.get_token();
    config.Stream = [&](std::int32_t, const TVertexSet&, const TVertexSet&) { ++streamed; };
    std::jthread stopper([&] {
      // Stop once the run is well under way.
      while (streamed.load() < 1000)
        std::this_thread::yield();
      stop.request_stop();
    });
    EXPECT_THROW(engine->Run(config), TCancelled) << "threads " << threads;
  }
}

TEST(Sparseunit, StopBeforeRunCancels) {
  std::mt19937_64 random(4);
  std::unique_ptr<TSparseBicliques> engine(BigEngine(random));
  std::stop_source stop;
  stop.request_stop();
  TRunConfig config;
  config.Stop = stop.get_token();
  EXPECT_THROW(engine->Run(config), TCancelled);
}

TEST(Sparseunit, AStreamErrorReachesTheCaller) {
  std::mt19937_64 random(5);
  for (const std::int32_t threads : {1, 2, 4}) {
    std::unique_ptr<TSparseBicliques> engine(BigEngine(random));
    std::atomic<std::int64_t> streamed{0};
    TRunConfig config;
    config.Threads = threads;
    config.Stream = [&](std::int32_t, const TVertexSet&, const TVertexSet&) {
      if (++streamed == 500) throw std::runtime_error("disk full");
    };
    try {
      engine->Run(config);
      ADD_FAILURE() << "no exception, threads " << threads;
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "disk full");
    }
  }
}

TEST(Sparseunit, ProgressComesFromTheCallingThread) {
  std::mt19937_64 random(6);
  std::unique_ptr<TSparseBicliques> engine(BigEngine(random, 200, 24));
  const std::thread::id caller = std::this_thread::get_id();
  std::int64_t last = 0;
  bool wrongThread = false;
  bool backwards = false;
  TRunConfig config;
  config.Threads = 2;
  config.Stream = [](std::int32_t, const TVertexSet&, const TVertexSet&) {};
  config.Progress = [&](const TProgress& progress) {
    wrongThread = wrongThread || std::this_thread::get_id() != caller;
    backwards = backwards || progress.Sets < last || progress.Phase != TPhase::Enumerating;
    last = progress.Sets;
  };
  const std::int64_t count = engine->Run(config);
  EXPECT_FALSE(wrongThread);
  EXPECT_FALSE(backwards);
  EXPECT_LE(last, count);
}
