#include "Consensuscoreunit.h"

#include <algorithm>
#include <cassert>
#include <numeric>

#include "Consensusscanunit.h"
#include "Parallelunit.h"
#include "Platformunit.h"
#include "Wordsetunit.h"

namespace {

// Below this many word operations a step runs on the calling thread alone.
constexpr std::int64_t ParallelWork = 1 << 16;
// Chunks per worker: enough to even out items of unequal work. The chunks
// run in rounds of ChunksPerRound chunks per worker; a round's scans skip
// the sets that earlier rounds found, so that few sets are found twice.
constexpr std::int64_t ChunksPerWorker = 8;
constexpr std::int64_t ChunksPerRound = 2;
// Long loops look at the stop request after this many steps.
constexpr std::size_t StopCheckSpan = std::size_t{1} << 16;
// Hash table walks fetch the slot this many sets ahead: the tables are large.
constexpr std::size_t PrefetchAhead = 16;

std::int32_t WorkerCount(std::int64_t work, std::int32_t threads) {
  return work < ParallelWork ? 1 : threads;
}

// Runs of sets that tie on their leading words up to this long are sorted by
// comparing whole sets.
constexpr std::size_t SmallRun = 16;

// Where a set stands among sets equal before word `from`: its first non-zero
// word from `from` on decides, the earlier and the larger the later in order.
// Lead: width minus the index of that word, 0 when there is none; Value:
// that word; Number: the set's number, which breaks ties between equal sets.
// The three are packed into two words that compare as one 128-bit number.
struct TSortKey {
  std::uint64_t High; // Lead, then the high half of Value
  std::uint64_t Low;  // the low half of Value, then Number
  TSortKey() = default;
  TSortKey(std::uint32_t lead, std::uint32_t number, std::uint64_t value)
      : High(std::uint64_t{lead} << 32 | value >> 32), Low(value << 32 | number) {}
  std::uint32_t Lead() const { return static_cast<std::uint32_t>(High >> 32); }
  std::uint32_t Number() const { return static_cast<std::uint32_t>(Low); }
  // Same lead and word.
  bool Ties(const TSortKey& other) const { return High == other.High && (Low >> 32) == (other.Low >> 32); }
  bool operator<(const TSortKey& other) const {
    return High != other.High ? High < other.High : Low < other.Low;
  }
};

// std::sort, on every thread when there are enough keys: one split around
// the middle key, then each half on its own thread.
void SortKeys(std::vector<TSortKey>& keys, std::int32_t threads) {
  const std::int32_t workers = WorkerCount(static_cast<std::int64_t>(keys.size()), threads);
  if (workers == 1) {
    std::sort(keys.begin(), keys.end());
    return;
  }
  const auto middle = keys.begin() + static_cast<std::ptrdiff_t>(keys.size() / 2);
  std::nth_element(keys.begin(), middle, keys.end());
  ParallelFor(2, workers, [&](std::int32_t, std::int64_t half) {
    if (half == 0) {
      std::sort(keys.begin(), middle);
    } else {
      std::sort(middle, keys.end());
    }
  });
}

// Sorts the `count` set numbers at `order` by their sets (`width` words at
// sets[number]), equal sets by number, and marks in `repeat` every set equal
// to one of a smaller number. The sets agree on their words before `from`.
// A set's first non-zero word settles most comparisons, so a sort of those
// words goes first and only the sets that tie on it are read further.
void SortSets(const std::uint64_t* const* sets, std::size_t width, std::uint32_t* order, std::size_t count,
              std::size_t from, std::vector<char>& repeat, std::int32_t threads, const TRunControl& control) {
  control.CheckStop();
  std::vector<TSortKey> keyed;
  keyed.reserve(count); // written once, by the loop
  for (std::size_t k = 0; k < count; ++k) {
    // Below the first level the sets come in sorted order, scattered.
    if (k + PrefetchAhead < count) PrefetchRead(sets[order[k + PrefetchAhead]] + from);
    const std::uint64_t* set = sets[order[k]];
    std::size_t lead = from;
    while (lead < width && set[lead] == 0)
      ++lead;
    keyed.emplace_back(static_cast<std::uint32_t>(width - lead), order[k], lead < width ? set[lead] : 0);
  }
  SortKeys(keyed, threads);
  for (std::size_t k = 0; k < count; ++k)
    order[k] = keyed[k].Number();
  for (std::size_t begin = 0; begin < count;) {
    std::size_t end = begin + 1;
    while (end < count && keyed[end].Ties(keyed[begin]))
      ++end;
    // The run agrees up to its leading word; with no word after it, its sets
    // are equal and already in number order.
    const std::size_t next = width - keyed[begin].Lead() + 1;
    if (next >= width) {
      for (std::size_t k = begin + 1; k < end; ++k)
        repeat[order[k]] = 1;
    } else if (end - begin > SmallRun) {
      SortSets(sets, width, order + begin, end - begin, next, repeat, threads, control);
    } else if (end - begin > 1) {
      const auto rest = static_cast<std::int32_t>(width - next);
      std::sort(order + begin, order + end, [&](std::uint32_t x, std::uint32_t y) {
        const int sign = CompareWords(sets[x] + next, sets[y] + next, rest);
        return sign != 0 ? sign < 0 : x < y;
      });
      for (std::size_t k = begin + 1; k < end; ++k) {
        if (CompareWords(sets[order[k - 1]] + next, sets[order[k]] + next, rest) == 0) repeat[order[k]] = 1;
      }
    }
    begin = end;
  }
}

} // namespace

