#include "Consensusscanunit.h"

#include <algorithm>
#include <bit>

#include "Platformunit.h"

namespace {

// The distinct consensus sets of one frontier item, each with the first
// source that produced it. Keys are the item's non-zero words only (every
// consensus is a part of the item). A stamp per slot marks the slots of the
// current item, so starting the next item costs nothing.
class TCandidates {
public:
  TCandidates() { Slots.resize(Mask + 1); }

  std::int32_t Count = 0;
  std::size_t Width = 0;           // words per key
  std::vector<std::uint64_t> Keys; // the first Count keys count; the rest is room
  std::vector<std::int32_t> Sources;

  void Start(std::size_t width) {
    Width = width;
    Count = 0;
    Hashes.clear();
    NextStamp();
  }

  // Room for `extra` more keys.
  void Reserve(std::size_t extra) {
    const std::size_t keys = static_cast<std::size_t>(Count) + extra;
    if (Sources.size() < keys) {
      Sources.resize(2 * keys);
      Keys.resize(2 * keys * Width);
    } else if (Keys.size() < keys * Width) {
      Keys.resize(Sources.size() * Width);
    }
  }
  // Where the next key goes; Commit keeps it or not, without a branch.
  // Pre: Reserve made room for it.
  std::uint64_t* Next() { return &Keys[static_cast<std::size_t>(Count) * Width]; }
  void Commit(std::int32_t source, bool keep) {
    Sources[static_cast<std::size_t>(Count)] = source;
    Count += keep ? 1 : 0;
  }

  template <int NW> void Add(const std::uint64_t* key, std::int32_t source) {
    const std::size_t width = NW > 0 ? NW : Width;
    const std::uint64_t hash = HashWords(key, static_cast<std::int32_t>(width));
    for (std::size_t at = hash & Mask;; at = (at + 1) & Mask) {
      TSlot& slot = Slots[at];
      if (slot.Stamp != Stamp) {
        slot = {Stamp, static_cast<std::uint32_t>(Count)};
        Reserve(1);
        std::copy(key, key + width, Next());
        Hashes.push_back(hash);
        Commit(source, true);
        if (static_cast<std::size_t>(Count) * 2 > Mask + 1) Grow();
        return;
      }
      const std::size_t index = slot.Index;
      if (Hashes[index] != hash) continue;
      const std::uint64_t* stored = &Keys[index * width];
      bool same = true;
      for (std::size_t w = 0; w < width; ++w)
        same &= stored[w] == key[w];
      if (same) return;
    }
  }

  // Adds a key known to be new to this item, without hashing it. An item
  // fills its candidates either all through Add or all through Append.
  void Append(const std::uint64_t* key, std::int32_t source) {
    Reserve(1);
    std::copy(key, key + Width, Next());
    Commit(source, true);
  }

private:
  struct TSlot {
    std::uint32_t Stamp;
    std::uint32_t Index;
  };
  std::vector<std::uint64_t> Hashes;
  std::uint32_t Stamp = 0;
  std::size_t Mask = 63;
  std::vector<TSlot> Slots;

  void NextStamp() {
    if (++Stamp == 0) { // wrapped: old stamps could match again
      std::fill(Slots.begin(), Slots.end(), TSlot{0, 0});
      Stamp = 1;
    }
  }

