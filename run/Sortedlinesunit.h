// Sortedlinesunit: the result text of a run, one line per result, formatted
// by every thread and sorted by bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A line in a TLineBlocks and its first eight bytes as a big-endian number
// (zero-padded), so that most comparisons of a sort touch no text. Lines are
// shorter than 4 GiB.
struct TLineRef {
  std::uint64_t Key;
  const char* Text;
  std::uint32_t Length; // without the break, which follows in memory
};

// The references of many lines, in one array of mapped pages that grows by
// remapping them, never by copying.
class TLineRefs {
public:
  TLineRefs() = default;
  TLineRefs(TLineRefs&& other) noexcept;
  TLineRefs& operator=(TLineRefs&& other) noexcept;
  ~TLineRefs();

  // Room for `count` lines in all. Throws std::bad_alloc when there is none.
  void Reserve(std::size_t count);
  void Add(const TLineRef& line) {
    if (Count == Room) Reserve(Count < 1024 ? 1024 : 2 * Count);
    Data[Count++] = line;
  }
  // Forgets every line and frees the array.
  void Clear() noexcept;

  TLineRef* begin() const { return Data; }
  TLineRef* end() const { return Data + Count; }
  std::size_t size() const { return Count; }
  bool empty() const { return Count == 0; }
  TLineRef& operator[](std::size_t i) const { return Data[i]; }
  TLineRef& back() const { return Data[Count - 1]; }

private:
  TLineRef* Data = nullptr;
  std::size_t Count = 0;
  std::size_t Room = 0; // lines the mapped pages hold

  std::size_t Bytes() const; // of the mapped pages
};

// Called by TSortedLineSink::Finish and Text on the calling thread: now and
// then while they sort, and at least every 4096 lines written out, with the
// lines written so far (never fewer than before), and at last with all of
// them. What it throws (a stop request) ends the call at once; the sink may
// then only be destroyed.
using TSortProgress = std::function<void(std::int64_t linesWritten)>;

// Result lines handed in by several workers as they are found (a run's
// stream), written out at the end ascending by bytes, each followed by "\n",
// in blocks of whole lines of at most about 1 MiB, or one block for a longer
// line. Each worker formats into blocks of its own, so that the lines are
// made once and never read back from the engine.
//
// The lines plus their index (about 64 bytes a line) are kept to about
// `memoryBudget` bytes. When everything fits, the lines are sorted in memory
// on the threads Finish is given and written out without a second copy of
// the text. Otherwise a worker whose End finds the budget full sorts its own
// lines and writes them as a sorted run to a temporary file in `tempDir`
// (removed from the folder as soon as it is open, closed on every way out);
// Finish merges the runs, with one read buffer per run, in several passes
// when there are too many runs for the budget. Disk use is at most about
// twice the text.
//
// Threads: Line and End of one worker only from one thread at a time;
// different workers at once. Finish or Text once, after every End has
// returned.
// A failing temporary file (cannot be created, disk full, read error) gives
// std::runtime_error naming `tempDir` and the reason, from End or Finish;
// what `write` throws reaches the caller of Finish. The object may be
// destroyed at any time, leaving nothing behind.
// Pre: no two lines are equal; no line holds a break or a 0 byte.
class TSortedLineSink {
public:
  TSortedLineSink(std::int32_t workers, std::int64_t memoryBudget, std::string tempDir);
  TSortedLineSink(const TSortedLineSink&) = delete;
  TSortedLineSink& operator=(const TSortedLineSink&) = delete;
  ~TSortedLineSink();

  // Where `worker` (0 <= worker < workers) appends its next line's text,
  // without the break; then End(worker).
  std::string& Line(std::int32_t worker);
  void End(std::int32_t worker);
  // Writes every line, sorted, to `write`, sorting on `threads` threads.
  void Finish(std::int32_t threads, const std::function<void(std::string_view)>& write,
              const TSortProgress& progress = {});
  // In place of Finish: every line, sorted, in one string allocated once at
  // its size. Lines held in memory are copied into it straight from where
  // they were formatted; lines on disk come through the merge.
  std::string Text(std::int32_t threads, const TSortProgress& progress = {});

private:
  class TState;
  std::unique_ptr<TState> State;
};

// Makes and removes a temporary file in `tempDir` as a sort on disk would, so
// that a folder that cannot take one is reported before a long run rather
// than at its end. Throws the std::runtime_error that sort would give.
void CheckTempDir(const std::string& tempDir);
