#include "Sortedlinesunit.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include "Parallelunit.h"
#include "Platformunit.h"

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

// The first place at or after `from`, below `end`, where `a` and `b`
// differ; `end` when they agree up to there.
std::size_t Mismatch(const char* a, const char* b, std::size_t from, std::size_t end) {
#if BICLIQUES_X86
  // Tied lines often share hundreds of bytes: sixteen at a time.
  for (; from + 16 <= end; from += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + from));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + from));
    const auto differ = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) & 0xFFFFu;
    if (differ != 0) return from + static_cast<std::size_t>(std::countr_zero(differ));
  }
#endif
  for (; from + 8 <= end; from += 8) {
    std::uint64_t x;
    std::uint64_t y;
    std::memcpy(&x, a + from, sizeof x);
    std::memcpy(&y, b + from, sizeof y);
    if (x != y)
      return from + static_cast<std::size_t>(std::countl_zero(BigEndianWord(x) ^ BigEndianWord(y)) / 8);
  }
  while (from < end && a[from] == b[from])
    ++from;
  return from;
}

// Calls a poll every so many steps of a sort: where a long sort learns that
// it is to end (the poll throws).
class TSortTicks {
public:
  explicit TSortTicks(std::function<void()> poll = {}) : Poll(std::move(poll)) {}
  void Tick() {
    if (--Left != 0) return;
    Left = Period;
    if (Poll) Poll();
  }

private:
  static constexpr std::uint32_t Period = std::uint32_t{1} << 14;
  std::uint32_t Left = Period;
  std::function<void()> Poll;
};

// Sorts lines that agree on their first `depth` bytes, each Key holding the
// next eight. Lines that tie on a key are keyed again only once, past the
// bytes they all share: results often share a long first list.
void SortFrom(TLineRef* first, TLineRef* last, std::size_t depth, TSortTicks& ticks) {
  std::sort(first, last, [&ticks](const TLineRef& a, const TLineRef& b) {
    ticks.Tick();
    return a.Key < b.Key;
  });
  while (first != last) {
    TLineRef* tie = first + 1;
    while (tie != last && tie->Key == first->Key)
      ++tie;
    // A key ending in a 0 byte holds the end of its line: lines tied on it
    // are equal, and the lines are unique.
    if (tie - first > 1 && (first->Key & 0xff) != 0) {
      // The tied lines' text lies anywhere in the blocks: fetched a few
      // lines ahead.
      constexpr std::ptrdiff_t Ahead = 4;
      for (const TLineRef* line = first; line != tie && line - first < Ahead; ++line)
        PrefetchRead(line->Text + depth + 8);
      std::size_t shared = first->Length;
      for (const TLineRef* line = first + 1; line != tie; ++line) {
        if (tie - line > Ahead) PrefetchRead(line[Ahead].Text + depth + 8);
        shared = Mismatch(first->Text, line->Text, depth + 8, std::min<std::size_t>(shared, line->Length));
      }
      for (TLineRef* line = first; line != tie; ++line) {
        ticks.Tick();
        line->Key = KeyAt(line->Text, line->Length, shared);
      }
      SortFrom(first, tie, shared, ticks);
    }
    first = tie;
  }
}

constexpr std::size_t LargePage = std::size_t{2} << 20;

std::size_t PageSize() {
  static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return page;
}

// Maps `bytes` (whole pages) of fresh memory; throws std::bad_alloc. From a
// large page on, the mapping starts on a large page (mapped a large page
// longer and trimmed) and is advised as large pages: the text and the
// references of many lines are written once, straight after they are
// mapped, and large pages save most of the faults of that first touch. A
// hint the system refuses costs nothing.
char* MapPages(std::size_t bytes) {
  const bool large = bytes >= LargePage;
  const std::size_t mapped = large ? bytes + LargePage : bytes;
  void* region = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (region == MAP_FAILED) throw std::bad_alloc();
  auto* begin = static_cast<char*>(region);
  if (!large) return begin;
  const auto address = reinterpret_cast<std::uintptr_t>(region);
  const std::size_t head = ((address + LargePage - 1) & ~(LargePage - 1)) - address;
  if (head > 0) ::munmap(region, head);
  if (head < LargePage) ::munmap(begin + head + bytes, LargePage - head);
  begin += head;
  ::madvise(begin, bytes, MADV_HUGEPAGE);
  return begin;
}

} // namespace