  void Grow() {
    Mask = 2 * Mask + 1;
    if (Slots.size() < Mask + 1) Slots.resize(Mask + 1, TSlot{0, 0});
    NextStamp();
    for (std::int32_t index = 0; index < Count; ++index) {
      std::size_t at = Hashes[static_cast<std::size_t>(index)] & Mask;
      while (Slots[at].Stamp == Stamp)
        at = (at + 1) & Mask;
      Slots[at] = {Stamp, static_cast<std::uint32_t>(index)};
    }
  }
};

// Candidates wait for their lookups in batches of this size, and each lookup
// fetches its slot this many lookups ahead: the tables are large and most
// lookups miss the cache.
constexpr std::size_t Batch = 512;
constexpr std::size_t Ahead = 16;
// Entries of the cache of known sets (a power of two).
constexpr std::size_t CacheEntries = std::size_t{1} << 13;

// An item of at most 64 targets numbers its consensus sets by gathering a
// row's bits at the item's targets (the index of the consensus among the
// item's 2^members parts), and remembers the numbers it met instead of the
// sets. Both tables below start an item with Start and then answer First.
constexpr std::int64_t GatheredMembers = 64;

// Items of at most this many targets: one bit per number (2 MiB at most).
// The numbers an item meets are few and cluster, so the bits it touches stay
// in a few cache lines; the item clears only the words it set.
constexpr std::int32_t DirectMembers = 24;

class TDirectSeen {
public:
  // Pre: the item meets at most `numbers` numbers.
  void Start(std::int32_t members, std::size_t numbers) {
    const std::size_t words = std::max<std::size_t>(1, (std::size_t{1} << members) / 64);
    if (Held >= Bits.size()) {
      std::fill(Bits.begin(), Bits.end(), 0);
    } else {
      for (std::size_t k = 0; k < Held; ++k)
        Bits[Touched[k] / 64] = 0;
    }
    Held = 0;
    if (Bits.size() < words) Bits.resize(words, 0);
    if (Touched.size() < numbers) Touched.resize(numbers);
  }
  // First on local copies of the tables' state, for a scan's loop: the
  // count of numbers met stays in a register, as it could not while stores to
  // the bits might change it. Close hands the count back.
  class TCursor {
  public:
    explicit TCursor(TDirectSeen& seen)
        : Bits(seen.Bits.data()), Touched(seen.Touched.data()), Held(seen.Held) {}
    // True when `index` was not met before in this item; it is met from now
    // on. No branch: the answer is as hard to guess as a coin.
    bool First(std::uint64_t index) {
      std::uint64_t& word = Bits[index / 64];
      const std::uint64_t bit = std::uint64_t{1} << (index % 64);
      const bool first = (word & bit) == 0;
      word |= bit;
      Touched[Held] = index;
      Held += first ? 1 : 0;
      return first;
    }

