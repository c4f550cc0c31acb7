#include "Sortedlinesunit.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "Parallelunit.h"
#include "Platformunit.h"

// Each thread formats a share of the results. The lines are then split into
// one range of leading bytes per thread, so that every thread sorts and copies
// out its range alone and no merge is needed.

namespace {

// Eight bytes of a line from `from` on as a big-endian number, zero-padded:
// no line byte is 0, so these numbers order like the bytes.
std::uint64_t KeyAt(const char* text, std::size_t length, std::size_t from) {
  if (from + 8 <= length) {
    std::uint64_t key;
    std::memcpy(&key, text + from, sizeof key);
    return BigEndianWord(key);
  }
  std::uint64_t key = 0;
  for (std::size_t i = from; i < from + 8; ++i)
    key = key << 8 | (i < length ? static_cast<unsigned char>(text[i]) : 0u);
  return key;
}

// A line and eight of its bytes, so that most comparisons touch no text.
struct TLineRef {
  std::uint64_t Key;
  const char* Text;
  std::uint32_t Length;
};

// Sorts lines that agree on their first `depth` bytes, each Key holding the
// next eight. Lines that tie on a key are compared on their next eight bytes
// only once, not in every comparison: results often share a long first list.
void SortFrom(TLineRef* first, TLineRef* last, std::size_t depth) {
  std::sort(first, last, [](const TLineRef& a, const TLineRef& b) { return a.Key < b.Key; });
  while (first != last) {
    TLineRef* tie = first + 1;
    while (tie != last && tie->Key == first->Key)
      ++tie;
    // A key ending in a 0 byte holds the end of its line: lines tied on it
    // are equal, and the lines are unique.
    if (tie - first > 1 && (first->Key & 0xff) != 0) {
      for (TLineRef* line = first; line != tie; ++line)
        line->Key = KeyAt(line->Text, line->Length, depth + 8);
      SortFrom(first, tie, depth + 8);
    }
    first = tie;
  }
}

} // namespace

std::string& TLineBlocks::Line() {
  if (Blocks.empty() || Blocks.back().size() >= BlockSize) {
    Blocks.emplace_back();
    Blocks.back().reserve(BlockSize + BlockSize / 8);
  }
  return Blocks.back();
}

void TLineBlocks::End() { Ends.emplace_back(Blocks.size() - 1, Blocks.back().size()); }

// One thread's share: the text of results [First, Last), each line keyed on
// its first eight bytes.
class TLineShare {
public:
  std::int64_t First = 0;
  std::int64_t Last = 0;
  TLineBlocks Text;
  std::vector<TLineRef> Lines;

  void Format(const TRangeFormatter& format) {
    Text.Ends.reserve(static_cast<std::size_t>(Last - First));
    format(First, Last, Text);
    Index();
  }

  // Keys the lines formatted so far; no more lines come after this.
  void Index() {
    // The blocks no longer move: lines can point into them.
    Lines.reserve(Text.Ends.size());
    std::size_t begin = 0;
    std::size_t block = 0;
    for (const auto& [endBlock, end] : Text.Ends) {
      if (endBlock != block) begin = 0;
      block = endBlock;
      const char* text = Text.Blocks[block].data() + begin;
      Lines.push_back({KeyAt(text, end - begin, 0), text, static_cast<std::uint32_t>(end - begin)});
      begin = end;
    }
  }

  // The following serve the batches of WriteSortedResultText.

  void SetBlockSize(std::size_t size) { Text.BlockSize = size; }

  // Bytes this share holds once its lines are keyed and gathered into ranges
  // (two references a line); the break positions go before the ranges come.
  std::size_t Cost() const {
    std::size_t bytes =
        Text.Blocks.capacity() * sizeof(std::string) + Text.Ends.capacity() * sizeof(Text.Ends[0]);
    for (const std::string& block : Text.Blocks)
      bytes += block.capacity();
    return bytes + Text.Ends.size() * 2 * sizeof(TLineRef);
  }

  void ForgetEnds() { std::vector<std::pair<std::size_t, std::size_t>>().swap(Text.Ends); }
  void ForgetLines() { std::vector<TLineRef>().swap(Lines); }
};

