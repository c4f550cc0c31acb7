#include "Bicliqueunit.h"

#include "Consensusscanunit.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <exception>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>
#include <unordered_set>

namespace {

// Below this many word operations a pass runs on the calling thread alone.
constexpr std::int64_t ParallelWork = 1 << 16;
// Chunks per worker: enough to even out items of unequal work.
constexpr std::int64_t ChunksPerWorker = 8;
// Hash table walks fetch the slot this many sets ahead: the tables are large.
constexpr std::size_t PrefetchAhead = 16;
// New arrays are made in pieces of this many, shared among the threads.
constexpr std::size_t PieceSize = 4096;

std::int32_t WorkerCount(std::int64_t work) {
  if (work < ParallelWork) return 1;
  return static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
}

// Runs body(worker, chunk) for chunk 0 .. count-1 on `workers` threads
// numbered from 0, the caller being worker 0; the first exception thrown
// reaches the caller.
template <typename TBody> void RunChunks(std::int32_t count, std::int32_t workers, TBody body) {
  std::atomic<std::int32_t> next{0};
  std::exception_ptr failure;
  std::mutex failureLock;
  auto work = [&](std::int32_t worker) {
    try {
      for (std::int32_t chunk = next++; chunk < count; chunk = next++)
        body(worker, chunk);
    } catch (...) {
      const std::lock_guard<std::mutex> hold(failureLock);
      if (!failure) failure = std::current_exception();
      next = count;
    }
  };
  std::vector<std::thread> threads;
  for (std::int32_t t = 1; t < std::min(workers, count); ++t)
    threads.emplace_back(work, t);
  work(0);
  for (auto& thread : threads)
    thread.join();
  if (failure) std::rethrow_exception(failure);
}

} // namespace

TBicliques::TBicliques(std::int32_t rowCount, std::int32_t columnCount)
    : RowCount(rowCount), ColumnCount(columnCount), TargetWords(PackedWordCount(columnCount)),
      SourceWords(PackedWordCount(rowCount)), Known(TargetWords) {
  Rows.reserve(static_cast<std::size_t>(rowCount));
  for (std::int32_t s = 0; s < rowCount; ++s)
    Rows.push_back(new TBitArray(columnCount));
}

TBicliques::~TBicliques() {
  for (auto* row : Rows)
    delete row;
  for (auto* column : Columns)
    delete column;
  // After an interrupted pass NewResults may hold arrays of its own, or
  // arrays already merged into Results. Release each one once.
  std::unordered_set<TBitArray*> pending;
  if (NewResults != nullptr) pending.insert(NewResults->Items.begin(), NewResults->Items.end());
  if (Results != nullptr) {
    for (auto* array : Results->Items) {
      pending.erase(array);
      delete array;
    }
  }
  for (auto* array : pending)
    delete array;
  delete Results;
  delete Frontier;
  delete NewResults;
}

void TBicliques::Closure(TBitArray* X) const {
  TBitArray R(RowCount);
  R.SetAll();
  for (std::int32_t t = 0; t < ColumnCount; ++t) {
    if (X->Get(t)) R.And(Columns[static_cast<std::size_t>(t)]);
  }
  X->SetAll();
  for (std::int32_t s = 0; s < RowCount; ++s) {
    if (R.Get(s)) X->And(Rows[static_cast<std::size_t>(s)]);
  }
}

void TBicliques::PackRows() {
  const auto words = static_cast<std::size_t>(TargetWords);
  RowWords.assign(static_cast<std::size_t>(RowCount) * words, 0);
  for (std::size_t s = 0; s < Rows.size(); ++s)
    PackBytes(Rows[s], &RowWords[s * words], TargetWords);
}