TConsensusCore::TConsensusCore(std::int32_t rowCount, std::int32_t columnCount)
    : KeyWords(std::max<std::int32_t>(1, WordCount(columnCount))),
      SourceWords(std::max<std::int32_t>(1, WordCount(rowCount))), RowCount(rowCount),
      ColumnCount(columnCount), Known(KeyWords) {}

TConsensusCore::~TConsensusCore() = default;

void TConsensusCore::Load(const std::vector<TBitArray*>& rows) {
  const auto targetWords = static_cast<std::size_t>(KeyWords);
  const auto sourceWords = static_cast<std::size_t>(SourceWords);
  RowWords.assign(static_cast<std::size_t>(RowCount) * targetWords, 0);
  for (std::size_t s = 0; s < rows.size(); ++s)
    PackBytes(rows[s], &RowWords[s * targetWords], KeyWords);
  ColumnWords.assign(static_cast<std::size_t>(ColumnCount) * sourceWords, 0);
  ColumnSizes.assign(static_cast<std::size_t>(ColumnCount), 0);
  for (std::int32_t s = 0; s < RowCount; ++s) {
    // Spare bits are 0, so every set bit is a target.
    ForEachBit(&RowWords[static_cast<std::size_t>(s) * targetWords], KeyWords, [&](std::int32_t t) {
      SetBit(&ColumnWords[static_cast<std::size_t>(t) * sourceWords], s);
      ++ColumnSizes[static_cast<std::size_t>(t)];
    });
  }
  Known.Clear();
  Ids.clear();
  Tags.clear();
  KnownBits.clear();
  if (0 < ColumnCount && ColumnCount <= KnownBitsTargets) {
    KnownBits.assign(std::max<std::size_t>(1, (std::size_t{1} << ColumnCount) / 64), 0);
  }
  RunStarts.clear();
  Order.clear();
  Latest = {};
}

const std::uint64_t* TConsensusCore::Column(std::int32_t t) const {
  assert(0 <= t && t < ColumnCount);
  return &ColumnWords[static_cast<std::size_t>(t) * static_cast<std::size_t>(SourceWords)];
}

std::int64_t TConsensusCore::ResultCount() const { return static_cast<std::int64_t>(Ids.size()); }

const TNewSets& TConsensusCore::Seed(TRunControl& control, std::int32_t threads) {
  // A row is its own closure. Of equal rows the first keeps the Tag.
  TWordSetTable rows(KeyWords);
  std::vector<std::int32_t> sources;
  for (std::int32_t s = 0; s < RowCount; ++s) {
    const std::uint64_t* row = &RowWords[static_cast<std::size_t>(s) * static_cast<std::size_t>(KeyWords)];
    if (rows.Insert(row, HashWords(row, KeyWords))) sources.push_back(s);
  }
  return StoreNewSets(rows, sources, control, threads);
}