namespace {

// Leading keys that cut the lines into `parts` ranges of about equal size;
// range p holds the keys from bound p - 1 (inclusive) up to bound p.
std::vector<std::uint64_t> RangeBounds(const std::vector<TLineShare>& shares, std::size_t parts) {
  std::vector<std::uint64_t> sample;
  for (const TLineShare& share : shares) {
    const std::size_t step = std::max<std::size_t>(1, share.Lines.size() / 1024);
    for (std::size_t i = 0; i < share.Lines.size(); i += step)
      sample.push_back(share.Lines[i].Key);
  }
  std::sort(sample.begin(), sample.end());
  std::vector<std::uint64_t> bounds;
  for (std::size_t p = 1; p < parts && !sample.empty(); ++p)
    bounds.push_back(sample[sample.size() * p / parts]);
  return bounds;
}

std::size_t RangeOf(const std::vector<std::uint64_t>& bounds, std::uint64_t key) {
  return static_cast<std::size_t>(std::upper_bound(bounds.begin(), bounds.end(), key) - bounds.begin());
}

} // namespace

std::string SortedResultText(std::int64_t count, std::int32_t threadCount, const TRangeFormatter& format) {
  const auto threads = static_cast<std::size_t>(std::max<std::int32_t>(1, threadCount));
  std::vector<TLineShare> shares(threads);
  for (std::size_t t = 0; t < threads; ++t) {
    shares[t].First = count * static_cast<std::int64_t>(t) / static_cast<std::int64_t>(threads);
    shares[t].Last = count * static_cast<std::int64_t>(t + 1) / static_cast<std::int64_t>(threads);
  }
  RunTeam(static_cast<std::int32_t>(threads),
          [&](std::int32_t t, const TTeam&) { shares[static_cast<std::size_t>(t)].Format(format); });

  // Range p of leading keys goes to bytes [offsets[p], offsets[p + 1]) of the text.
  const std::vector<std::uint64_t> bounds = RangeBounds(shares, threads);
  std::vector<std::size_t> offsets(threads + 1, 0);
  for (const TLineShare& share : shares) {
    for (const TLineRef& line : share.Lines)
      offsets[RangeOf(bounds, line.Key) + 1] += line.Length + 1;
  }
  for (std::size_t p = 0; p < threads; ++p)
    offsets[p + 1] += offsets[p];

  std::string text(offsets[threads], '\n');
  RunTeam(static_cast<std::int32_t>(threads), [&](std::int32_t part, const TTeam&) {
    const auto p = static_cast<std::size_t>(part);
    std::vector<TLineRef> range;
    for (const TLineShare& share : shares) {
      for (const TLineRef& line : share.Lines) {
        if (RangeOf(bounds, line.Key) == p) range.push_back(line);
      }
    }
    SortFrom(range.data(), range.data() + range.size(), 0);
    char* out = text.data() + offsets[p];
    for (const TLineRef& line : range) {
      std::memcpy(out, line.Text, line.Length);
      out += line.Length + 1; // the break is already there
    }
  });
  return text;
}

// Text larger than memory: batches of consecutive results are formatted until
// they hold about the budget, sorted like above and written as sorted runs to
// a temporary file; the runs are then merged. All file work happens on the
// calling thread, so the formatter and the sort keep their threads.

namespace {

// A temporary file in `Dir`, removed from the folder as soon as it is open,
// so that nothing is left behind even when the process dies; closed when
// this object goes. Written and read at explicit offsets.
class TTempFile {
public:
  explicit TTempFile(const std::string& dir) : Dir(dir) {
    std::string path = (dir.empty() ? std::string(".") : dir) + "/bicliques-sort-XXXXXX";
    Fd = ::mkstemp(path.data());
    if (Fd < 0) throw Failure("cannot create a temporary file", errno);
    if (::unlink(path.c_str()) != 0) {
      const int error = errno;
      ::close(Fd);
      throw Failure("cannot remove a temporary file from the folder", error);
    }
    ::fcntl(Fd, F_SETFD, FD_CLOEXEC);
  }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  ~TTempFile() { ::close(Fd); }

  std::int64_t Size() const { return End; }

