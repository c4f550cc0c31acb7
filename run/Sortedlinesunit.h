// Sortedlinesunit: the result text of a run, one line per result, formatted
// by every thread and sorted by bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
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