  private:
    friend class TDirectSeen;
    std::uint64_t* Bits;
    std::uint64_t* Touched;
    std::size_t Held;
  };
  TCursor Open() { return TCursor(*this); }
  void Close(const TCursor& cursor) { Held = cursor.Held; }
  bool First(std::uint64_t index) {
    TCursor cursor(*this);
    const bool first = cursor.First(index);
    Close(cursor);
    return first;
  }

private:
  std::vector<std::uint64_t> Bits;
  std::vector<std::uint64_t> Touched; // the numbers met since Start: Held of them
  std::size_t Held = 0;
};

// Larger items: an open-addressing set of numbers, stamped per item. TIndex
// holds a number; the narrower it is, the more slots share a cache line.
template <typename TIndex> class THashedSeen {
public:
  void Start(std::int32_t, std::size_t) {
    Mask = 63;
    Held.clear();
    NextStamp();
  }
  // The cursor of a scan's loop: the tables themselves.
  THashedSeen& Open() { return *this; }
  void Close(const THashedSeen&) {}
  bool First(std::uint64_t number) {
    const auto index = static_cast<TIndex>(number);
    for (std::size_t at = Home(index);; at = (at + 1) & Mask) {
      TSlot& slot = Slots[at];
      if (slot.Stamp != Now) {
        slot = {index, Now};
        Held.push_back(index);
        if (Held.size() * 2 > Mask + 1) Grow();
        return true;
      }
      if (slot.Index == index) return false;
    }
  }

private:
  struct TSlot {
    TIndex Index;
    std::uint32_t Stamp;
  };
  std::vector<TSlot> Slots = std::vector<TSlot>(64, TSlot{0, 0});
  std::size_t Mask = 63;
  std::uint32_t Now = 0;
  std::vector<TIndex> Held; // the numbers of the current item

  std::size_t Home(TIndex index) const {
    return static_cast<std::size_t>((index * 0x9E3779B97F4A7C15ull) >> 32) & Mask;
  }
  void NextStamp() {
    if (++Now == 0) {
      std::fill(Slots.begin(), Slots.end(), TSlot{0, 0});
      Now = 1;
    }
  }
  void Grow() {
    Mask = 2 * Mask + 1;
    if (Slots.size() < Mask + 1) Slots.resize(Mask + 1, TSlot{0, 0});
    NextStamp();
    for (const TIndex index : Held) {
      std::size_t at = Home(index);
      while (Slots[at].Stamp == Now)
        at = (at + 1) & Mask;
      Slots[at] = {index, Now};
    }
  }
};

// Numbered scan of the sources `first` .. `first`+count-1, or of the count
// sources listed in `sources` when it is not null.
// Branchless: every source writes its set where the next candidate goes,
// and only a first meeting keeps it. That pays when first meetings are too
// common for the processor to guess.
template <int NW, bool Branchless, typename TSeen>
BICLIQUES_BIT_GATHER_TARGET void
ScanGathered(const TPassView& view, const std::uint64_t* item, const std::size_t* part, std::size_t partCount,
             std::int32_t members, std::int32_t first, const std::int32_t* sources, std::size_t count,
             TSeen& seen, TCandidates& candidates) {
  const std::size_t width = NW > 0 ? NW : static_cast<std::size_t>(view.Words);
  const std::size_t parts = NW > 0 ? NW : partCount;
  int shift[NW > 0 ? NW : GatheredMembers] = {};
  // A part holding all 64 members is the only part holding any, so the index
  // gathered before it is 0: shifting by 0 keeps it, as a shift by 64 (not
  // defined for 64-bit words) would.
  for (std::size_t p = 0; p < parts; ++p)
    shift[p] = std::popcount(item[p]) & 63;
  // Meeting the item itself and a known empty set up front leaves one test
  // per source: Results holds both.
  seen.Start(members, count + 2);
  seen.First(members == 64 ? ~0ull : (1ull << members) - 1);
  if (view.EmptyKnown) seen.First(0);
  candidates.Reserve(count);
  // The loop writes through local pointers and counts in locals: stores to
  // the candidates' words and sources could otherwise change the counts.
  auto cursor = seen.Open();
  std::uint64_t* const keys = candidates.Keys.data();
  std::int32_t* const kept = candidates.Sources.data();
  auto held = static_cast<std::size_t>(candidates.Count);
  for (std::size_t k = 0; k < count; ++k) {
    const std::int32_t j = sources != nullptr ? sources[k] : first + static_cast<std::int32_t>(k);
    const std::uint64_t* row = view.Rows + static_cast<std::size_t>(j) * width;
    std::uint64_t index = GatherBits(row[NW > 0 ? 0 : part[0]], item[0]);
    for (std::size_t p = 1; p < parts; ++p) {
      index = (index << shift[p]) | GatherBits(row[NW > 0 ? p : part[p]], item[p]);
    }
    const bool met = cursor.First(index);
    if (!Branchless && !met) continue;
    std::uint64_t* next = keys + held * parts;
    for (std::size_t p = 0; p < parts; ++p)
      next[p] = item[p] & row[NW > 0 ? p : part[p]];
    kept[held] = j;
    held += met ? 1 : 0;
  }
  seen.Close(cursor);
  candidates.Count = static_cast<std::int32_t>(held);
}

// Items of at most this many targets may number their consensus sets in a
// table of first sources (16 KiB at most), when the table is not much longer
// than the sources scanned.
constexpr std::int32_t TabledMembers = 12;

// The number of the consensus of `item` with `row` among the item's parts:
// each part's bits gathered at the item's targets, the first part highest.
template <int NW>
BICLIQUES_BIT_GATHER_TARGET inline std::uint64_t
GatheredNumber(const std::uint64_t* row, const std::uint64_t* item, const std::size_t* part,
               std::size_t parts, const int* shift) {
  std::uint64_t number = GatherBits(row[NW > 0 ? 0 : part[0]], item[0]);
  for (std::size_t p = 1; p < parts; ++p)
    number = (number << shift[p]) | GatherBits(row[NW > 0 ? p : part[p]], item[p]);
  return number;
}

// Numbered scan for small items into a table with a source per number, -1
// where none (every entry -1 on entry and on return). The sources are
// walked from the last to the first and each writes its number's entry, so
// the entry ends holding the first source of the number: no test and no
// read of the table in the loop, whose only carried work is the index.
// The numbers are then read in ascending order; the item itself and a
// known empty set are left out, as Results holds both.
template <int NW>
BICLIQUES_BIT_GATHER_TARGET void
ScanTabled(const TPassView& view, const std::uint64_t* item, const std::size_t* part, std::size_t partCount,
           std::int32_t members, std::int32_t first, const std::int32_t* sources, std::size_t count,
           std::vector<std::int32_t>& table, TCandidates& candidates) {
  const std::size_t width = NW > 0 ? NW : static_cast<std::size_t>(view.Words);
  const std::size_t parts = NW > 0 ? NW : partCount;
  const std::size_t size = std::size_t{1} << members;
  if (table.size() < size) table.resize(size, -1);
  int shift[NW > 0 ? NW : TabledMembers] = {};
  for (std::size_t p = 0; p < parts; ++p)
    shift[p] = std::popcount(item[p]);
  std::int32_t* const firsts = table.data();
  if (sources != nullptr) {
    for (std::size_t k = count; k-- > 0;) {
      const std::uint64_t* row = view.Rows + static_cast<std::size_t>(sources[k]) * width;
      firsts[GatheredNumber<NW>(row, item, part, parts, shift)] = sources[k];
    }
  } else {
    // Consecutive sources: the row pointer steps back a row at a time.
    const std::uint64_t* row = view.Rows + static_cast<std::size_t>(first) * width + count * width;
    for (auto j = static_cast<std::int32_t>(first + static_cast<std::int32_t>(count)); j-- > first;) {
      row -= width;
      firsts[GatheredNumber<NW>(row, item, part, parts, shift)] = j;
    }
  }
  firsts[size - 1] = -1;
  if (view.EmptyKnown) firsts[0] = -1;
  candidates.Reserve(std::min(count, size));
  for (std::size_t index = 0; index + 1 < size; ++index) {
    const std::int32_t j = firsts[index];
    if (j < 0) continue;
    firsts[index] = -1;
    const std::uint64_t* row = view.Rows + static_cast<std::size_t>(j) * width;
    std::uint64_t* next = candidates.Next();
    for (std::size_t p = 0; p < parts; ++p)
      next[p] = item[p] & row[NW > 0 ? p : part[p]];
    candidates.Commit(j, true);
  }
}

// The scan of the sources `first` .. `first`+count-1 for one-word sets when
// Results has a bit per possible set: a set met before in this item, or
// known, costs one AND and one bit test.
void ScanKnownBits(const TPassView& view, std::uint64_t item, std::int32_t first, std::size_t count,
                   std::int32_t targets, TDirectSeen& seen, TCandidates& candidates) {
  const int shift = 64 - targets;
  seen.Start(targets, count);
  candidates.Reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const std::int32_t j = first + static_cast<std::int32_t>(k);
    const std::uint64_t set = item & view.Rows[static_cast<std::size_t>(j)];
    const std::uint64_t index = set >> shift;
    if (((view.KnownBits[index / 64] >> (index % 64)) & 1) != 0) continue;
    if (!seen.First(index)) continue;
    *candidates.Next() = set;
    candidates.Commit(j, true);
  }
}

} // namespace