  void Append(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t done = ::pwrite(Fd, bytes.data(), bytes.size(), static_cast<off_t>(End));
      if (done < 0 && errno == EINTR) continue;
      // A write that makes no progress means the disk is full.
      if (done <= 0) throw Failure("cannot write a temporary file", done < 0 ? errno : ENOSPC);
      bytes.remove_prefix(static_cast<std::size_t>(done));
      End += done;
    }
  }

  void ReadAt(std::int64_t offset, char* to, std::size_t size) const {
    while (size > 0) {
      const ssize_t done = ::pread(Fd, to, size, static_cast<off_t>(offset));
      if (done < 0 && errno == EINTR) continue;
      if (done < 0) throw Failure("cannot read a temporary file", errno);
      if (done == 0) throw Failure("a temporary file is shorter than written", EIO);
      to += done;
      offset += done;
      size -= static_cast<std::size_t>(done);
    }
  }

  // Empties the file, giving its disk space back.
  void Clear() {
    if (::ftruncate(Fd, 0) != 0) throw Failure("cannot empty a temporary file", errno);
    End = 0;
  }

  std::runtime_error Failure(const std::string& what, int error) const {
    return std::runtime_error("sorting the results in the temporary folder \"" + Dir + "\": " + what + ": " +
                              std::generic_category().message(error));
  }

private:
  std::string Dir;
  int Fd = -1;
  std::int64_t End = 0;
};

// One sorted run: bytes [Begin, End) of a temporary file, lines with breaks.
struct TRun {
  std::int64_t Begin;
  std::int64_t End;
};

// Collects lines, each followed by a break, into blocks of about `size`
// bytes for `sink`. Flush() hands over the last block; it is not done on
// destruction, where a failing sink could not report.
class TBlockOut {
public:
  TBlockOut(std::size_t size, const std::function<void(std::string_view)>& sink) : Size(size), Sink(sink) {
    Block.reserve(size);
  }

  void Add(std::string_view line) {
    if (!Block.empty() && Block.size() + line.size() + 1 > Size) Flush();
    Block.append(line);
    Block.push_back('\n');
  }

  void Flush() {
    if (Block.empty()) return;
    Sink(Block);
    Block.clear();
  }

private:
  std::size_t Size;
  const std::function<void(std::string_view)>& Sink;
  std::string Block;
};

// Reads the lines of one run through a buffer of its own. A line that
// crosses the end of the buffer is put together in Carry.
class TRunReader {
public:
  TRunReader(const TTempFile& file, TRun run, std::size_t bufferSize)
      : File(&file), Next(run.Begin), End(run.End), Buffer(bufferSize) {}

  std::string_view Line;
  std::uint64_t Key = 0; // the first eight bytes of Line, as in the in-memory sort

  // Moves Line to the next line of the run; false at its end. Line stays
  // valid until the next call.
  bool Advance() {
    const char* begin = Buffer.data() + Pos;
    if (const void* brk = std::memchr(begin, '\n', Filled - Pos)) {
      const auto length = static_cast<std::size_t>(static_cast<const char*>(brk) - begin);
      Pos += length + 1;
      return Take({begin, length});
    }
    Carry.assign(begin, Filled - Pos);
    while (Fill()) {
      if (const void* brk = std::memchr(Buffer.data(), '\n', Filled)) {
        const auto length = static_cast<std::size_t>(static_cast<const char*>(brk) - Buffer.data());
        Carry.append(Buffer.data(), length);
        Pos = length + 1;
        return Take(Carry);
      }
      Carry.append(Buffer.data(), Filled);
    }
    if (!Carry.empty()) throw File->Failure("a sorted run ends inside a line", EIO);
    return false;
  }

private:
  const TTempFile* File;
  std::int64_t Next;
  std::int64_t End;
  std::vector<char> Buffer;
  std::size_t Pos = 0;
  std::size_t Filled = 0;
  std::string Carry;

  bool Take(std::string_view line) {
    Line = line;
    Key = KeyAt(line.data(), line.size(), 0);
    return true;
  }

  bool Fill() {
    const auto size = static_cast<std::size_t>(std::min<std::int64_t>(End - Next, std::ssize(Buffer)));
    if (size == 0) return false;
    File->ReadAt(Next, Buffer.data(), size);
    Next += static_cast<std::int64_t>(size);
    Pos = 0;
    Filled = size;
    return true;
  }
};

