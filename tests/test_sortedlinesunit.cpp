#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
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

TRangeFormatter FormatterOf(const std::vector<std::string>& lines) {
  return [&lines](std::int64_t first, std::int64_t last, TLineBlocks& blocks) {
    for (std::int64_t i = first; i < last; ++i) {
      blocks.Line() += lines[static_cast<std::size_t>(i)];
      blocks.End();
    }
  };
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
class WriteSortedResultTextTest : public testing::Test {
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

  // The text as handed to `write`, checking that every block is whole lines.
  std::string Written(const std::vector<std::string>& lines, std::int32_t threads, std::int64_t budget) {
    std::string text;
    WriteSortedResultText(
        static_cast<std::int64_t>(lines.size()), threads, FormatterOf(lines), budget,
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
// memory; on one and several threads.
TEST_F(WriteSortedResultTextTest, GivesTheBytesOfTheSortInMemory) {
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
    EXPECT_EQ(text, SortedResultText(static_cast<std::int64_t>(lines.size()), c.Threads, FormatterOf(lines)));
  }
}

// The temporary folder is used exactly when the text does not fit: a folder
// that does not exist is named in the error then, and only then.
TEST_F(WriteSortedResultTextTest, OnlyATextThatDoesNotFitGoesToTheTemporaryFolder) {
  const std::vector<std::string> lines = RandomLines(3000, 7, 40);
  const std::string missing = Folder + "/missing";
  const auto write = [&](std::int64_t budget) {
    std::string text;
    WriteSortedResultText(
        static_cast<std::int64_t>(lines.size()), 2, FormatterOf(lines), budget,
        [&](std::string_view block) { text += block; }, missing);
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

// Counts around the end of a batch: on one thread the batches are the same
// every time, so the largest count that fits in memory is the size of a full
// first batch; the counts one less and one more, and around two batches, give
// batches that end exactly at the last result or one short of it.
TEST_F(WriteSortedResultTextTest, CountsAroundTheEndOfABatch) {
  const std::vector<std::string> all = RandomLines(2000, 11, 10);
  const std::string missing = Folder + "/missing";
  const auto fits = [&](std::int64_t count) {
    try {
      WriteSortedResultText(
          count, 1, FormatterOf(all), TinyBudget, [](std::string_view) {}, missing);
      return true;
    } catch (const std::runtime_error&) {
      return false;
    }
  };
  std::int64_t batch = 0;
  while (batch < 2000 && fits(batch + 1))
    ++batch;
  ASSERT_GT(batch, 1);
  ASSERT_LT(batch, 500) << "the budget should hold only a small batch";

  for (const std::int64_t count : {std::int64_t{0}, std::int64_t{1}, batch - 1, batch, batch + 1,
                                   2 * batch - 1, 2 * batch, 2 * batch + 1}) {
    SCOPED_TRACE(count);
    const std::vector<std::string> lines(all.begin(), all.begin() + count);
    EXPECT_EQ(Written(lines, 1, TinyBudget), Expected(lines));
    EXPECT_EQ(Written(lines, 2, TinyBudget), Expected(lines));
  }
}

// Runs are removed from the folder while they are still in use, so that a
// crash leaves nothing behind.
TEST_F(WriteSortedResultTextTest, TheFolderIsEmptyWhileTheRunsAreMerged) {
  const std::vector<std::string> lines = RandomLines(2000, 3, 40);
  int blocks = 0;
  WriteSortedResultText(
      static_cast<std::int64_t>(lines.size()), 2, FormatterOf(lines), TinyBudget,
      [&](std::string_view) {
        ++blocks;
        EXPECT_TRUE(FolderIsEmpty());
      },
      Folder);
  EXPECT_GT(blocks, 1);
}

struct TFormatFailure : std::exception {};
struct TWriteFailure : std::exception {};

// Failures of the formatter on any thread in a later batch, and of the
// writer in memory and during a merge, reach the caller; TearDown checks that
// no temporary file is left open or in the folder.
TEST_F(WriteSortedResultTextTest, FailuresOfFormatAndWriteReachTheCaller) {
  const std::vector<std::string> lines = RandomLines(3000, 5, 40);
  const auto count = static_cast<std::int64_t>(lines.size());
  const TRangeFormatter format = FormatterOf(lines);
  const TRangeFormatter failing = [&](std::int64_t first, std::int64_t last, TLineBlocks& blocks) {
    if (last > 2000) throw TFormatFailure();
    format(first, last, blocks);
  };
  for (const std::int32_t threads : {1, 2}) {
    SCOPED_TRACE(threads);
    EXPECT_THROW(WriteSortedResultText(
                     count, threads, failing, TinyBudget, [](std::string_view) {}, Folder),
                 TFormatFailure);
    for (const std::int64_t budget : {TinyBudget, LargeBudget}) {
      int blocks = 0;
      SCOPED_TRACE(budget);
      EXPECT_THROW(WriteSortedResultText(
                       count, threads, format, budget,
                       [&](std::string_view) {
                         if (++blocks == 1) throw TWriteFailure();
                       },
                       Folder),
                   TWriteFailure);
    }
  }
}

// A full disk, made by a limit on the size of files this process writes.
TEST_F(WriteSortedResultTextTest, AFullDiskIsReportedWithTheFolder) {
  const std::vector<std::string> lines = RandomLines(4000, 9, 40);
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  rlimit small = before;
  small.rlim_cur = 16 << 10;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message;
  try {
    WriteSortedResultText(
        static_cast<std::int64_t>(lines.size()), 2, FormatterOf(lines), TinyBudget, [](std::string_view) {},
        Folder);
  } catch (const std::runtime_error& error) {
    message = error.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_NE(message.find(Folder), std::string::npos) << message;
}

// The check before a run: a folder that takes a temporary file passes and
// keeps nothing; one that cannot is refused with the message of the sort.
TEST_F(WriteSortedResultTextTest, TheTemporaryFolderIsCheckedAsTheSortWouldUseIt) {
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
