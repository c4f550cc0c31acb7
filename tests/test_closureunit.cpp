#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "BruteForce.h"
#include "Closureunit.h"
#include "Rununit.h"

namespace {

using TRowTexts = std::vector<std::string>; // rows of '0'/'1'

std::string PosList(const std::vector<bool>& bits) {
  std::string text;
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (!bits[i]) continue;
    if (!text.empty()) text += ',';
    text += std::to_string(i + 1);
  }
  return text;
}

using bruteforce::Width;

// The line of target set `targets`: the sources having all of it, " : ", the targets.
std::string LineOf(const TRowTexts& matrix, const std::vector<bool>& targets) {
  std::vector<bool> sources(matrix.size());
  for (std::size_t s = 0; s < matrix.size(); ++s) {
    sources[s] = true;
    for (std::size_t t = 0; t < targets.size(); ++t)
      sources[s] = sources[s] && (!targets[t] || matrix[s][t] == '1');
  }
  return PosList(sources) + " : " + PosList(targets);
}

std::vector<std::string> SortedUnique(std::set<std::string> lines) { return {lines.begin(), lines.end()}; }

// Slow and obvious: the intersection of every non-empty set of rows.
std::vector<std::string> ByRowSubsets(const TRowTexts& matrix) {
  std::set<std::string> lines;
  const std::size_t rows = matrix.size();
  for (std::uint32_t mask = 1; mask < (1u << rows); ++mask) {
    std::vector<bool> targets(Width(matrix), true);
    for (std::size_t s = 0; s < rows; ++s) {
      if ((mask >> s & 1) == 0) continue;
      for (std::size_t t = 0; t < targets.size(); ++t)
        targets[t] = targets[t] && matrix[s][t] == '1';
    }
    lines.insert(LineOf(matrix, targets));
  }
  return SortedUnique(lines);
}

// Slow and obvious for few columns: for every target set with a source
// having all of it, the intersection of those sources.
std::vector<std::string> ByColumnSubsets(const TRowTexts& matrix) {
  std::set<std::string> lines;
  const std::size_t columns = Width(matrix);
  for (std::uint32_t mask = 0; mask < (1u << columns) && !matrix.empty(); ++mask) {
    std::vector<bool> targets(columns, true);
    bool anySource = false;
    for (const std::string& row : matrix) {
      bool hasAll = true;
      for (std::size_t t = 0; t < columns; ++t)
        hasAll = hasAll && ((mask >> t & 1) == 0 || row[t] == '1');
      if (!hasAll) continue;
      anySource = true;
      for (std::size_t t = 0; t < columns; ++t)
        targets[t] = targets[t] && row[t] == '1';
    }
    if (anySource) lines.insert(LineOf(matrix, targets));
  }
  return SortedUnique(lines);
}

// Bit by bit; the bits past `size` in the last word must be 0.
std::string PosListOfWords(const std::uint64_t* words, std::int32_t size) {
  std::vector<bool> bits(static_cast<std::size_t>(size));
  for (std::int32_t i = 0; i < size; ++i)
    bits[static_cast<std::size_t>(i)] = (words[i / 64] >> (63 - i % 64) & 1) != 0;
  if (size % 64 != 0) {
    EXPECT_EQ(words[size / 64] << (size % 64), 0u) << "bits past the end";
  }
  return PosList(bits);
}

std::string LineOfWords(const std::uint64_t* sources, std::int32_t rows, const std::uint64_t* targets,
                        std::int32_t columns) {
  return PosListOfWords(sources, rows) + " : " + PosListOfWords(targets, columns);
}

// The engine's results, each formatted bit by bit, sorted; fails the test on
// a count that does not match or a result given twice.
std::vector<std::string> EngineLines(const TRowTexts& matrix, TSearchSide side, std::int32_t threads) {
  const auto rows = static_cast<std::int32_t>(matrix.size());
  const auto columns = static_cast<std::int32_t>(Width(matrix));
  TClosureBicliques engine(rows, columns);
  engine.Side = side;
  for (std::int32_t s = 0; s < rows; ++s)
    engine.SetRow(s, matrix[static_cast<std::size_t>(s)]);
  TRunConfig config;
  config.Threads = threads;
  const std::int64_t count = engine.Run(config);
  EXPECT_EQ(count, engine.Count());
  if (side != TSearchSide::Automatic && rows > 0 && columns > 0) {
    EXPECT_EQ(engine.UsedSide(), side);
  }

  std::vector<std::string> lines;
  engine.ForEachResult(0, count, [&](std::int32_t, const TVertexSet& sources, const TVertexSet& targets) {
    lines.push_back(LineOfWords(sources.Words, rows, targets.Words, columns));
  });
  // Any split into ranges reads the same results in the same order.
  std::mt19937_64 random(static_cast<std::uint64_t>(count));
  std::vector<std::string> pieces;
  for (std::int64_t first = 0; first < count;) {
    const std::int64_t last = std::min(count, first + 1 + static_cast<std::int64_t>(random() % 7));
    engine.ForEachResult(first, last,
                         [&](std::int32_t, const TVertexSet& sources, const TVertexSet& targets) {
                           pieces.push_back(LineOfWords(sources.Words, rows, targets.Words, columns));
                         });
    first = last;
  }
  EXPECT_EQ(pieces, lines);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(std::adjacent_find(lines.begin(), lines.end()), lines.end()) << "a result given twice";
  return lines;
}

constexpr TSearchSide BothSides[] = {TSearchSide::Targets, TSearchSide::Sources, TSearchSide::Automatic};

} // namespace