TLineRefs::TLineRefs(TLineRefs&& other) noexcept
    : Data(std::exchange(other.Data, nullptr)), Count(std::exchange(other.Count, 0)),
      Room(std::exchange(other.Room, 0)) {}

TLineRefs& TLineRefs::operator=(TLineRefs&& other) noexcept {
  if (this != &other) {
    Clear();
    Data = std::exchange(other.Data, nullptr);
    Count = std::exchange(other.Count, 0);
    Room = std::exchange(other.Room, 0);
  }
  return *this;
}

TLineRefs::~TLineRefs() { Clear(); }

void TLineRefs::Reserve(std::size_t count) {
  if (count <= Room) return;
  // Mapped memory of its own, so that growing remaps pages and never copies.
  const std::size_t page = PageSize();
  const std::size_t bytes = (count * sizeof(TLineRef) + page - 1) / page * page;
#if defined(__SANITIZE_THREAD__)
  // The thread sanitizer does not follow mremap: pages moved to an address
  // it saw before keep that address's old accesses, a race that is not
  // there. It follows mmap and munmap.
  constexpr bool remap = false;
#else
  constexpr bool remap = true;
#endif
  char* grown = MapPages(bytes);
  if (Data != nullptr) {
    // The old pages move to the start of the new mapping, which they replace
    // as one mapping that the next growth can move again.
    if (!remap || ::mremap(static_cast<void*>(Data), Bytes(), bytes, MREMAP_MAYMOVE | MREMAP_FIXED, grown) ==
                      MAP_FAILED) {
      std::memcpy(grown, Data, Room * sizeof(TLineRef));
      ::munmap(static_cast<void*>(Data), Bytes());
    }
  }
  Data = reinterpret_cast<TLineRef*>(grown);
  Room = bytes / sizeof(TLineRef);
  // Advised as a whole: pages of mixed advice would split the mapping, and
  // mremap takes only a range within one.
  ::madvise(grown, bytes, MADV_HUGEPAGE);
}

std::size_t TLineRefs::Bytes() const {
  const std::size_t page = PageSize();
  return (Room * sizeof(TLineRef) + page - 1) / page * page;
}

void TLineRefs::Clear() noexcept {
  if (Data != nullptr) ::munmap(static_cast<void*>(Data), Bytes());
  Data = nullptr;
  Count = 0;
  Room = 0;
}

// Where a worker writes its lines: append one line's text (no break) to
// Line(), a buffer that stays in the cache, then call End(), which keys the
// line and copies it, with its break, into blocks of mapped pages that never
// move, so that the lines can be sorted and copied out, break included,
// without first growing one buffer.
class TLineBlocks {
public:
  TLineBlocks() = default;
  TLineBlocks(const TLineBlocks&) = delete;
  TLineBlocks& operator=(const TLineBlocks&) = delete;
  ~TLineBlocks();

  std::string& Line() {
    Scratch.clear();
    return Scratch;
  }
  void End();

private:
  friend class TLineShare;
  // A mapped block of text.
  struct TBlock {
    char* Begin;
    std::size_t Bytes;
  };
  // A new block is mapped with room for at least this many bytes. From a
  // large page on, blocks are aligned to large pages, whose first touch
  // costs one fault instead of 512.
  std::size_t BlockSize = std::size_t{1} << 20;
  std::string Scratch; // the line being made
  std::vector<TBlock> Blocks;
  char* Next = nullptr;  // where the next line goes in the last block
  char* Limit = nullptr; // the end of the last block
  TLineRefs Lines;

  // Maps a block with room for at least `bytes`; throws std::bad_alloc.
  void NewBlock(std::size_t bytes);
  // Unmaps every block and forgets every line.
  void Clear() noexcept;
};

TLineBlocks::~TLineBlocks() { Clear(); }

void TLineBlocks::NewBlock(std::size_t bytes) {
  const std::size_t page = PageSize();
  bytes = (std::max(bytes, BlockSize) + page - 1) / page * page;
  if (bytes >= LargePage) bytes = (bytes + LargePage - 1) / LargePage * LargePage;
  Blocks.reserve(Blocks.size() + 1);
  char* begin = MapPages(bytes);
  Blocks.push_back({begin, bytes});
  Next = begin;
  Limit = begin + bytes;
}