const TNewSets& TConsensusCore::Pass(TRunControl& control, std::int32_t threads, std::int32_t pass) {
  const auto items = static_cast<std::int32_t>(Latest.Count);
  const std::vector<std::uint64_t> empty(static_cast<std::size_t>(KeyWords), 0);
  TWordSetTable fresh(KeyWords); // the pass's new sets, in order of first production
  std::vector<std::int32_t> sources;
  const TPassView view{RowCount,
                       KeyWords,
                       SourceWords,
                       RowWords.data(),
                       ColumnWords.data(),
                       ColumnSizes.data(),
                       &Known,
                       &fresh,
                       Ids.data() + Latest.First,
                       Tags.data() + Latest.First,
                       Known.Contains(empty.data(), HashWords(empty.data(), KeyWords)),
                       KnownBits.empty() ? nullptr : KnownBits.data(),
                       ColumnCount,
                       &control};

  // Chunks of consecutive items carry about equal numbers of pairs.
  std::int64_t work = 0;
  for (std::int32_t f = 0; f < items; ++f)
    work += RowCount - 1 - view.Tags[f];
  const std::int32_t workers = WorkerCount(work * KeyWords, threads);
  std::vector<std::int32_t> bounds{0};
  const std::int64_t perChunk = std::max<std::int64_t>(1, work / (workers * ChunksPerWorker));
  std::int64_t load = 0;
  for (std::int32_t f = 0; f < items; ++f) {
    load += RowCount - 1 - view.Tags[f];
    if (load >= perChunk || f + 1 == items) {
      bounds.push_back(f + 1);
      load = 0;
    }
  }
  const auto chunks = static_cast<std::int64_t>(bounds.size() - 1);
  while (ScanTables.size() < static_cast<std::size_t>(workers))
    ScanTables.push_back(std::make_unique<TScanTables>());
  if (workers == 1) {
    // One scan after another into one table: each scan sees the earlier
    // ones' finds in it, so no merge and no second table are needed.
    TFound all(KeyWords, false);
    for (std::int64_t chunk = 0; chunk < chunks; ++chunk) {
      const auto at = static_cast<std::size_t>(chunk);
      ScanFrontier(view, bounds[at], bounds[at + 1], *ScanTables[0], all);
      control.CheckStop();
      control.Report(TPhase::Enumerating, pass, ResultCount() + all.Sets.Count());
    }
    return StoreNewSets(all.Sets, all.Sources, control, threads);
  }
  // One worker needs no rounds of several chunks: each chunk is a round.
  const std::int64_t perRound = workers == 1 ? 1 : ChunksPerRound * workers;
  for (std::int64_t round = 0; round < chunks; round += perRound) {
    const std::int64_t count = std::min(perRound, chunks - round);
    std::vector<TFound> found;
    found.reserve(static_cast<std::size_t>(count));
    for (std::int64_t c = 0; c < count; ++c)
      found.emplace_back(KeyWords, true);
    ParallelFor(count, std::min<std::int64_t>(workers, count), [&](std::int32_t worker, std::int64_t chunk) {
      const auto at = static_cast<std::size_t>(round + chunk);
      ScanFrontier(view, bounds[at], bounds[at + 1], *ScanTables[static_cast<std::size_t>(worker)],
                   found[static_cast<std::size_t>(chunk)]);
      if (worker == 0) control.Report(TPhase::Enumerating, pass, ResultCount() + fresh.Count());
    });
    control.CheckStop();
    // In visiting order: of sets found in two chunks the earlier production stays.
    for (TFound& chunk : found) {
      for (std::int64_t k = 0; k < chunk.Sets.Count(); ++k) {
        const auto at = static_cast<std::size_t>(k);
        if (at % StopCheckSpan == 0) control.CheckStop();
        if (fresh.Insert(chunk.Sets.Set(static_cast<std::uint32_t>(k)), chunk.Hashes[at]))
          sources.push_back(chunk.Sources[at]);
      }
      chunk = TFound(KeyWords, true); // its room goes back at once
    }
  }
  return StoreNewSets(fresh, sources, control, threads);
}