struct TScanTables::TState {
  TCandidates Candidates;
  TDirectSeen Direct;
  std::vector<std::int32_t> Firsts; // ScanTabled's table
  THashedSeen<std::uint32_t> Hashed32;
  THashedSeen<std::uint64_t> Hashed64;
  // Full-width candidates of several items awaiting their lookups.
  std::vector<std::uint64_t> PendingWords;
  std::vector<std::uint64_t> PendingHashes;
  std::vector<std::int32_t> PendingSources;
  std::vector<std::uint32_t> Unknown; // pending candidates that Results lacks
  std::vector<std::uint32_t> Fresh;   // of those, the ones the pass has not found yet
  // Pending candidates that the cache below does not know.
  std::vector<std::uint32_t> Lookups;
  // Sets lately found in Results, one per entry by hash: consecutive items
  // meet many of the same sets, and the cache answers without the large
  // table's two memory reads. An entry's hash 0 marks it empty (a set whose
  // hash is 0 is just never cached).
  std::vector<std::uint64_t> CachedHashes;
  std::vector<std::uint64_t> CachedWords;
  std::vector<std::size_t> Part;   // the item's non-zero words
  std::vector<std::uint64_t> Item; // their values
  std::vector<std::uint64_t> Key;
  std::vector<std::uint64_t> Union;  // sources sharing a target with the item
  std::vector<std::int32_t> Reached; // the same, listed
};