void TLineBlocks::End() {
  const std::size_t length = Scratch.size();
  if (static_cast<std::size_t>(Limit - Next) < length + 1) NewBlock(length + 1);
  std::memcpy(Next, Scratch.data(), length);
  Next[length] = '\n';
  // Keyed from the copy still in the cache.
  Lines.Add({KeyAt(Scratch.data(), length, 0), Next, static_cast<std::uint32_t>(length)});
  Next += length + 1;
}

void TLineBlocks::Clear() noexcept {
  for (const TBlock& block : Blocks)
    ::munmap(block.Begin, block.Bytes);
  Blocks.clear();
  Next = nullptr;
  Limit = nullptr;
  Lines.Clear();
}

// One worker's share: its lines, each keyed on its first eight bytes.
class TLineShare {
public:
  TLineBlocks Text;

  const TLineRefs& Lines() const { return Text.Lines; }

  // Sorts the lines; no more lines come after this until Clear.
  void Sort(TSortTicks& ticks) { SortFrom(Text.Lines.begin(), Text.Lines.end(), 0, ticks); }

  void SetBlockSize(std::size_t size) { Text.BlockSize = size; }

  // Bytes of the last line, its break included. Pre: a line has ended.
  std::size_t LastBytes() const { return Text.Lines.back().Length + std::size_t{1}; }

  // Frees the lines and their text.
  void Clear() { Text.Clear(); }
};