bool Before(const TRunReader& a, const TRunReader& b) {
  return a.Key != b.Key ? a.Key < b.Key : a.Line < b.Line;
}

// Merges `runs` of `file` into `out`, through a heap of the runs' current
// lines (smallest first).
void MergeRuns(const TTempFile& file, const std::vector<TRun>& runs, std::size_t bufferSize, TBlockOut& out) {
  std::vector<TRunReader> readers;
  readers.reserve(runs.size());
  for (const TRun& run : runs)
    readers.emplace_back(file, run, bufferSize);
  std::vector<TRunReader*> heap;
  for (TRunReader& reader : readers) {
    if (reader.Advance()) heap.push_back(&reader);
  }
  const auto after = [](const TRunReader* a, const TRunReader* b) { return Before(*b, *a); };
  std::make_heap(heap.begin(), heap.end(), after);
  while (!heap.empty()) {
    out.Add(heap[0]->Line);
    if (!heap[0]->Advance()) {
      heap[0] = heap.back();
      heap.pop_back();
    }
    // The top changed: let it sink to its place.
    for (std::size_t at = 0;;) {
      std::size_t least = at;
      for (std::size_t child = 2 * at + 1; child <= 2 * at + 2 && child < heap.size(); ++child) {
        if (Before(*heap[child], *heap[least])) least = child;
      }
      if (least == at) break;
      std::swap(heap[at], heap[least]);
      at = least;
    }
  }
}

// Formats results from `first` on into `shares`, one per thread, in chunks
// handed out in ascending order, until the shares hold about `limit` bytes or
// every result is in. Every chunk handed out is formatted, so the batch is
// the results [first, returned end).
std::int64_t FormatBatch(std::vector<TLineShare>& shares, std::int64_t first, std::int64_t count,
                         std::size_t limit, std::size_t chunkBytes, const TRangeFormatter& format) {
  constexpr std::int64_t MaxChunk = 65536;
  std::atomic<std::int64_t> next{first};
  std::atomic<std::size_t> held{0};
  RunTeam(static_cast<std::int32_t>(shares.size()), [&](std::int32_t t, const TTeam& team) {
    TLineShare& share = shares[static_cast<std::size_t>(t)];
    std::size_t cost = 0;
    std::int64_t lines = 0;
    while (!team.Stopping() && held.load(std::memory_order_relaxed) < limit) {
      // Sized from this share's bytes per line so far: a chunk adds about
      // chunkBytes, so the batch ends close to its limit.
      const std::int64_t size =
          lines == 0 ? 1
                     : std::clamp<std::int64_t>(
                           static_cast<std::int64_t>(
                               chunkBytes / std::max<std::size_t>(1, cost / static_cast<std::size_t>(lines))),
                           1, MaxChunk);
      const std::int64_t from = next.fetch_add(size);
      if (from >= count) break;
      const std::int64_t to = std::min(count, from + size);
      format(from, to, share.Text);
      lines += to - from;
      const std::size_t now = share.Cost();
      held.fetch_add(now - cost, std::memory_order_relaxed);
      cost = now;
    }
  });
  return std::min(count, next.load());
}

// The lines of `shares`, cut into one range of leading keys per thread, each
// sorted; the ranges follow each other in order.
std::vector<std::vector<TLineRef>> SortedRanges(std::vector<TLineShare>& shares) {
  const std::size_t threads = shares.size();
  const auto team = static_cast<std::int32_t>(threads);
  RunTeam(team, [&](std::int32_t t, const TTeam&) {
    TLineShare& share = shares[static_cast<std::size_t>(t)];
    share.Index();
    share.ForgetEnds();
  });
  const std::vector<std::uint64_t> bounds = RangeBounds(shares, threads);
  std::vector<std::vector<TLineRef>> ranges(threads);
  RunTeam(team, [&](std::int32_t part, const TTeam&) {
    const auto p = static_cast<std::size_t>(part);
    std::size_t size = 0;
    for (const TLineShare& share : shares) {
      for (const TLineRef& line : share.Lines)
        size += RangeOf(bounds, line.Key) == p ? 1 : 0;
    }
    std::vector<TLineRef>& range = ranges[p];
    range.reserve(size);
    for (const TLineShare& share : shares) {
      for (const TLineRef& line : share.Lines) {
        if (RangeOf(bounds, line.Key) == p) range.push_back(line);
      }
    }
    SortFrom(range.data(), range.data() + range.size(), 0);
  });
  for (TLineShare& share : shares)
    share.ForgetLines();
  return ranges;
}

