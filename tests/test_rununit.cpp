#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <random>
#include <stop_token>
#include <thread>

#include "BruteForce.h"
#include "Rununit.h"

using Lines = std::vector<std::string>;

TEST(SplitLines, AcceptsBothLineEndsAndNoTrailingRow) {
  struct Case {
    const char* name;
    std::string text;
    Lines lines;
  };
  const Case cases[] = {
      {"empty text", "", {}},
      {"one line, no break", "101", {"101"}},
      {"break after the last line adds no row", "101\n010\n", {"101", "010"}},
      {"CRLF", "101\r\n010\r\n", {"101", "010"}},
      {"mixed ends", "101\r\n010\n111", {"101", "010", "111"}},
      {"empty lines stay rows", "\n\n", {"", ""}},
      {"lone CR stays in the line", "10\r1\n", {"10\r1"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SplitLines(c.text), c.lines) << c.name;
}

TEST(MatrixOfLines, RefusesWithLineAndColumn) {
  struct Case {
    const char* name;
    Lines lines;
    std::int64_t line, column;
    std::string message;
  };
  const Case cases[] = {
      {"bad character",
       {"11110", "00111", "0101x"},
       3,
       5,
       "line 3, column 5: expected '0' or '1', found 'x'"},
      {"short line", {"11110", "00111", "10101", "1010101"}, 4, 0, "line 4 has 7 characters, line 1 has 5"},
      {"empty line inside", {"10", "", "01"}, 2, 0, "line 2 has 0 characters, line 1 has 2"},
      {"blank", {"1 1"}, 1, 2, "line 1, column 2: expected '0' or '1', found ' '"},
      {"control byte shown in hex",
       {"01", "0\x01"},
       2,
       2,
       "line 2, column 2: expected '0' or '1', found '\\x01'"},
      {"a UTF-8 character shown whole",
       {"1\xc3\xa9"},
       1,
       2,
       "line 1, column 2: expected '0' or '1', found 'é'"},
      {"a byte that is no UTF-8 in hex",
       {"1\xff"},
       1,
       2,
       "line 1, column 2: expected '0' or '1', found '\\xff'"},
      {"tab as an escape", {"1\t"}, 1, 2, "line 1, column 2: expected '0' or '1', found '\\t'"},
      {"character before length", {"111", "2"}, 2, 1, "line 2, column 1: expected '0' or '1', found '2'"},
  };
  for (const auto& c : cases) {
    try {
      MatrixOfLines(c.lines);
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const TInputError& error) {
      EXPECT_EQ(error.what(), c.message) << c.name;
      EXPECT_EQ(error.Line, c.line) << c.name;
      EXPECT_EQ(error.Column, c.column) << c.name;
    }
  }
}

TEST(RunLines, WorkedCasesGiveSortedLines) {
  struct Case {
    const char* name;
    Lines input;
    Lines output;
  };
  const Case cases[] = {
      {"worked example", {"11110", "00111"}, {"1 : 1,2,3,4", "1,2 : 3,4", "2 : 3,4,5"}},
      {"no common column", {"10", "01"}, {"1 : 1", "1,2 : ", "2 : 2"}},
      {"no lines", {}, {}},
      {"empty lines", {"", ""}, {"1,2 : "}},
      {"numbers sort as text",
       {"111", "001", "000", "000", "000", "000", "000", "000", "000", "010", "000", "100"},
       {"1 : 1,2,3", "1,10 : 2", "1,12 : 1", "1,2 : 3", "1,2,3,4,5,6,7,8,9,10,11,12 : "}},
  };
  for (const auto& c : cases) {
    const TRunResult result = RunLines(c.input);
    EXPECT_EQ(SplitLines(result.Text), c.output) << c.name;
    EXPECT_EQ(result.Count, static_cast<std::int32_t>(c.output.size())) << c.name;
  }
}

TEST(RunLines, ReportsSizePassesAndKeepsTheEngine) {
  const TRunResult result = RunLines({"11110", "00111"});
  EXPECT_EQ(result.Sources, 2);
  EXPECT_EQ(result.Targets, 5);
  EXPECT_EQ(result.Passes, 2);
  ASSERT_NE(result.Engine, nullptr);
  EXPECT_EQ(result.Engine->Count(), 3);
  EXPECT_EQ(result.Engine->Passes(), 2);
}

TEST(RunLines, RefusesBadInputBeforeBuildingAnEngine) {
  EXPECT_THROW(RunLines({"101", "10"}), TInputError);
  EXPECT_THROW(RunLines({"1a1"}), TInputError);
}

TEST(RunLines, MatchesEveryIntersectionOfRowsOnRandomMatrices) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    const std::size_t rows = random() % 15;
    const std::size_t columns = random() % 71;
    const auto matrix = bruteforce::RandomMatrix(random, rows, columns);
    ASSERT_EQ(SplitLines(RunLines(matrix).Text), bruteforce::ResultLines(matrix)) << "round " << round;
  }
}