// Lines handed in as they are found: each worker keeps its own share; a
// worker that finds the budget full sorts its share and appends it as a
// sorted run to a temporary file; Finish sorts what is left, each share on a
// thread, and merges the shares, or when runs were written, the runs.

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

  // A line of a share, its break after it in memory: a line longer than a
  // block goes to the sink as it is, not copied into a block.
  void Add(const TLineRef& line) {
    if (line.Length + std::size_t{1} <= Size) {
      Add({line.Text, line.Length});
      return;
    }
    Flush();
    Sink({line.Text, line.Length + std::size_t{1}});
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

// Lines written out between two calls of a TSortProgress.
constexpr std::int64_t LinesPerProgress = 4096;

// Counts lines written out and calls `progress` every LinesPerProgress of
// them: with their count, or with 0 for lines that are not the output (a
// merge into a temporary file).
class TWrittenLines {
public:
  TWrittenLines(const TSortProgress& progress, bool output) : Progress(progress), Output(output) {}
  void Add() {
    if (++Done % LinesPerProgress == 0) Tell();
  }
  void Tell() const {
    if (Progress) Progress(Output ? Done : 0);
  }

private:
  const TSortProgress& Progress;
  bool Output;
  std::int64_t Done = 0;
};

// Merges `runs` of `file` into `out`, through a heap of the runs' current
// lines (smallest first).
void MergeRuns(const TTempFile& file, const std::vector<TRun>& runs, std::size_t bufferSize, TBlockOut& out,
               TWrittenLines& written) {
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
    written.Add();
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

// Sorts every share, on `threads` threads. The calling thread polls
// `progress` while it sorts and while it waits for the others; the others
// end their sorts when that poll throws.
void SortShares(std::vector<TLineShare>& shares, std::size_t threads, const TSortProgress& progress) {
  // What ends a helper's sort once the team is stopping; the caller sees the
  // poll's own exception.
  struct TSortEnded {};
  const auto poll = [&progress] {
    if (progress) progress(0);
  };
  RunTeamWatched(static_cast<std::int32_t>(threads), std::chrono::milliseconds(20), poll,
                 [&](std::int32_t t, const TTeam& team) {
                   TSortTicks ticks = t == 0 ? TSortTicks(poll) : TSortTicks([&team] {
                     if (team.Stopping()) throw TSortEnded();
                   });
                   for (auto s = static_cast<std::size_t>(t); s < shares.size(); s += threads)
                     shares[s].Sort(ticks);
                 });
}

bool Before(const TLineRef& a, const TLineRef& b) {
  return std::string_view(a.Text, a.Length) < std::string_view(b.Text, b.Length);
}

// Hands the lines of sorted `shares` to `add`, merged in order.
template <class TAdd>
void MergeShares(const std::vector<TLineShare>& shares, TAdd add, TWrittenLines& written) {
  // Sorted lines lie anywhere in the blocks: their text is fetched a few
  // lines ahead.
  constexpr std::ptrdiff_t Ahead = 8;
  struct TCursor {
    const TLineRef* At;
    const TLineRef* End;
  };
  std::vector<TCursor> cursors;
  for (const TLineShare& share : shares) {
    if (!share.Lines().empty()) cursors.push_back({share.Lines().begin(), share.Lines().end()});
  }
  while (!cursors.empty()) {
    std::size_t least = 0;
    for (std::size_t c = 1; c < cursors.size(); ++c) {
      if (Before(*cursors[c].At, *cursors[least].At)) least = c;
    }
    TCursor& cursor = cursors[least];
    if (cursor.End - cursor.At > Ahead) PrefetchRead(cursor.At[Ahead].Text);
    add(*cursor.At);
    written.Add();
    if (++cursor.At == cursor.End) cursors.erase(cursors.begin() + static_cast<std::ptrdiff_t>(least));
  }
}

// Bytes a held line costs beside its text and break: its reference, and
// as much again while the references grow.
constexpr std::size_t LineIndexBytes = 2 * sizeof(TLineRef);

} // namespace

class TSortedLineSink::TState {
public:
  TState(std::int32_t workers, std::int64_t memoryBudget, std::string tempDir)
      : TempDir(std::move(tempDir)), Shares(static_cast<std::size_t>(std::max<std::int32_t>(1, workers))),
        Held(Shares.size()), TextBytes(Shares.size(), 0) {
    const auto budget = static_cast<std::size_t>(std::max<std::int64_t>(1024, memoryBudget));
    BufferSize = std::clamp<std::size_t>(budget / 16, 64, std::size_t{1} << 20);
    FanIn = std::max<std::size_t>(2, budget / 2 / BufferSize);
    Limit = budget - budget / 8 - BufferSize;
    // Every worker may hold one step more than the budget knows of.
    Step = std::clamp<std::size_t>(budget / 16 / Shares.size(), 256, std::size_t{64} << 10);
    const std::size_t blockSize =
        std::clamp<std::size_t>(budget / 16 / Shares.size(), 256, std::size_t{8} << 20);
    for (TLineShare& share : Shares)
      share.SetBlockSize(blockSize);
  }

  std::string& Line(std::int32_t worker) { return Shares[static_cast<std::size_t>(worker)].Text.Line(); }

  void End(std::int32_t worker) {
    const auto w = static_cast<std::size_t>(worker);
    TLineShare& share = Shares[w];
    share.Text.End();
    TextBytes[w] += share.LastBytes();
    Account(w, share.LastBytes() + LineIndexBytes);
  }

  // Worker `w` holds `bytes` more; its lines go to disk when the shares
  // together hold more than the budget.
  void Account(std::size_t w, std::size_t bytes) {
    THeld& held = Held[w];
    held.Bytes += bytes;
    if (held.Bytes - held.Told < Step) return;
    const std::size_t total = Total.fetch_add(held.Bytes - held.Told) + (held.Bytes - held.Told);
    held.Told = held.Bytes;
    if (total > Limit) Spill(w);
  }

  void Finish(std::int32_t threadCount, const std::function<void(std::string_view)>& write,
              const TSortProgress& progress) {
    SortShares(Shares, static_cast<std::size_t>(std::max<std::int32_t>(1, threadCount)), progress);
    TWrittenLines written(progress, true);
    if (!File) {
      // Everything fits: straight to `write`.
      TBlockOut out(BufferSize, write);
      MergeShares(
          Shares, [&out](const TLineRef& line) { out.Add(line); }, written);
      out.Flush();
    } else {
      for (TLineShare& share : Shares) {
        if (!share.Lines().empty()) AppendRun(share);
        share.Clear();
      }
      MergeAll(write, progress, written);
    }
    written.Tell();
  }

  std::string Text(std::int32_t threadCount, const TSortProgress& progress) {
    std::string text;
    std::size_t bytes = 0;
    for (const std::size_t worker : TextBytes)
      bytes += worker;
    text.reserve(bytes);
    if (File) {
      Finish(
          threadCount, [&text](std::string_view block) { text += block; }, progress);
      return text;
    }
    SortShares(Shares, static_cast<std::size_t>(std::max<std::int32_t>(1, threadCount)), progress);
    TWrittenLines written(progress, true);
    // Each line with the break that follows it in its block.
    MergeShares(
        Shares, [&text](const TLineRef& line) { text.append(line.Text, line.Length + std::size_t{1}); },
        written);
    written.Tell();
    return text;
  }

private:
  // What a worker's share holds, and how much of it Total knows of.
  struct THeld {
    std::size_t Bytes = 0;
    std::size_t Told = 0;
  };

  std::string TempDir;
  std::vector<TLineShare> Shares;
  std::vector<THeld> Held;
  std::vector<std::size_t> TextBytes; // of each worker's lines, breaks included, on disk or not
  std::size_t BufferSize = 0;         // a block for `write`, the read buffer of one run in a merge
  std::size_t FanIn = 0;              // runs one merge takes, their buffers in half the budget
  std::size_t Limit = 0;              // bytes the shares may hold together
  std::size_t Step = 0;               // a worker tells Total of its bytes in steps of this many
  std::atomic<std::size_t> Total{0};
  std::mutex FileLock; // guards File and Runs while workers spill
  std::unique_ptr<TTempFile> File;
  std::vector<TRun> Runs;

  // Sorts worker `w`'s lines to a run on disk, on the worker's thread.
  void Spill(std::size_t w) {
    TLineShare& share = Shares[w];
    TSortTicks ticks;
    share.Sort(ticks);
    {
      const std::lock_guard<std::mutex> hold(FileLock);
      AppendRun(share);
    }
    share.Clear();
    Total.fetch_sub(Held[w].Told);
    Held[w] = THeld{};
  }

  // Appends the sorted lines of `share` as one run. Pre: FileLock held, or
  // no worker runs.
  void AppendRun(const TLineShare& share) {
    if (!File) File = std::make_unique<TTempFile>(TempDir);
    const std::function<void(std::string_view)> append = [this](std::string_view bytes) {
      File->Append(bytes);
    };
    TBlockOut out(BufferSize, append);
    const std::int64_t begin = File->Size();
    for (const TLineRef& line : share.Lines())
      out.Add(line);
    out.Flush();
    Runs.push_back({begin, File->Size()});
  }

  // Merges the runs to `write`: too many runs for one merge are merged in
  // groups into a second file, then the files swap, until one merge will do.
  // The calling thread tells `progress` of the last merge's lines in
  // `written`, and polls it with none written during the merges before.
  void MergeAll(const std::function<void(std::string_view)>& write, const TSortProgress& progress,
                TWrittenLines& written) {
    std::unique_ptr<TTempFile> other;
    while (Runs.size() > FanIn) {
      if (!other) other = std::make_unique<TTempFile>(TempDir);
      const std::function<void(std::string_view)> append = [&](std::string_view bytes) {
        other->Append(bytes);
      };
      std::vector<TRun> merged;
      for (std::size_t from = 0; from < Runs.size(); from += FanIn) {
        const std::vector<TRun> group(Runs.begin() + static_cast<std::ptrdiff_t>(from),
                                      Runs.begin() +
                                          static_cast<std::ptrdiff_t>(std::min(Runs.size(), from + FanIn)));
        TBlockOut out(BufferSize, append);
        const std::int64_t begin = other->Size();
        TWrittenLines none(progress, false);
        MergeRuns(*File, group, BufferSize, out, none);
        out.Flush();
        merged.push_back({begin, other->Size()});
      }
      File->Clear();
      std::swap(File, other);
      Runs = std::move(merged);
    }
    TBlockOut out(BufferSize, write);
    MergeRuns(*File, Runs, BufferSize, out, written);
    out.Flush();
  }
};

TSortedLineSink::TSortedLineSink(std::int32_t workers, std::int64_t memoryBudget, std::string tempDir)
    : State(std::make_unique<TState>(workers, memoryBudget, std::move(tempDir))) {}

TSortedLineSink::~TSortedLineSink() = default;

std::string& TSortedLineSink::Line(std::int32_t worker) { return State->Line(worker); }

void TSortedLineSink::End(std::int32_t worker) { State->End(worker); }

void TSortedLineSink::Finish(std::int32_t threads, const std::function<void(std::string_view)>& write,
                             const TSortProgress& progress) {
  State->Finish(threads, write, progress);
}

std::string TSortedLineSink::Text(std::int32_t threads, const TSortProgress& progress) {
  return State->Text(threads, progress);
}

void CheckTempDir(const std::string& tempDir) { const TTempFile probe(tempDir); }