void TBicliques::PackColumns() {
  const auto targetWords = static_cast<std::size_t>(TargetWords);
  const auto sourceWords = static_cast<std::size_t>(SourceWords);
  ColumnWords.assign(static_cast<std::size_t>(ColumnCount) * sourceWords, 0);
  ColumnSizes.assign(static_cast<std::size_t>(ColumnCount), 0);
  for (std::size_t s = 0; s < static_cast<std::size_t>(RowCount); ++s) {
    const std::uint64_t sourceBit = 1ull << (63 - s % 64);
    for (std::size_t w = 0; w < targetWords; ++w) {
      // Spare bits are 0, so every set bit is a target.
      for (std::uint64_t bits = RowWords[s * targetWords + w]; bits != 0; bits &= bits - 1) {
        const std::size_t t = 64 * w + 63 - static_cast<std::size_t>(std::countr_zero(bits));
        ColumnWords[t * sourceWords + s / 64] |= sourceBit;
        ++ColumnSizes[t];
      }
    }
  }
}

void TBicliques::BuildColumns() {
  PackRows();
  PackColumns();
  const auto sourceWords = static_cast<std::size_t>(SourceWords);
  Columns.resize(static_cast<std::size_t>(ColumnCount), nullptr);
  for (std::size_t t = 0; t < Columns.size(); ++t) {
    auto* column = new TBitArray(RowCount);
    Columns[t] = column;
    UnpackWords(&ColumnWords[t * sourceWords], column);
  }
}

namespace {

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
void SortKeys(std::vector<TSortKey>& keys) {
  const std::int32_t workers = WorkerCount(static_cast<std::int64_t>(keys.size()));
  if (workers == 1) {
    std::sort(keys.begin(), keys.end());
    return;
  }
  const auto middle = keys.begin() + static_cast<std::ptrdiff_t>(keys.size() / 2);
  std::nth_element(keys.begin(), middle, keys.end());
  RunChunks(2, workers, [&](std::int32_t, std::int32_t half) {
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
              std::size_t from, std::vector<char>& repeat) {
  std::vector<TSortKey> keyed(count);
  for (std::size_t k = 0; k < count; ++k) {
    // Below the first level the sets come in sorted order, scattered.
    if (k + PrefetchAhead < count) __builtin_prefetch(sets[order[k + PrefetchAhead]] + from);
    const std::uint64_t* set = sets[order[k]];
    std::size_t lead = from;
    while (lead < width && set[lead] == 0)
      ++lead;
    keyed[k] = {static_cast<std::uint32_t>(width - lead), order[k], lead < width ? set[lead] : 0};
  }
  SortKeys(keyed);
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
      SortSets(sets, width, order + begin, end - begin, next, repeat);
    } else if (end - begin > 1) {
      const auto rest = static_cast<std::int32_t>(width - next);
      std::sort(order + begin, order + end, [&](std::uint32_t x, std::uint32_t y) {
        const int order = CompareWords(sets[x] + next, sets[y] + next, rest);
        return order != 0 ? order < 0 : x < y;
      });
      for (std::size_t k = begin + 1; k < end; ++k) {
        if (CompareWords(sets[order[k - 1]] + next, sets[order[k]] + next, rest) == 0) repeat[order[k]] = 1;
      }
    }
    begin = end;
  }
}

} // namespace