namespace {

TRunOptions Options(TEngineKind engine, std::int32_t threads, TOutput output = TOutput::SortedText) {
  TRunOptions options;
  options.Engine = engine;
  options.Config.Threads = threads;
  options.Output = output;
  return options;
}

// Every engine of the table.
const std::vector<TEngineKind> EveryEngine = [] {
  std::vector<TEngineKind> kinds;
  for (const TEngineEntry& engine : Engines())
    kinds.push_back(engine.Kind);
  return kinds;
}();

// Sources and targets of a result line.
std::pair<std::int32_t, std::int32_t> SideSizes(const std::string& line) {
  const std::size_t colon = line.find(" : ");
  auto count = [](std::string_view list) {
    return list.empty() ? 0 : static_cast<std::int32_t>(std::count(list.begin(), list.end(), ',') + 1);
  };
  return {count(std::string_view(line).substr(0, colon)), count(std::string_view(line).substr(colon + 3))};
}

} // namespace

// Every engine, thread count and output form gives the same results as the
// slow enumerator: the sorted text, the count, the unordered lines, and the
// sorted text handed to a writer.
TEST(RunLines, EveryEngineThreadCountAndOutputAgree) {
  std::mt19937 random(21);
  for (int round = 0; round < 120; ++round) {
    const auto matrix = bruteforce::RandomMatrix(random, random() % 13, random() % 140);
    const Lines expected = bruteforce::ResultLines(matrix);
    for (const TEngineKind engine : EveryEngine) {
      for (const std::int32_t threads : {1, 2, 8}) {
        ASSERT_EQ(SplitLines(RunLines(matrix, Options(engine, threads)).Text), expected) << "round " << round;
        EXPECT_EQ(RunLines(matrix, Options(engine, threads, TOutput::Count)).Count,
                  static_cast<std::int64_t>(expected.size()));
        std::string unordered;
        TRunOptions streamed = Options(engine, threads, TOutput::Unordered);
        streamed.Write = [&](std::string_view lines) { unordered += lines; };
        const TRunResult result = RunLines(matrix, streamed);
        EXPECT_TRUE(result.Text.empty());
        Lines lines = SplitLines(unordered);
        std::sort(lines.begin(), lines.end());
        EXPECT_EQ(lines, expected) << "round " << round << ", unordered";
        // Sorted text to a writer is formatted during the search, not read
        // back: in memory, and through runs on disk under the smallest budget.
        for (const std::int64_t budget : {std::int64_t{1}, std::int64_t{64} << 20}) {
          std::string written;
          TRunOptions sorted = Options(engine, threads);
          sorted.Write = [&](std::string_view block) {
            EXPECT_TRUE(block.ends_with('\n')) << "a block that is not whole lines";
            written += block;
          };
          sorted.MemoryBudget = budget;
          const TRunResult sortedResult = RunLines(matrix, sorted);
          EXPECT_TRUE(sortedResult.Text.empty());
          EXPECT_EQ(sortedResult.Count, static_cast<std::int64_t>(expected.size()));
          EXPECT_EQ(SplitLines(written), expected)
              << "round " << round << ", sorted to a writer, budget " << budget;
        }
      }
    }
  }
}

