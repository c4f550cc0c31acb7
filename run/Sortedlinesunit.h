// Sortedlinesunit: the result text of a run, one line per result, formatted
// by every thread and sorted by bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Where a formatter writes its lines: append one line's text (no break) to
// Line(), then call End(). Lines go into blocks that never move once full, so
// that they can be sorted and copied out without first growing one buffer.
class TLineBlocks {
public:
  std::string& Line();
  void End();

private:
  friend class TLineShare;
  std::size_t BlockSize = std::size_t{1} << 20; // a block is full from this many bytes on
  std::vector<std::string> Blocks;
  std::vector<std::pair<std::size_t, std::size_t>> Ends; // per line: its block, its end in it
};

// Formats results [first, last) into `blocks`, one line each. Called from
// several threads at once, with ranges that do not overlap.
using TRangeFormatter = std::function<void(std::int64_t first, std::int64_t last, TLineBlocks& blocks)>;

// The lines of results 0 .. count-1, each followed by "\n", ascending by
// bytes, formatted on `threads` threads. What `format` throws on any thread
// reaches the caller. Pre: no two lines are equal and no line holds a 0 byte.
std::string SortedResultText(std::int64_t count, std::int32_t threads, const TRangeFormatter& format);

// The same text as SortedResultText, handed to `write` in order, in blocks of
// at most about 1 MiB (a block ends with a break), on the calling thread.
// Formatting and sorting use `threads` threads; `format` may be called many
// times per thread, on short ranges.
//
// The text is formatted while its size is estimated: the lines plus their
// index (about 64 bytes a line) are kept to about `memoryBudget` bytes. When
// everything fits, the lines are sorted in memory and written out without a
// second copy of the text. Otherwise the results are formatted in batches of
// consecutive results that fit; each batch is sorted and written as a sorted
// run to a temporary file in `tempDir` (removed from the folder as soon as it
// is open, closed on every way out), and the runs are merged, with one read
// buffer per run, in several passes when there are too many runs for the
// budget. Disk use is at most about twice the text.
//
// What `format` (on any thread) or `write` throws reaches the caller. A
// failing temporary file (cannot be created, disk full, read error) gives
// std::runtime_error naming `tempDir` and the reason.
// Pre: no two lines are equal; no line holds a break or a 0 byte.
void WriteSortedResultText(std::int64_t count, std::int32_t threads, const TRangeFormatter& format,
                           std::int64_t memoryBudget, const std::function<void(std::string_view)>& write,
                           const std::string& tempDir);

// Makes and removes a temporary file in `tempDir` as a sort on disk would, so
// that a folder that cannot take one is reported before a long run rather
// than at its end. Throws the std::runtime_error that sort would give.
void CheckTempDir(const std::string& tempDir);