void TBicliques::StoreNewSets(const std::vector<TFound>& found) {
  const auto width = static_cast<std::size_t>(TargetWords);
  // Number the sets in visiting order: chunks in frontier order, each in its
  // own order.
  std::vector<const std::uint64_t*> sets;
  std::vector<std::uint64_t> hashes;
  std::vector<std::int32_t> sources;
  for (const auto& chunk : found) {
    for (std::size_t k = 0; k < chunk.Sources.size(); ++k)
      sets.push_back(&chunk.Words[k * width]);
    hashes.insert(hashes.end(), chunk.Hashes.begin(), chunk.Hashes.end());
    sources.insert(sources.end(), chunk.Sources.begin(), chunk.Sources.end());
  }
  std::vector<std::uint32_t> order(sets.size());
  std::iota(order.begin(), order.end(), 0u);
  // Two chunks may hold the same set: the first production keeps its Tag.
  std::vector<char> repeat(sets.size(), 0);
  SortSets(sets.data(), width, order.data(), order.size(), 0, repeat);
  std::vector<std::uint32_t> kept;
  kept.reserve(order.size());
  for (const std::uint32_t number : order) {
    if (repeat[number] == 0) kept.push_back(number);
  }

  const std::size_t newCount = kept.size();
  FrontierWords.resize(newCount * width);
  FrontierTags.resize(newCount);
  NewResults->Items.assign(newCount, nullptr);
  // Making the arrays is most of the work here; the threads share it.
  const auto pieces = static_cast<std::int32_t>((newCount + PieceSize - 1) / PieceSize);
  RunChunks(pieces, WorkerCount(static_cast<std::int64_t>(newCount * width)),
            [&](std::int32_t, std::int32_t piece) {
              const std::size_t begin = static_cast<std::size_t>(piece) * PieceSize;
              for (std::size_t k = begin; k < std::min(newCount, begin + PieceSize); ++k) {
                const std::uint64_t* set = sets[kept[k]];
                std::copy(set, set + width, &FrontierWords[k * width]);
                FrontierTags[k] = sources[kept[k]];
                auto* array = new TBitArray(ColumnCount);
                NewResults->Items[k] = array;
                UnpackWords(set, array);
                array->Tag = FrontierTags[k];
              }
            });

  // Both sides are sorted, and no new set is in Results: one merge, from the
  // back. It runs in place when ResultWords has room, else straight into a
  // larger buffer, so that no set is copied twice.
  const std::size_t oldCount = Results->Items.size();
  const std::size_t count = oldCount + newCount;
  std::vector<std::uint64_t> grown;
  if (ResultWords.capacity() < count * width) {
    grown.reserve(count * width * 3 / 2); // room for the next passes
    grown.resize(count * width);
  } else {
    ResultWords.resize(count * width);
  }
  std::uint64_t* out = grown.empty() ? ResultWords.data() : grown.data();
  std::vector<std::uint32_t> movedTo(oldCount);
  std::vector<std::uint32_t> placedAt(newCount);
  Results->Items.resize(count);
  std::size_t a = oldCount;
  std::size_t b = newCount;
  for (std::size_t to = count; b > 0;) {
    --to;
    const bool takeOld = a > 0 && CompareWords(&ResultWords[(a - 1) * width], &FrontierWords[(b - 1) * width],
                                               TargetWords) > 0;
    const std::uint64_t* set = takeOld ? &ResultWords[--a * width] : &FrontierWords[--b * width];
    std::copy(set, set + width, out + to * width);
    Results->Items[to] = takeOld ? Results->Items[a] : NewResults->Items[b];
    (takeOld ? movedTo[a] : placedAt[b]) = static_cast<std::uint32_t>(to);
  }
  // The sets before the first new one keep their places.
  if (!grown.empty()) {
    std::copy(ResultWords.begin(), ResultWords.begin() + static_cast<std::ptrdiff_t>(a * width),
              grown.begin());
    ResultWords.swap(grown);
  }
  for (std::size_t k = 0; k < a; ++k)
    movedTo[k] = static_cast<std::uint32_t>(k);
  Frontier->Items = NewResults->Items;
  NewResults->Items.clear();

  // Known numbers sets by position in ResultWords, which the merge changed.
  Known.Reserve(static_cast<std::int64_t>(count));
  Known.Renumber(movedTo);
  for (std::size_t k = 0; k < newCount; ++k) {
    const std::size_t ahead = k + PrefetchAhead;
    if (ahead < newCount) Known.Prefetch(hashes[kept[ahead]]);
    Known.Insert(ResultWords.data(), &FrontierWords[k * width], hashes[kept[k]], placedAt[k]);
  }
}