// The text kept in memory is sorted within the memory budget too: past it
// in runs on disk, merged into the same text.
TEST(RunLines, TextInMemoryBeyondTheBudgetIsTheSame) {
  // Ones but on the diagonal: 2^10 - 1 results, about 30 KB of text.
  Lines matrix(10, std::string(10, '1'));
  for (std::size_t i = 0; i < matrix.size(); ++i)
    matrix[i][i] = '0';
  const Lines expected = bruteforce::ResultLines(matrix);
  ASSERT_EQ(expected.size(), 1023u);
  for (const std::int32_t threads : {1, 2}) {
    TRunOptions options = Options(TEngineKind::Closure, threads);
    options.MemoryBudget = 4096;
    EXPECT_EQ(SplitLines(RunLines(matrix, options).Text), expected) << threads << " threads";
  }
}

// Bounds give exactly the unbounded lines whose sides fit.
TEST(RunLines, BoundsFilterTheUnboundedResult) {
  struct TCase {
    const char* Name;
    TBounds Bounds;
  };
  const TCase cases[] = {
      {"least sources", {3, INT32_MAX, 0, INT32_MAX}},
      {"most sources", {0, 2, 0, INT32_MAX}},
      {"least targets", {0, INT32_MAX, 4, INT32_MAX}},
      {"most targets", {0, INT32_MAX, 0, 3}},
      {"all four", {2, 5, 2, 6}},
      {"nothing fits", {9, 3, 0, INT32_MAX}},
  };
  std::mt19937 random(5);
  for (int round = 0; round < 60; ++round) {
    const auto matrix = bruteforce::RandomMatrix(random, random() % 12, random() % 30);
    const Lines all = bruteforce::ResultLines(matrix);
    for (const TCase& c : cases) {
      Lines expected;
      for (const std::string& line : all) {
        const auto [sources, targets] = SideSizes(line);
        if (c.Bounds.Admits(sources, targets)) expected.push_back(line);
      }
      for (const TEngineKind engine : EveryEngine) {
        for (const TOutput output : {TOutput::SortedText, TOutput::Count}) {
          TRunOptions options = Options(engine, 2, output);
          options.Config.Bounds = c.Bounds;
          const TRunResult result = RunLines(matrix, options);
          EXPECT_EQ(result.Count, static_cast<std::int64_t>(expected.size()))
              << c.Name << ", round " << round;
          if (output == TOutput::SortedText) {
            EXPECT_EQ(SplitLines(result.Text), expected) << c.Name;
          }
        }
      }
    }
  }
}

// A stop requested from another thread at any moment ends the run with
// TCancelled, or the run has already ended with its whole result.
TEST(RunLines, StopFromAnotherThreadCancelsOrCompletes) {
  std::mt19937 random(3);
  const auto matrix = bruteforce::RandomMatrix(random, 120, 40);
  const std::size_t full = RunLines(matrix, Options(TEngineKind::Closure, 2)).Text.size();
  int cancelled = 0;
  for (int round = 0; round < 16; ++round) {
    for (const TEngineKind engine : EveryEngine) {
      std::stop_source stop;
      TRunOptions options = Options(engine, 2);
      options.Config.Stop = stop.get_token();
      std::thread stopper([&stop, delay = random() % 20000] {
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        stop.request_stop();
      });
      try {
        const TRunResult result = RunLines(matrix, options);
        EXPECT_EQ(result.Text.size(), full) << "a partial result";
      } catch (const TCancelled& error) {
        EXPECT_STREQ(error.what(), "cancelled");
        ++cancelled;
      }
      stopper.join();
    }
  }
  EXPECT_GT(cancelled, 0);
}

// Progress reaches the thread that called the run, and only that thread.
TEST(RunLines, ProgressComesOnTheCallingThread) {
  std::mt19937 random(9);
  const auto matrix = bruteforce::RandomMatrix(random, 40, 30);
  for (const TEngineKind engine : EveryEngine) {
    TRunOptions options = Options(engine, 2);
    options.Config.ProgressInterval = std::chrono::milliseconds(0);
    const auto caller = std::this_thread::get_id();
    bool elsewhere = false;
    std::int64_t reports = 0;
    std::int64_t last = -1;
    options.Config.Progress = [&](const TProgress& progress) {
      elsewhere = elsewhere || std::this_thread::get_id() != caller;
      ++reports;
      last = progress.Sets;
    };
    const TRunResult result = RunLines(matrix, options);
    EXPECT_FALSE(elsewhere);
    EXPECT_GT(reports, 0);
    EXPECT_LE(last, result.Count);
  }
}