TEST(Closureunit, EdgeCasesOnEverySide) {
  struct TCase {
    const char* Name;
    TRowTexts Matrix;
    std::vector<std::string> Lines;
  };
  const TCase cases[] = {
      {"worked example", {"11110", "00111"}, {"1 : 1,2,3,4", "1,2 : 3,4", "2 : 3,4,5"}},
      {"no common column", {"10", "01"}, {"1 : 1", "1,2 : ", "2 : 2"}},
      {"no rows", {}, {}},
      {"no columns", {"", "", ""}, {"1,2,3 : "}},
      {"all zero", {"000", "000"}, {"1,2 : "}},
      {"identical rows", {"0110", "0110"}, {"1,2 : 2,3"}},
      {"every target, one row", {"111"}, {"1 : 1,2,3"}},
      {"every target in one row of several",
       {"111", "100", "010"},
       {"1 : 1,2,3", "1,2 : 1", "1,2,3 : ", "1,3 : 2"}},
      {"no row has every target", {"110", "011"}, {"1 : 1,2", "1,2 : 2", "2 : 2,3"}},
      {"numbers sort as text",
       {"1100000000", "1000000000", "0100000000", "0010000000", "0001000000", "0000100000", "0000010000",
        "0000001000", "0000000100", "0000000011", "0000000001", "1000000001"},
       {"1 : 1,2", "1,2,12 : 1", "1,2,3,4,5,6,7,8,9,10,11,12 : ", "1,3 : 2", "10 : 9,10", "10,11,12 : 10",
        "12 : 1,10", "4 : 3", "5 : 4", "6 : 5", "7 : 6", "8 : 7", "9 : 8"}},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ByRowSubsets(c.Matrix), c.Lines) << c.Name << " (oracle)";
    for (const TSearchSide side : BothSides) {
      for (const std::int32_t threads : {1, 2}) {
        EXPECT_EQ(EngineLines(c.Matrix, side, threads), c.Lines)
            << c.Name << ", side " << static_cast<int>(side) << ", threads " << threads;
      }
    }
  }
}

TEST(Closureunit, MatchesRowSubsetsOnRandomMatrices) {
  std::mt19937_64 random(2024);
  std::uniform_int_distribution<std::size_t> rowCount(0, 14);
  std::uniform_int_distribution<std::size_t> columnCount(0, 70);
  std::uniform_real_distribution<double> density(0.05, 0.95);
  for (int round = 0; round < 150; ++round) {
    const TRowTexts matrix =
        bruteforce::RandomMatrix(random, rowCount(random), columnCount(random), density(random));
    const std::vector<std::string> expected = ByRowSubsets(matrix);
    for (const TSearchSide side : BothSides) {
      ASSERT_EQ(EngineLines(matrix, side, 1 + round % 3), expected)
          << "round " << round << ", side " << static_cast<int>(side);
    }
  }
}

TEST(Closureunit, MatchesAcrossWordBoundaries) {
  std::mt19937_64 random(77);
  struct TShape {
    std::size_t Rows;
    std::size_t Columns;
  };
  // Wide shapes check the row oracle; tall ones, with many sources to a word
  // of the transpose, check the column oracle.
  const TShape wide[] = {{9, 63}, {9, 64}, {9, 65}, {8, 127}, {8, 128}, {8, 129}, {6, 200}};
  const TShape tall[] = {{63, 9}, {64, 9}, {65, 10}, {128, 8}, {129, 11}, {200, 12}};
  for (const double density : {0.3, 0.7, 0.9}) {
    for (const TShape shape : wide) {
      const TRowTexts matrix = bruteforce::RandomMatrix(random, shape.Rows, shape.Columns, density);
      const std::vector<std::string> expected = ByRowSubsets(matrix);
      for (const TSearchSide side : BothSides)
        EXPECT_EQ(EngineLines(matrix, side, 2), expected) << shape.Rows << " x " << shape.Columns;
    }
    for (const TShape shape : tall) {
      const TRowTexts matrix = bruteforce::RandomMatrix(random, shape.Rows, shape.Columns, density);
      const std::vector<std::string> expected = ByColumnSubsets(matrix);
      for (const TSearchSide side : BothSides)
        EXPECT_EQ(EngineLines(matrix, side, 2), expected) << shape.Rows << " x " << shape.Columns;
    }
  }
}

TRunOptions ClosureRun() {
  TRunOptions options;
  options.Engine = TEngineKind::Closure;
  return options;
}

TEST(Closureunit, RunLinesGivesTheConsensusText) {
  std::mt19937_64 random(5);
  for (int round = 0; round < 40; ++round) {
    const TRowTexts matrix =
        bruteforce::RandomMatrix(random, 5 + round % 30, 3 + round % 40, 0.2 + 0.015 * round);
    const TRunResult consensus = RunLines(matrix);
    const TRunResult closure = RunLines(matrix, ClosureRun());
    ASSERT_EQ(closure.Text, consensus.Text) << "round " << round;
    EXPECT_EQ(closure.Count, consensus.Count);
    EXPECT_EQ(closure.Passes, 0);
    ASSERT_NE(closure.Engine, nullptr);
    EXPECT_EQ(closure.Engine->Count(), consensus.Count);
  }
}

TEST(Closureunit, RepeatedParallelRunsGiveTheSameText) {
  std::mt19937_64 random(11);
  const TRowTexts matrix = bruteforce::RandomMatrix(random, 40, 40, 0.5);
  const std::vector<std::string> first = SplitLines(RunLines(matrix, ClosureRun()).Text);
  ASSERT_TRUE(std::is_sorted(first.begin(), first.end()));
  ASSERT_EQ(std::adjacent_find(first.begin(), first.end()), first.end());
  for (int run = 0; run < 5; ++run)
    EXPECT_EQ(SplitLines(RunLines(matrix, ClosureRun()).Text), first) << "run " << run;
}
