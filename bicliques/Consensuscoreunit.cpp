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
// Chunks per worker: enough to even out items of unequal work.
constexpr std::int64_t ChunksPerWorker = 8;
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
struct TSortKey {
  std::uint32_t Lead;   // width minus the index of that word; 0 when there is none
  std::uint32_t Number; // the set's number, which breaks ties between equal sets
  std::uint64_t Value;  // that word
  bool operator<(const TSortKey& other) const {
    if (Lead != other.Lead) return Lead < other.Lead;
    if (Value != other.Value) return Value < other.Value;
    return Number < other.Number;
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
  std::vector<TSortKey> keyed(count);
  for (std::size_t k = 0; k < count; ++k) {
    // Below the first level the sets come in sorted order, scattered.
    if (k + PrefetchAhead < count) PrefetchRead(sets[order[k + PrefetchAhead]] + from);
    const std::uint64_t* set = sets[order[k]];
    std::size_t lead = from;
    while (lead < width && set[lead] == 0)
      ++lead;
    keyed[k] = {static_cast<std::uint32_t>(width - lead), order[k], lead < width ? set[lead] : 0};
  }
  SortKeys(keyed, threads);
  for (std::size_t k = 0; k < count; ++k)
    order[k] = keyed[k].Number;
  for (std::size_t begin = 0; begin < count;) {
    std::size_t end = begin + 1;
    while (end < count && keyed[end].Lead == keyed[begin].Lead && keyed[end].Value == keyed[begin].Value)
      ++end;
    // The run agrees up to its leading word; with no word after it, its sets
    // are equal and already in number order.
    const std::size_t next = width - keyed[begin].Lead + 1;
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

// The sets a pass found, numbered in visiting order: chunks in frontier
// order, each in its own order.
struct TNumberedSets {
  std::vector<const std::uint64_t*> Sets;
  std::vector<std::uint64_t> Hashes;
  std::vector<std::int32_t> Sources;

  explicit TNumberedSets(const std::vector<TFound>& found, std::size_t width) {
    for (const auto& chunk : found) {
      for (std::size_t k = 0; k < chunk.Sources.size(); ++k)
        Sets.push_back(&chunk.Words[k * width]);
      Hashes.insert(Hashes.end(), chunk.Hashes.begin(), chunk.Hashes.end());
      Sources.insert(Sources.end(), chunk.Sources.begin(), chunk.Sources.end());
    }
  }
};

// The numbers of the distinct sets, in set order; of equal sets the first
// produced, which keeps its Tag.
std::vector<std::uint32_t> DistinctInOrder(const TNumberedSets& numbered, std::size_t width,
                                           const TRunControl& control, std::int32_t threads) {
  std::vector<std::uint32_t> order(numbered.Sets.size());
  std::iota(order.begin(), order.end(), 0u);
  std::vector<char> repeat(order.size(), 0);
  SortSets(numbered.Sets.data(), width, order.data(), order.size(), 0, repeat, threads, control);
  std::vector<std::uint32_t> kept;
  kept.reserve(order.size());
  for (const std::uint32_t number : order) {
    if (repeat[number] == 0) kept.push_back(number);
  }
  return kept;
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
  ResultWords.clear();
  FrontierWords.clear();
  FrontierTags.clear();
  Known.Clear();
}

const std::uint64_t* TConsensusCore::Column(std::int32_t t) const {
  assert(0 <= t && t < ColumnCount);
  return &ColumnWords[static_cast<std::size_t>(t) * static_cast<std::size_t>(SourceWords)];
}

std::int64_t TConsensusCore::ResultCount() const {
  return static_cast<std::int64_t>(ResultWords.size() / static_cast<std::size_t>(KeyWords));
}

const std::uint64_t* TConsensusCore::Result(std::int64_t i) const {
  assert(0 <= i && i < ResultCount());
  return &ResultWords[static_cast<std::size_t>(i) * static_cast<std::size_t>(KeyWords)];
}

const TNewSets& TConsensusCore::Seed(TRunControl& control, std::int32_t threads) {
  // A row is its own closure. Of equal rows the first keeps the Tag.
  std::vector<TFound> rows(1);
  rows[0].Words = RowWords;
  for (std::int32_t s = 0; s < RowCount; ++s) {
    rows[0].Hashes.push_back(HashWords(&RowWords[static_cast<std::size_t>(s) * KeyWords], KeyWords));
    rows[0].Sources.push_back(s);
  }
  return StoreNewSets(rows, control, threads);
}

const TNewSets& TConsensusCore::Pass(TRunControl& control, std::int32_t threads, std::int32_t pass) {
  const auto items = static_cast<std::int32_t>(FrontierTags.size());
  const std::vector<std::uint64_t> empty(static_cast<std::size_t>(KeyWords), 0);
  const TPassView view{RowCount,
                       KeyWords,
                       SourceWords,
                       RowWords.data(),
                       ColumnWords.data(),
                       ColumnSizes.data(),
                       FrontierWords.data(),
                       FrontierTags.data(),
                       ResultWords.data(),
                       &Known,
                       Known.Contains(ResultWords.data(), empty.data(), HashWords(empty.data(), KeyWords)),
                       &control};

  // Chunks of consecutive items carry about equal numbers of pairs.
  std::int64_t work = 0;
  for (const std::int32_t tag : FrontierTags)
    work += RowCount - 1 - tag;
  const std::int32_t workers = WorkerCount(work * KeyWords, threads);
  std::vector<std::int32_t> bounds{0};
  const std::int64_t perChunk = std::max<std::int64_t>(1, work / (workers * ChunksPerWorker));
  std::int64_t load = 0;
  for (std::int32_t f = 0; f < items; ++f) {
    load += RowCount - 1 - FrontierTags[static_cast<std::size_t>(f)];
    if (load >= perChunk || f + 1 == items) {
      bounds.push_back(f + 1);
      load = 0;
    }
  }
  const auto chunks = static_cast<std::int64_t>(bounds.size() - 1);
  std::vector<TFound> found(static_cast<std::size_t>(chunks));
  while (ScanTables.size() < static_cast<std::size_t>(workers))
    ScanTables.push_back(std::make_unique<TScanTables>(KeyWords));
  ParallelFor(chunks, workers, [&](std::int32_t worker, std::int64_t chunk) {
    const auto at = static_cast<std::size_t>(chunk);
    ScanFrontier(view, bounds[at], bounds[at + 1], *ScanTables[static_cast<std::size_t>(worker)], found[at]);
    if (worker == 0) control.Report(TPhase::Enumerating, pass, ResultCount());
  });
  control.CheckStop();
  return StoreNewSets(found, control, threads);
}

const TNewSets& TConsensusCore::StoreNewSets(const std::vector<TFound>& found, TRunControl& control,
                                             std::int32_t threads) {
  const auto width = static_cast<std::size_t>(KeyWords);
  const TNumberedSets numbered(found, width);
  const std::vector<std::uint32_t> kept = DistinctInOrder(numbered, width, control, threads);
  control.CheckStop();
  FrontierWords.resize(kept.size() * width);
  FrontierTags.resize(kept.size());
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const std::uint64_t* set = numbered.Sets[kept[k]];
    std::copy(set, set + width, &FrontierWords[k * width]);
    FrontierTags[k] = numbered.Sources[kept[k]];
  }
  MergeIntoResults(control);
  AddToKnown(numbered.Hashes, control, kept);
  Latest.Words = FrontierWords.data();
  Latest.Tags = FrontierTags.data();
  Latest.Count = kept.size();
  return Latest;
}

void TConsensusCore::MergeIntoResults(const TRunControl& control) {
  // Both sides are sorted, and no new set is in Results: one merge, from the
  // back. It runs in place when ResultWords has room, else straight into a
  // larger buffer, so that no set is copied twice.
  const auto width = static_cast<std::size_t>(KeyWords);
  const std::size_t newCount = FrontierTags.size();
  const std::size_t oldCount = ResultWords.size() / width;
  const std::size_t count = oldCount + newCount;
  std::vector<std::uint64_t> grown;
  if (ResultWords.capacity() < count * width) {
    grown.reserve(count * width * 3 / 2); // room for the next passes
    grown.resize(count * width);
  } else {
    ResultWords.resize(count * width);
  }
  std::uint64_t* out = grown.empty() ? ResultWords.data() : grown.data();
  Latest.MovedTo.resize(oldCount);
  Latest.PlacedAt.resize(newCount);
  std::size_t a = oldCount;
  std::size_t b = newCount;
  for (std::size_t to = count; b > 0;) {
    if (to % StopCheckSpan == 0) control.CheckStop();
    --to;
    const bool takeOld =
        a > 0 && CompareWords(&ResultWords[(a - 1) * width], &FrontierWords[(b - 1) * width], KeyWords) > 0;
    const std::uint64_t* set = takeOld ? &ResultWords[--a * width] : &FrontierWords[--b * width];
    std::copy(set, set + width, out + to * width);
    (takeOld ? Latest.MovedTo[a] : Latest.PlacedAt[b]) = static_cast<std::uint32_t>(to);
  }
  // The sets before the first new one keep their places.
  if (!grown.empty()) {
    std::copy(ResultWords.begin(), ResultWords.begin() + static_cast<std::ptrdiff_t>(a * width),
              grown.begin());
    ResultWords.swap(grown);
  }
  for (std::size_t k = 0; k < a; ++k)
    Latest.MovedTo[k] = static_cast<std::uint32_t>(k);
}

void TConsensusCore::AddToKnown(const std::vector<std::uint64_t>& hashes, const TRunControl& control,
                                const std::vector<std::uint32_t>& kept) {
  // Known numbers sets by position in ResultWords, which the merge changed.
  const auto width = static_cast<std::size_t>(KeyWords);
  Known.Reserve(ResultCount());
  Known.Renumber(Latest.MovedTo);
  for (std::size_t k = 0; k < kept.size(); ++k) {
    if (k % StopCheckSpan == 0) control.CheckStop();
    const std::size_t ahead = k + PrefetchAhead;
    if (ahead < kept.size()) Known.Prefetch(hashes[kept[ahead]]);
    Known.Insert(ResultWords.data(), &FrontierWords[k * width], hashes[kept[k]], Latest.PlacedAt[k]);
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