// Formatting (the sort and the copy out of the lines formatted during the
// search) reports how many of the lines are written out, on the calling
// thread: none at first, then some, never fewer than before, all of them at
// last; for the text kept in memory and for the text handed to Write.
TEST(RunLines, FormattingReportsTheLinesDone) {
  // Ones but on the diagonal: every nonempty subset of the rows is the
  // sources of one result (all rows with no target), 2^13 - 1 in all, more
  // than one stop check's worth.
  Lines matrix(13, std::string(13, '1'));
  for (std::size_t i = 0; i < matrix.size(); ++i)
    matrix[i][i] = '0';
  const std::int64_t results = (std::int64_t{1} << 13) - 1;
  for (const TEngineEntry& engine : Engines()) {
    for (const bool write : {false, true}) {
      SCOPED_TRACE(std::string(engine.Name) + (write ? ", Write" : ", in memory"));
      TRunOptions options = Options(engine.Kind, 1);
      options.Config.ProgressInterval = std::chrono::milliseconds(0);
      if (write) options.Write = [](std::string_view) {};
      std::vector<std::int64_t> formatted;
      options.Config.Progress = [&](const TProgress& progress) {
        if (progress.Phase != TPhase::Formatting) {
          EXPECT_EQ(progress.Formatted, 0);
        } else {
          EXPECT_EQ(progress.Sets, results);
          formatted.push_back(progress.Formatted);
        }
      };
      const TRunResult result = RunLines(matrix, options);
      ASSERT_EQ(result.Count, results);
      ASSERT_FALSE(formatted.empty());
      EXPECT_TRUE(std::is_sorted(formatted.begin(), formatted.end()));
      EXPECT_EQ(formatted.back(), results);
      ASSERT_GE(formatted.size(), 3u); // before the first line, between, after the last
      EXPECT_EQ(formatted.front(), 0);
      EXPECT_GT(formatted[1], 0);
      EXPECT_LT(formatted[1], results);
    }
  }
}

// The automatic choice: bit sets for small or dense matrices, adjacency lists
// for large sparse ones.
TEST(AutomaticEngine, PicksBitSetsOrListsByShapeAndOnes) {
  struct TCase {
    const char* Name;
    std::int32_t Sources, Targets;
    std::int64_t Ones;
    TEngineKind Engine;
  };
  const TCase cases[] = {
      {"small and dense", 1000, 100, 20000, TEngineKind::Closure},
      {"small and sparse", 1000, 1000, 2000, TEngineKind::Closure},
      {"mid-sized below 1 % of ones", 4000, 1500, 18'000, TEngineKind::Sparse},
      {"mid-sized at 1.5 % of ones", 2000, 2000, 60'000, TEngineKind::Closure},
      {"large and dense", 8000, 4000, 3'200'000, TEngineKind::Closure},
      {"large and sparse", 100'000, 1000, 1'000'000, TEngineKind::Sparse},
      {"one long line of many ones", 1, 20'000'000, 10'000'000, TEngineKind::Closure},
      // Sparse by density, but the lists would need ten times the bit sets.
      {"one long line at 1 % of ones", 1, 20'000'000, 200'000, TEngineKind::Closure},
      {"one long column at 1 % of ones", 20'000'000, 1, 200'000, TEngineKind::Closure},
      {"large and sparse, the lists small", 20'000, 20'000, 2'000'000, TEngineKind::Sparse},
      {"empty", 0, 0, 0, TEngineKind::Closure},
  };
  for (const TCase& c : cases) {
    TMatrix matrix;
    matrix.Sources = c.Sources;
    matrix.Targets = c.Targets;
    matrix.Adjacent.resize(static_cast<std::size_t>(c.Ones));
    EXPECT_EQ(AutomaticEngine(matrix), c.Engine) << c.Name;
  }
}