const TNewSets& TConsensusCore::StoreNewSets(TWordSetTable& fresh, const std::vector<std::int32_t>& sources,
                                             const TRunControl& control, std::int32_t threads) {
  const auto count = static_cast<std::size_t>(fresh.Count());
  // fresh only inserted, so its ids are 0 .. count-1.
  std::vector<const std::uint64_t*> sets(count);
  for (std::size_t k = 0; k < count; ++k)
    sets[k] = fresh.Set(static_cast<std::uint32_t>(k));
  std::vector<std::uint32_t> order(count);
  std::iota(order.begin(), order.end(), 0u);
  std::vector<char> repeat(count, 0);
  SortSets(sets.data(), static_cast<std::size_t>(KeyWords), order.data(), count, 0, repeat, threads, control);
  control.CheckStop();
  std::vector<const std::uint64_t*>().swap(sets);
  const std::uint32_t offset = Known.Adopt(fresh);
  Latest.First = static_cast<std::int64_t>(Ids.size());
  Latest.Count = static_cast<std::int64_t>(count);
  RunStarts.push_back(Latest.First);
  Ids.reserve(Ids.size() + count);
  Tags.reserve(Tags.size() + count);
  for (const std::uint32_t k : order) {
    Ids.push_back(k + offset);
    Tags.push_back(sources[k]);
  }
  if (!KnownBits.empty()) {
    for (std::size_t n = Ids.size() - count; n < Ids.size(); ++n) {
      const std::uint64_t index = Known.Set(Ids[n])[0] >> (64 - ColumnCount);
      KnownBits[index / 64] |= std::uint64_t{1} << (index % 64);
    }
  }
  return Latest;
}

void TConsensusCore::SortResults(const TRunControl& control) {
  // Each run is ascending: merge them, neighbours first, into one order.
  const auto count = static_cast<std::size_t>(ResultCount());
  Order.resize(count);
  std::iota(Order.begin(), Order.end(), 0u);
  std::vector<std::size_t> starts;
  for (const std::int64_t start : RunStarts) {
    if (starts.empty() || starts.back() != static_cast<std::size_t>(start))
      starts.push_back(static_cast<std::size_t>(start));
  }
  starts.push_back(count);
  const auto less = [&](std::uint32_t a, std::uint32_t b) {
    return CompareWords(Stored(a), Stored(b), KeyWords) < 0;
  };
  std::vector<std::uint32_t> merged(count);
  while (starts.size() > 2) {
    control.CheckStop();
    std::vector<std::size_t> next;
    std::size_t r = 0;
    for (; r + 2 < starts.size(); r += 2) {
      std::merge(Order.begin() + static_cast<std::ptrdiff_t>(starts[r]),
                 Order.begin() + static_cast<std::ptrdiff_t>(starts[r + 1]),
                 Order.begin() + static_cast<std::ptrdiff_t>(starts[r + 1]),
                 Order.begin() + static_cast<std::ptrdiff_t>(starts[r + 2]),
                 merged.begin() + static_cast<std::ptrdiff_t>(starts[r]), less);
      next.push_back(starts[r]);
    }
    if (r + 1 < starts.size()) {
      std::copy(Order.begin() + static_cast<std::ptrdiff_t>(starts[r]), Order.end(),
                merged.begin() + static_cast<std::ptrdiff_t>(starts[r]));
      next.push_back(starts[r]);
    }
    next.push_back(count);
    Order.swap(merged);
    starts.swap(next);
  }
}

void TConsensusCore::SourcesOf(const std::uint64_t* T, std::uint64_t* out) const {
  const std::int32_t members = CountBits(T, KeyWords);
  const auto sourceWords = static_cast<std::size_t>(SourceWords);
  std::fill(out, out + sourceWords, ~std::uint64_t{0});
  // Either AND the columns of T's targets, or test every row for holding T,
  // whichever touches fewer words; both give the same set. With no member
  // target, nothing is ANDed and every bit stays set.
  if (static_cast<std::int64_t>(members) * SourceWords <= static_cast<std::int64_t>(RowCount) * KeyWords) {
    ForEachBit(T, KeyWords, [&](std::int32_t t) {
      const std::uint64_t* column = Column(t);
      for (std::size_t k = 0; k < sourceWords; ++k)
        out[k] &= column[k];
    });
    return;
  }
  std::fill(out, out + sourceWords, 0);
  const auto width = static_cast<std::size_t>(KeyWords);
  for (std::int32_t s = 0; s < RowCount; ++s) {
    const std::uint64_t* row = &RowWords[static_cast<std::size_t>(s) * width];
    std::uint64_t missing = 0;
    for (std::size_t w = 0; w < width; ++w)
      missing |= T[w] & ~row[w];
    if (missing == 0) SetBit(out, s);
  }
}