void AddRanges(const std::vector<std::vector<TLineRef>>& ranges, TBlockOut& out) {
  for (const std::vector<TLineRef>& range : ranges) {
    for (const TLineRef& line : range)
      out.Add({line.Text, line.Length});
  }
  out.Flush();
}

} // namespace

void WriteSortedResultText(std::int64_t count, std::int32_t threadCount, const TRangeFormatter& format,
                           std::int64_t memoryBudget, const std::function<void(std::string_view)>& write,
                           const std::string& tempDir) {
  const auto threads = static_cast<std::size_t>(std::max<std::int32_t>(1, threadCount));
  const auto budget = static_cast<std::size_t>(std::max<std::int64_t>(1024, memoryBudget));
  // One buffer: a block for `write`, the read buffer of one run in a merge.
  const std::size_t bufferSize = std::clamp<std::size_t>(budget / 16, 64, std::size_t{1} << 20);
  // A merge holds one buffer per run in half the budget.
  const std::size_t fanIn = std::max<std::size_t>(2, budget / 2 / bufferSize);
  // Every thread may add one more chunk after the limit is reached.
  const std::size_t chunkBytes = std::max<std::size_t>(1, budget / 16 / threads);
  const std::size_t limit = budget - budget / 8 - bufferSize;
  const std::size_t blockSize = std::clamp<std::size_t>(chunkBytes, 256, std::size_t{1} << 20);

  std::unique_ptr<TTempFile> runsFile;
  std::vector<TRun> runs;
  std::int64_t first = 0;
  do {
    std::vector<TLineShare> shares(threads);
    for (TLineShare& share : shares)
      share.SetBlockSize(blockSize);
    const std::int64_t last = FormatBatch(shares, first, count, limit, chunkBytes, format);
    const std::vector<std::vector<TLineRef>> ranges = SortedRanges(shares);
    if (first == 0 && last == count) {
      // Everything fits: straight to `write`.
      TBlockOut out(bufferSize, write);
      AddRanges(ranges, out);
      return;
    }
    if (!runsFile) runsFile = std::make_unique<TTempFile>(tempDir);
    const std::function<void(std::string_view)> append = [&](std::string_view bytes) {
      runsFile->Append(bytes);
    };
    TBlockOut out(bufferSize, append);
    const std::int64_t begin = runsFile->Size();
    AddRanges(ranges, out);
    runs.push_back({begin, runsFile->Size()});
    first = last;
  } while (first < count);

  // Too many runs for one merge: merge groups of them into a second file,
  // then swap the files, until one merge will do.
  std::unique_ptr<TTempFile> otherFile;
  while (runs.size() > fanIn) {
    if (!otherFile) otherFile = std::make_unique<TTempFile>(tempDir);
    const std::function<void(std::string_view)> append = [&](std::string_view bytes) {
      otherFile->Append(bytes);
    };
    std::vector<TRun> merged;
    for (std::size_t from = 0; from < runs.size(); from += fanIn) {
      const std::vector<TRun> group(runs.begin() + static_cast<std::ptrdiff_t>(from),
                                    runs.begin() +
                                        static_cast<std::ptrdiff_t>(std::min(runs.size(), from + fanIn)));
      TBlockOut out(bufferSize, append);
      const std::int64_t begin = otherFile->Size();
      MergeRuns(*runsFile, group, bufferSize, out);
      out.Flush();
      merged.push_back({begin, otherFile->Size()});
    }
    runsFile->Clear();
    std::swap(runsFile, otherFile);
    runs = std::move(merged);
  }
  TBlockOut out(bufferSize, write);
  MergeRuns(*runsFile, runs, bufferSize, out);
  out.Flush();
}

void CheckTempDir(const std::string& tempDir) { const TTempFile probe(tempDir); }