void TBicliques::SeedLists() {
  Results = new TBitArrayList;
  Frontier = new TBitArrayList;
  NewResults = new TBitArrayList;
  PackRows();
  PackColumns();
  Known.Clear();
  // A row is its own closure. Of equal rows the first keeps the Tag.
  std::vector<TFound> rows(1);
  rows[0].Words = RowWords;
  for (std::int32_t s = 0; s < RowCount; ++s) {
    rows[0].Hashes.push_back(HashWords(&RowWords[static_cast<std::size_t>(s) * TargetWords], TargetWords));
    rows[0].Sources.push_back(s);
  }
  StoreNewSets(rows);
}

void TBicliques::ConsensusPass() {
  const auto width = static_cast<std::size_t>(TargetWords);
  const auto items = static_cast<std::int32_t>(FrontierTags.size());
  const std::vector<std::uint64_t> empty(width, 0);
  const TPassView view{
      RowCount,
      TargetWords,
      SourceWords,
      RowWords.data(),
      ColumnWords.data(),
      ColumnSizes.data(),
      FrontierWords.data(),
      FrontierTags.data(),
      ResultWords.data(),
      &Known,
      Known.Contains(ResultWords.data(), empty.data(), HashWords(empty.data(), TargetWords))};

  // Chunks of consecutive items carry about equal numbers of pairs.
  std::int64_t work = 0;
  for (const std::int32_t tag : FrontierTags)
    work += RowCount - 1 - tag;
  const std::int32_t workers = WorkerCount(work * TargetWords);
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
  const auto chunks = static_cast<std::int32_t>(bounds.size() - 1);
  std::vector<TFound> found(static_cast<std::size_t>(chunks));
  while (ScanTables.size() < static_cast<std::size_t>(workers)) {
    ScanTables.push_back(std::make_unique<TScanTables>(TargetWords));
  }
  RunChunks(chunks, workers, [&](std::int32_t worker, std::int32_t chunk) {
    const auto at = static_cast<std::size_t>(chunk);
    ScanFrontier(view, bounds[at], bounds[at + 1], *ScanTables[static_cast<std::size_t>(worker)], found[at]);
  });
  StoreNewSets(found);
}

std::int32_t TBicliques::Run() {
  BuildColumns();
  SeedLists();
  Passes = 0;
  std::int32_t before = 0;
  do {
    before = Results->ItemCount();
    ConsensusPass();
    ++Passes;
  } while (Results->ItemCount() != before);
  return Results->ItemCount();
}

void TBicliques::RowsOf(std::int32_t index, TBitArray* out) const {
  std::vector<std::uint64_t> T(static_cast<std::size_t>(TargetWords));
  PackBytes(Results->Items[static_cast<std::size_t>(index)], T.data(), TargetWords);
  std::int64_t members = 0;
  for (const std::uint64_t word : T)
    members += std::popcount(word);
  const auto sourceWords = static_cast<std::size_t>(SourceWords);
  std::vector<std::uint64_t> sources(sourceWords, ~0ull);
  // Either AND the columns of T's targets, or test every row for holding T,
  // whichever touches fewer words; both give the same set. With no member
  // target, nothing is ANDed and every byte stays 255.
  if (members * SourceWords <= static_cast<std::int64_t>(RowCount) * TargetWords) {
    for (std::size_t w = 0; w < T.size(); ++w) {
      for (std::uint64_t bits = T[w]; bits != 0; bits &= bits - 1) {
        const std::size_t t = 64 * w + 63 - static_cast<std::size_t>(std::countr_zero(bits));
        const std::uint64_t* column = &ColumnWords[t * sourceWords];
        for (std::size_t k = 0; k < sourceWords; ++k)
          sources[k] &= column[k];
      }
    }
  } else {
    std::fill(sources.begin(), sources.end(), 0);
    const auto width = static_cast<std::size_t>(TargetWords);
    for (std::size_t s = 0; s < static_cast<std::size_t>(RowCount); ++s) {
      const std::uint64_t* row = &RowWords[s * width];
      std::uint64_t missing = 0;
      for (std::size_t w = 0; w < width; ++w)
        missing |= T[w] & ~row[w];
      if (missing == 0) sources[s / 64] |= 1ull << (63 - s % 64);
    }
  }
  UnpackWords(sources.data(), out);
}