TScanTables::TScanTables() : State(std::make_unique<TState>()) {}
TScanTables::~TScanTables() = default;

namespace {

// Looks the pending candidates up, in order, and moves those that neither
// Results, the pass's earlier scans nor `found` hold into `found`.
void Flush(const TPassView& view, TScanTables::TState& state, TFound& found) {
  const std::size_t width = static_cast<std::size_t>(view.Words);
  const std::size_t count = state.PendingSources.size();
  const std::vector<std::uint64_t>& hashes = state.PendingHashes;
  state.Fresh.clear();
  state.Lookups.clear();
  state.Unknown.clear();
  if (state.CachedHashes.empty()) {
    state.CachedHashes.assign(CacheEntries, 0);
    state.CachedWords.assign(CacheEntries * width, 0);
  }
  const auto entry = [&](std::uint64_t hash) {
    return static_cast<std::size_t>(hash >> 8) & (CacheEntries - 1);
  };
  for (std::size_t c = 0; c < count; ++c) {
    const std::size_t e = entry(hashes[c]);
    const std::uint64_t* set = &state.PendingWords[c * width];
    const std::uint64_t* cached = &state.CachedWords[e * width];
    std::uint64_t differ = state.CachedHashes[e] ^ hashes[c];
    for (std::size_t w = 0; w < width; ++w)
      differ |= set[w] ^ cached[w];
    if (differ != 0) state.Lookups.push_back(static_cast<std::uint32_t>(c));
  }
  // A lookup reads its slot and then the set the slot names: fetch the slot
  // two distances ahead and, once it has come, the set one distance ahead.
  const std::size_t lookups = state.Lookups.size();
  for (std::size_t l = 0; l < std::min(2 * Ahead, lookups); ++l)
    view.Known->Prefetch(hashes[state.Lookups[l]]);
  for (std::size_t l = 0; l < std::min(Ahead, lookups); ++l)
    view.Known->PrefetchSet(hashes[state.Lookups[l]]);
  for (std::size_t l = 0; l < lookups; ++l) {
    if (l + 2 * Ahead < lookups) view.Known->Prefetch(hashes[state.Lookups[l + 2 * Ahead]]);
    if (l + Ahead < lookups) view.Known->PrefetchSet(hashes[state.Lookups[l + Ahead]]);
    const std::size_t c = state.Lookups[l];
    const std::uint64_t* set = &state.PendingWords[c * width];
    if (view.Known->Contains(set, hashes[c])) {
      const std::size_t e = entry(hashes[c]);
      state.CachedHashes[e] = hashes[c];
      std::copy(set, set + width, state.CachedWords.begin() + static_cast<std::ptrdiff_t>(e * width));
    } else {
      state.Unknown.push_back(static_cast<std::uint32_t>(c));
    }
  }
  // The same for the pass's earlier finds, a large table too, unless they
  // are all in `found`.
  const std::size_t unknown = view.PassNew->Count() == 0 ? 0 : state.Unknown.size();
  if (unknown == 0) state.Fresh.swap(state.Unknown);
  for (std::size_t u = 0; u < std::min(2 * Ahead, unknown); ++u)
    view.PassNew->Prefetch(hashes[state.Unknown[u]]);
  for (std::size_t u = 0; u < std::min(Ahead, unknown); ++u)
    view.PassNew->PrefetchSet(hashes[state.Unknown[u]]);
  for (std::size_t u = 0; u < unknown; ++u) {
    if (u + 2 * Ahead < unknown) view.PassNew->Prefetch(hashes[state.Unknown[u + 2 * Ahead]]);
    if (u + Ahead < unknown) view.PassNew->PrefetchSet(hashes[state.Unknown[u + Ahead]]);
    const std::size_t c = state.Unknown[u];
    if (!view.PassNew->Contains(&state.PendingWords[c * width], hashes[c]))
      state.Fresh.push_back(static_cast<std::uint32_t>(c));
  }
  const std::size_t fresh = state.Fresh.size();
  for (std::size_t f = 0; f < std::min(Ahead, fresh); ++f)
    found.Sets.Prefetch(hashes[state.Fresh[f]]);
  for (std::size_t f = 0; f < fresh; ++f) {
    if (f + Ahead < fresh) found.Sets.Prefetch(hashes[state.Fresh[f + Ahead]]);
    const std::size_t c = state.Fresh[f];
    if (!found.Sets.Insert(&state.PendingWords[c * width], hashes[c])) continue;
    if (found.KeepHashes) found.Hashes.push_back(hashes[c]);
    found.Sources.push_back(state.PendingSources[c]);
  }
  state.PendingWords.clear();
  state.PendingHashes.clear();
  state.PendingSources.clear();
}

// The pairing of one frontier item B with the sources after its Tag. NW: the
// word count when it is a small constant, else 0 (then only the item's
// non-zero words, its parts, take part).
template <int NW> class TItemScan {
public:
  TItemScan(const TPassView& view, TScanTables::TState& state)
      : View(view), State(state), Width(static_cast<std::size_t>(view.Words)),
        SourceWords(static_cast<std::size_t>(view.SourceWords)), Candidates(state.Candidates) {
    State.Key.resize(Width);
    State.Union.resize(SourceWords);
    Key = State.Key.data();
  }

  // Lists the consensus sets of B with sources first .. RowCount-1 that
  // neither B itself nor a known empty set is, once each, and queues them
  // for their lookups.
  void Scan(const std::uint64_t* B, std::int32_t first) {
    First = first;
    Load(B);
    Candidates.Start(Parts);
    // Sources sharing no target with B give the empty set. When B's targets
    // reach few sources, walk only those, through the columns.
    Members = 0;
    std::int64_t reach = 0;
    ForEachBit(B, View.Words, [&](std::int32_t t) {
      ++Members;
      reach += View.ColumnSizes[t];
    });
    if (Members == 0) return; // every consensus is the empty B itself
    if constexpr (NW == 1) {
      if (View.KnownBits != nullptr) {
        ScanKnownBits(View, B[0], first, static_cast<std::size_t>(View.RowCount - first), View.Targets,
                      State.Direct, Candidates);
        Queue();
        return;
      }
    }
    FirstWord = static_cast<std::size_t>(first) / 64;
    const std::int64_t rowCost =
        static_cast<std::int64_t>(View.RowCount - first) * static_cast<std::int64_t>(Parts);
    const std::int64_t columnCost = Members * static_cast<std::int64_t>(SourceWords - FirstWord) +
                                    reach * static_cast<std::int64_t>(Parts);
    Gathered = Members <= GatheredMembers && HasBitGather();
    if (columnCost < rowCost) {
      ScanReached(B);
    } else if (Gathered) {
      ScanGatheredSources(nullptr, static_cast<std::size_t>(View.RowCount - first));
    } else {
      for (std::int32_t j = first; j < View.RowCount; ++j)
        AddConsensus(j);
    }
    Queue();
  }

private:
  const TPassView& View;
  TScanTables::TState& State;
  const std::size_t Width;
  const std::size_t SourceWords;
  TCandidates& Candidates;
  std::uint64_t* Key = nullptr;
  // The item: its parts, their words in the set, and their values.
  std::size_t Parts = NW;
  const std::size_t* Part = nullptr;
  const std::uint64_t* Item = nullptr;
  std::int32_t First = 0;
  std::size_t FirstWord = 0;
  std::int64_t Members = 0;
  bool Gathered = false;
  bool ManyFirsts = false; // the last gathered item kept over a quarter of its sources

  void Load(const std::uint64_t* B) {
    Item = B;
    if constexpr (NW == 0) {
      State.Part.clear();
      State.Item.clear();
      for (std::size_t w = 0; w < Width; ++w) {
        if (B[w] == 0) continue;
        State.Part.push_back(w);
        State.Item.push_back(B[w]);
      }
      Parts = State.Part.size();
      Item = State.Item.data();
      Part = State.Part.data();
    }
  }

  // Adds the consensus of B with source j, over B's parts, unless it is B
  // itself (j holds all of B, and Results holds B) or an empty set that
  // Results holds.
  void AddConsensus(std::int32_t j) {
    const std::uint64_t* row = View.Rows + static_cast<std::size_t>(j) * Width;
    std::uint64_t lost = 0;
    std::uint64_t kept = 0;
    for (std::size_t p = 0; p < Parts; ++p) {
      const std::uint64_t r = NW > 0 ? row[p] : row[Part[p]];
      Key[p] = Item[p] & r;
      lost |= Item[p] & ~r;
      kept |= Key[p];
    }
    if (lost != 0 && (kept != 0 || !View.EmptyKnown)) Candidates.template Add<NW>(Key, j);
  }

  // The consensus sets of the sources First .. First+count-1, or of the
  // count sources listed in `sources` when it is not null, by gathering.
  void ScanGatheredSources(const std::int32_t* sources, std::size_t count) {
    const auto targets = static_cast<std::int32_t>(Members);
    if (Members <= TabledMembers && (std::size_t{1} << Members) <= 2 * count) {
      ScanTabled<NW>(View, Item, Part, Parts, targets, First, sources, count, State.Firsts, Candidates);
      return;
    }
    if (Members > DirectMembers) {
      if (Members <= 32) {
        ScanGathered<NW, false>(View, Item, Part, Parts, targets, First, sources, count, State.Hashed32,
                                Candidates);
      } else {
        ScanGathered<NW, false>(View, Item, Part, Parts, targets, First, sources, count, State.Hashed64,
                                Candidates);
      }
      return;
    }
    // The last item's share of first meetings predicts this one's.
    if (ManyFirsts) {
      ScanGathered<NW, true>(View, Item, Part, Parts, targets, First, sources, count, State.Direct,
                             Candidates);
    } else {
      ScanGathered<NW, false>(View, Item, Part, Parts, targets, First, sources, count, State.Direct,
                              Candidates);
    }
    ManyFirsts = static_cast<std::size_t>(Candidates.Count) * 4 > count;
  }

  // Walks only the sources that share a target with B, found through the
  // columns; the first source sharing none gives the empty set.
  void ScanReached(const std::uint64_t* B) {
    std::uint64_t* reached = State.Union.data();
    std::fill(reached + FirstWord, reached + SourceWords, 0);
    ForEachBit(B, View.Words, [&](std::int32_t t) {
      const std::uint64_t* column = View.Columns + static_cast<std::size_t>(t) * SourceWords;
      for (std::size_t w = FirstWord; w < SourceWords; ++w)
        reached[w] |= column[w];
    });
    const std::uint64_t fromFirst = ~0ull >> (First % 64);
    reached[FirstWord] &= fromFirst;
    State.Reached.clear();
    ForEachBit(reached, static_cast<std::int32_t>(FirstWord), View.SourceWords,
               [&](std::int32_t j) { State.Reached.push_back(j); });
    if (Gathered) {
      ScanGatheredSources(State.Reached.data(), State.Reached.size());
    } else {
      for (const std::int32_t j : State.Reached)
        AddConsensus(j);
    }
    if (View.EmptyKnown) return;
    for (std::size_t w = FirstWord; w < SourceWords; ++w) {
      const std::uint64_t unreached = ~reached[w] & (w == FirstWord ? fromFirst : ~0ull);
      if (unreached == 0) continue;
      const auto j = static_cast<std::int32_t>(64 * w) + std::countl_zero(unreached);
      if (j < View.RowCount) {
        std::fill(Key, Key + Parts, 0);
        if (Gathered) {
          Candidates.Append(Key, j);
        } else {
          Candidates.template Add<NW>(Key, j);
        }
      }
      return;
    }
  }

  // Moves the candidates, widened to whole sets, to the pending lookups.
  void Queue() {
    // One resize of each for the item: the words outside its parts stay 0.
    const std::size_t start = State.PendingSources.size();
    const auto count = static_cast<std::size_t>(Candidates.Count);
    State.PendingWords.resize((start + count) * Width, 0);
    State.PendingHashes.resize(start + count);
    State.PendingSources.resize(start + count);
    std::uint64_t* const words = State.PendingWords.data() + start * Width;
    std::uint64_t* const hashes = State.PendingHashes.data() + start;
    std::copy(Candidates.Sources.begin(), Candidates.Sources.begin() + static_cast<std::ptrdiff_t>(count),
              State.PendingSources.begin() + static_cast<std::ptrdiff_t>(start));
    const auto hashWords = static_cast<std::int32_t>(NW > 0 ? NW : Width);
    for (std::size_t c = 0; c < count; ++c) {
      const std::uint64_t* compact = &Candidates.Keys[c * Parts];
      std::uint64_t* set = words + c * Width;
      for (std::size_t p = 0; p < Parts; ++p)
        set[NW > 0 ? p : Part[p]] = compact[p];
      hashes[c] = HashWords(set, hashWords);
    }
  }
};

template <int NW>
void ScanItems(const TPassView& view, std::int32_t begin, std::int32_t end, TScanTables::TState& state,
               TFound& found) {
  TItemScan<NW> scan(view, state);
  for (std::int32_t f = begin; f < end && !view.Control->StopRequested(); ++f) {
    // A set is paired only with sources after its Tag: pairs with earlier
    // sources were formed when those sources' sets were themselves the frontier.
    const std::int32_t first = view.Tags[f] + 1;
    if (first >= view.RowCount) continue;
    scan.Scan(view.Known->Set(view.Frontier[f]), first);
    if (state.PendingSources.size() >= Batch) Flush(view, state, found);
  }
  Flush(view, state, found);
}

} // namespace

void ScanFrontier(const TPassView& view, std::int32_t begin, std::int32_t end, TScanTables& tables,
                  TFound& found) {
  TScanTables::TState& state = *tables.State;
  switch (view.Words) {
  case 1:
    return ScanItems<1>(view, begin, end, state, found);
  case 2:
    return ScanItems<2>(view, begin, end, state, found);
  case 3:
    return ScanItems<3>(view, begin, end, state, found);
  case 4:
    return ScanItems<4>(view, begin, end, state, found);
  default:
    return ScanItems<0>(view, begin, end, state, found);
  }
}
