#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <stdlib.h>
#include <sys/resource.h>

#include "Sortedlinesunit.h"

namespace {

namespace fs = std::filesystem;

// Unique lines in random order, made to find faults of a byte sort cut into
// runs: numbers that sort as text ("10" < "9"), lines that are prefixes of
// others, long shared first parts (the eight-byte keys tie), bytes above 127
// (they sort after ASCII), and lines longer than the merge buffers.
std::vector<std::string> RandomLines(std::size_t count, std::uint32_t seed, std::size_t longest) {
  std::mt19937 random(seed);
  const auto below = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  const std::string shared = "1,2,3,4,5,6,7,8,9,10,11,12 : ";
  const std::string alphabet = "0123456789,: ab\x7f\x80\xff";
  std::set<std::string> lines;
  while (lines.size() < count) {
    std::string line;
    switch (below(5)) {
    case 0:
      line = std::to_string(below(100000));
      break;
    case 1:
      line = shared.substr(0, below(shared.size() + 1)) + std::to_string(below(1000));
      break;
    case 2:
      for (std::size_t n = 1 + below(60); n > 0; --n)
        line += alphabet[below(alphabet.size())];
      break;
    case 3:
      // A prefix of a line already there, or one with a byte more.
      if (lines.empty()) continue;
      line = *std::next(lines.begin(), static_cast<std::ptrdiff_t>(below(lines.size())));
      if (below(2) == 0 && line.size() > 1)
        line.pop_back();
      else
        line += alphabet[below(alphabet.size())];
      break;
    default:
      line = shared + std::string(below(longest), 'x') + std::to_string(below(1000));
      break;
    }
    lines.insert(line);
  }
  std::vector<std::string> shuffled(lines.begin(), lines.end());
  std::shuffle(shuffled.begin(), shuffled.end(), random);
  return shuffled;
}

// Hands lines [0, count) to `sink` as a run's stream would: `workers`
// threads at once, worker w with every workers-th line from w on. What a
// worker's End throws reaches the caller, after every worker has stopped.
void Feed(TSortedLineSink& sink, const std::vector<std::string>& lines, std::int32_t workers,
          std::size_t count) {
  std::vector<std::exception_ptr> failures(static_cast<std::size_t>(workers));
  std::vector<std::thread> threads;
  for (std::int32_t w = 0; w < workers; ++w) {
    threads.emplace_back([&, w] {
      try {
        for (auto i = static_cast<std::size_t>(w); i < count; i += static_cast<std::size_t>(workers)) {
          sink.Line(w) += lines[i];
          sink.End(w);
        }
      } catch (...) {
        failures[static_cast<std::size_t>(w)] = std::current_exception();
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

// The sorted text of lines [0, count) through a sink of `workers` workers.
void WriteSorted(const std::vector<std::string>& lines, std::size_t count, std::int32_t workers,
                 std::int64_t budget, const std::function<void(std::string_view)>& write,
                 const std::string& folder) {
  TSortedLineSink sink(workers, budget, folder);
  Feed(sink, lines, workers, count);
  sink.Finish(workers, write);
}

// The text sorted independently of the unit: std::string orders bytes as unsigned.
std::string Expected(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines)
    text += line + "\n";
  return text;
}

std::size_t OpenFiles() {
  std::error_code error;
  const fs::directory_iterator files("/proc/self/fd", error);
  return error ? 0 : static_cast<std::size_t>(std::distance(files, fs::directory_iterator()));
}

constexpr std::int64_t TinyBudget = 4096;
constexpr std::int64_t LargeBudget = std::int64_t{64} << 20;

// A fresh temporary folder per test, checked for leftovers.
class SortedLineSinkTest : public testing::Test {
protected:
  void SetUp() override {
    std::string path = (fs::temp_directory_path() / "sortedlines-XXXXXX").string();
    ASSERT_NE(::mkdtemp(path.data()), nullptr);
    Folder = path;
    FilesBefore = OpenFiles();
  }
  void TearDown() override {
    EXPECT_TRUE(FolderIsEmpty()) << "a temporary file was left behind";
    EXPECT_EQ(OpenFiles(), FilesBefore) << "a temporary file was left open";
    fs::remove_all(Folder);
  }

  bool FolderIsEmpty() const { return fs::is_empty(Folder); }

  // The text of Text(), in place of Finish.
  std::string Kept(const std::vector<std::string>& lines, std::int32_t threads, std::int64_t budget) {
    TSortedLineSink sink(threads, budget, Folder);
    Feed(sink, lines, threads, lines.size());
    return sink.Text(threads);
  }

  // The text as handed to `write`, checking that every block is whole lines.
  std::string Written(const std::vector<std::string>& lines, std::int32_t threads, std::int64_t budget) {
    std::string text;
    WriteSorted(
        lines, lines.size(), threads, budget,
        [&](std::string_view block) {
          EXPECT_TRUE(block.ends_with('\n')) << "a block that is not whole lines";
          text += block;
        },
        Folder);
    return text;
  }

  std::string Folder;
  std::size_t FilesBefore = 0;
};

struct TCase {
  const char* Name;
  std::size_t Lines;
  std::size_t Longest; // of the long lines' middle part
  std::int32_t Threads;
  std::int64_t Budget;
};

// Runs merged in several passes (tiny budget), in one pass (a budget that
// holds several buffers), lines longer than a merge buffer, and everything in
// memory; on one and several workers. The text kept in one string (Text)
// is the same.
TEST_F(SortedLineSinkTest, GivesTheBytesOfTheSortInMemory) {
  const TCase cases[] = {
      {"many runs, several merge passes, 1 thread", 3000, 40, 1, TinyBudget},
      {"many runs, several merge passes, 2 threads", 3000, 40, 2, TinyBudget},
      {"many runs, 3 threads", 3000, 40, 3, TinyBudget},
      {"the smallest budget", 800, 40, 2, 1},
      {"runs merged in one pass", 5000, 40, 2, 256 << 10},
      {"lines longer than the merge buffer", 400, 3000, 2, TinyBudget},
      {"everything in memory", 5000, 200, 2, LargeBudget},
  };
  std::uint32_t seed = 1;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<std::string> lines = RandomLines(c.Lines, seed++, c.Longest);
    const std::string text = Written(lines, c.Threads, c.Budget);
    EXPECT_EQ(text, Expected(lines));
    EXPECT_EQ(Kept(lines, c.Threads, c.Budget), text);
  }
}

// The temporary folder is used exactly when the text does not fit: a folder
// that does not exist is named in the error then, and only then.
TEST_F(SortedLineSinkTest, OnlyATextThatDoesNotFitGoesToTheTemporaryFolder) {
  const std::vector<std::string> lines = RandomLines(3000, 7, 40);
  const std::string missing = Folder + "/missing";
  const auto write = [&](std::int64_t budget) {
    std::string text;
    WriteSorted(
        lines, lines.size(), 2, budget, [&](std::string_view block) { text += block; }, missing);
    return text;
  };
  EXPECT_EQ(write(LargeBudget), Expected(lines));
  try {
    write(TinyBudget);
    ADD_FAILURE() << "no error for a missing temporary folder";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
  }
}

// Counts around the budget: on one worker the lines held are the same every
// time, so the largest count that fits in memory is found by trying; the
// counts one less and one more, and around twice that, give a last run that
// ends exactly at the last line or one short of it.
TEST_F(SortedLineSinkTest, CountsAroundTheBudget) {
  const std::vector<std::string> all = RandomLines(2000, 11, 10);
  const std::string missing = Folder + "/missing";
  const auto fits = [&](std::size_t count) {
    try {
      WriteSorted(
          all, count, 1, TinyBudget, [](std::string_view) {}, missing);
      return true;
    } catch (const std::runtime_error&) {
      return false;
    }
  };
  std::size_t batch = 0;
  while (batch < 2000 && fits(batch + 1))
    ++batch;
  ASSERT_GT(batch, 1u);
  ASSERT_LT(batch, 500u) << "the budget should hold only a small batch";

  for (const std::size_t count : {std::size_t{0}, std::size_t{1}, batch - 1, batch, batch + 1, 2 * batch - 1,
                                  2 * batch, 2 * batch + 1}) {
    SCOPED_TRACE(count);
    const std::vector<std::string> lines(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count));
    EXPECT_EQ(Written(lines, 1, TinyBudget), Expected(lines));
    EXPECT_EQ(Written(lines, 2, TinyBudget), Expected(lines));
  }
}

// Runs are removed from the folder while they are still in use, so that a
// crash leaves nothing behind.
TEST_F(SortedLineSinkTest, TheFolderIsEmptyWhileTheRunsAreMerged) {
  const std::vector<std::string> lines = RandomLines(2000, 3, 40);
  int blocks = 0;
  WriteSorted(
      lines, lines.size(), 2, TinyBudget,
      [&](std::string_view) {
        ++blocks;
        EXPECT_TRUE(FolderIsEmpty());
      },
      Folder);
  EXPECT_GT(blocks, 1);
}

struct TWriteFailure : std::exception {};

// A sink given up half-way (its run failed) after runs went to disk, and
// failures of the writer in memory and during a merge, leave nothing behind;
// TearDown checks that no temporary file is left open or in the folder.
TEST_F(SortedLineSinkTest, AbandonedSinksAndFailingWritersLeaveNothing) {
  const std::vector<std::string> lines = RandomLines(3000, 5, 40);
  for (const std::int32_t workers : {1, 2}) {
    SCOPED_TRACE(workers);
    {
      TSortedLineSink sink(workers, TinyBudget, Folder);
      Feed(sink, lines, workers, 2000);
    }
    for (const std::int64_t budget : {TinyBudget, LargeBudget}) {
      int blocks = 0;
      SCOPED_TRACE(budget);
      EXPECT_THROW(WriteSorted(
                       lines, lines.size(), workers, budget,
                       [&](std::string_view) {
                         if (++blocks == 1) throw TWriteFailure();
                       },
                       Folder),
                   TWriteFailure);
    }
  }
}

struct TStopped : std::exception {};

// Progress while the lines are sorted and written out, in memory and from
// runs on disk, to `write` and into one string: the counts never go down,
// the last is every line, and between there are counts of lines written
// (more lines than one report's worth). A progress that throws ends the
// sort, also while a helper thread sorts its share, with its own exception
// and nothing left behind.
TEST_F(SortedLineSinkTest, ProgressCountsTheLinesWrittenAndCanEndTheSort) {
  const std::vector<std::string> lines = RandomLines(20000, 13, 40);
  for (const std::int64_t budget : {TinyBudget * 16, LargeBudget}) {
    for (const std::int32_t threads : {1, 2}) {
      for (const bool kept : {false, true}) {
        SCOPED_TRACE(testing::Message()
                     << "budget " << budget << ", " << threads << " threads, " << (kept ? "Text" : "Finish"));
        std::vector<std::int64_t> counts;
        const TSortProgress progress = [&](std::int64_t written) { counts.push_back(written); };
        std::string text;
        {
          TSortedLineSink sink(threads, budget, Folder);
          Feed(sink, lines, threads, lines.size());
          if (kept) {
            text = sink.Text(threads, progress);
          } else {
            sink.Finish(
                threads, [&](std::string_view block) { text += block; }, progress);
          }
        }
        EXPECT_EQ(text, Expected(lines));
        ASSERT_FALSE(counts.empty());
        EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
        EXPECT_EQ(counts.back(), static_cast<std::int64_t>(lines.size()));
        EXPECT_TRUE(std::any_of(counts.begin(), counts.end(), [&](std::int64_t count) {
          return count > 0 && count < static_cast<std::int64_t>(lines.size());
        }));

        // Thrown at the first call, while the shares are sorted or merged.
        TSortedLineSink stopped(threads, budget, Folder);
        Feed(stopped, lines, threads, lines.size());
        int calls = 0;
        const TSortProgress stop = [&](std::int64_t) {
          ++calls;
          throw TStopped();
        };
        if (kept) {
          EXPECT_THROW(stopped.Text(threads, stop), TStopped);
        } else {
          std::string partial;
          EXPECT_THROW(stopped.Finish(
                           threads, [&](std::string_view block) { partial += block; }, stop),
                       TStopped);
          EXPECT_LT(partial.size(), text.size());
        }
        EXPECT_EQ(calls, 1);
      }
    }
  }
}

// A full disk, made by a limit on the size of files this process writes.
TEST_F(SortedLineSinkTest, AFullDiskIsReportedWithTheFolder) {
  const std::vector<std::string> lines = RandomLines(4000, 9, 40);
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  rlimit small = before;
  small.rlim_cur = 16 << 10;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message;
  try {
    WriteSorted(
        lines, lines.size(), 2, TinyBudget, [](std::string_view) {}, Folder);
  } catch (const std::runtime_error& error) {
    message = error.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_NE(message.find(Folder), std::string::npos) << message;
}

// The check before a run: a folder that takes a temporary file passes and
// keeps nothing; one that cannot is refused with the message of the sort.
TEST_F(SortedLineSinkTest, TheTemporaryFolderIsCheckedAsTheSortWouldUseIt) {
  EXPECT_NO_THROW(CheckTempDir(Folder));
  std::ofstream(Folder + "/plain") << "x";
  for (const std::string& bad : {Folder + "/missing", Folder + "/plain"}) {
    std::string message;
    try {
      CheckTempDir(bad);
    } catch (const std::runtime_error& error) {
      message = error.what();
    }
    EXPECT_EQ(message.rfind("sorting the results in the temporary folder \"" + bad +
                                "\": cannot create a temporary file: ",
                            0),
              0u)
        << message;
  }
  fs::remove(Folder + "/plain");
}

} // namespace
