#include "Bicliqueunit.h"

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

// What one pass reads; nothing here changes while the pass runs.
struct TPassView {
  const std::uint64_t* Rows;
  std::int32_t RowCount;
  std::int32_t Words;
  const std::uint64_t* Frontier;
  const std::int32_t* Tags;
  const TWordSetTable* Known;
  bool EmptyKnown; // the empty set is in Results
};

// The sets a run of frontier items found that Results lacks, each once, in
// the order of their first production, with the source of that production.
struct TFound {
  std::vector<std::uint64_t> Words;
  std::vector<std::uint64_t> Hashes;
  std::vector<std::int32_t> Sources;
};

// The distinct consensus sets of one frontier item, each with the first
// source that produced it. A stamp per slot marks the slots of the current
// item, so starting the next item costs nothing.
class TCandidates {
public:
  explicit TCandidates(std::int32_t words) : Words(words) { Slots.resize(Mask + 1); }

  std::int32_t Count = 0;
  std::vector<std::uint64_t> Keys; // Count sets of Words words
  std::vector<std::uint64_t> Hashes;
  std::vector<std::int32_t> Sources;

  void Start() {
    Count = 0;
    Keys.clear();
    Hashes.clear();
    Sources.clear();
    NextStamp();
  }

  template <int NW> void Add(const std::uint64_t* key, std::int32_t source) {
    const std::int32_t words = NW > 0 ? NW : Words;
    const std::uint64_t hash = HashWords(key, words);
    for (std::size_t at = hash & Mask;; at = (at + 1) & Mask) {
      TSlot& slot = Slots[at];
      if (slot.Stamp != Stamp) {
        slot = {Stamp, static_cast<std::uint32_t>(Count)};
        Keys.insert(Keys.end(), key, key + words);
        Hashes.push_back(hash);
        Sources.push_back(source);
        if (static_cast<std::size_t>(++Count) * 2 > Mask + 1) Grow();
        return;
      }
      const std::size_t index = slot.Index;
      if (Hashes[index] == hash &&
          std::equal(key, key + words, &Keys[index * static_cast<std::size_t>(words)])) {
        return;
      }
    }
  }

private:
  struct TSlot {
    std::uint32_t Stamp;
    std::uint32_t Index;
  };
  std::int32_t Words;
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

// One worker's reusable tables.
struct TScratch {
  explicit TScratch(std::int32_t words)
      : Candidates(words), ChunkNew(words), Key(static_cast<std::size_t>(words)) {}
  TCandidates Candidates;
  TWordSetTable ChunkNew; // the sets already in the chunk's TFound
  std::vector<std::uint64_t> Key;
};

// Pairs frontier items begin .. end-1 with their later sources, in visiting
// order, and collects into `found` the sets that Results lacks.
template <int NW>
void ScanItems(const TPassView& view, std::int32_t begin, std::int32_t end, TScratch& scratch,
               TFound& found) {
  const std::size_t words = NW > 0 ? NW : static_cast<std::size_t>(view.Words);
  std::uint64_t* key = scratch.Key.data();
  TCandidates& candidates = scratch.Candidates;
  scratch.ChunkNew.Clear();
  for (std::int32_t f = begin; f < end; ++f) {
    const std::uint64_t* B = view.Frontier + static_cast<std::size_t>(f) * words;
    candidates.Start();
    for (std::int32_t j = view.Tags[f] + 1; j < view.RowCount; ++j) {
      const std::uint64_t* row = view.Rows + static_cast<std::size_t>(j) * words;
      std::uint64_t lost = 0;
      std::uint64_t kept = 0;
      for (std::size_t w = 0; w < words; ++w) {
        key[w] = B[w] & row[w];
        lost |= B[w] & ~row[w];
        kept |= key[w];
      }
      // Row j holds all of B: the consensus is B, which Results holds.
      if (lost == 0) continue;
      if (kept == 0 && view.EmptyKnown) continue;
      candidates.template Add<NW>(key, j);
    }
    // Most candidates are old sets; fetch their slots ahead of the lookups.
    constexpr std::int32_t ahead = 8;
    for (std::int32_t c = 0; c < std::min(ahead, candidates.Count); ++c) {
      view.Known->Prefetch(candidates.Hashes[static_cast<std::size_t>(c)]);
    }
    for (std::int32_t c = 0; c < candidates.Count; ++c) {
      const auto at = static_cast<std::size_t>(c);
      if (c + ahead < candidates.Count) view.Known->Prefetch(candidates.Hashes[at + ahead]);
      const std::uint64_t* set = &candidates.Keys[at * words];
      const std::uint64_t hash = candidates.Hashes[at];
      if (view.Known->Contains(set, hash)) continue;
      if (!scratch.ChunkNew.Insert(set, hash)) continue;
      found.Words.insert(found.Words.end(), set, set + words);
      found.Hashes.push_back(hash);
      found.Sources.push_back(candidates.Sources[at]);
    }
  }
}

void ScanChunk(const TPassView& view, std::int32_t begin, std::int32_t end, TScratch& scratch,
               TFound& found) {
  switch (view.Words) {
  case 1:
    return ScanItems<1>(view, begin, end, scratch, found);
  case 2:
    return ScanItems<2>(view, begin, end, scratch, found);
  case 3:
    return ScanItems<3>(view, begin, end, scratch, found);
  case 4:
    return ScanItems<4>(view, begin, end, scratch, found);
  default:
    return ScanItems<0>(view, begin, end, scratch, found);
  }
}

// Below this many word operations a pass runs on the calling thread alone.
constexpr std::int64_t ParallelWork = 1 << 16;
// Chunks per worker: enough to even out items of unequal work.
constexpr std::int64_t ChunksPerWorker = 8;

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
    : RowCount(rowCount), ColumnCount(columnCount), TargetWords(WordCount(columnCount)),
      SourceWords(WordCount(rowCount)), Known(TargetWords) {
  Rows.reserve(static_cast<std::size_t>(rowCount));
  for (std::int32_t s = 0; s < rowCount; ++s)
    Rows.push_back(new TBitArray(columnCount));
}

TBicliques::~TBicliques() {
  for (auto* row : Rows)
    delete row;
  for (auto* column : Columns)
    delete column;
  // An array may stand in two lists; after an interrupted Run, NewResults may
  // also hold arrays not yet in Results. Release each one once.
  std::unordered_set<TBitArray*> owned;
  for (auto* list : {Results, NewResults}) {
    if (list != nullptr) owned.insert(list->Items.begin(), list->Items.end());
  }
  for (auto* array : owned)
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

void TBicliques::BuildColumns() {
  PackRows();
  const auto targetWords = static_cast<std::size_t>(TargetWords);
  const auto sourceWords = static_cast<std::size_t>(SourceWords);
  ColumnWords.assign(static_cast<std::size_t>(ColumnCount) * sourceWords, 0);
  for (std::size_t s = 0; s < Rows.size(); ++s) {
    const std::uint64_t sourceBit = 1ull << (63 - s % 64);
    for (std::size_t w = 0; w < targetWords; ++w) {
      // Spare bits are 0, so every set bit is a target.
      for (std::uint64_t bits = RowWords[s * targetWords + w]; bits != 0; bits &= bits - 1) {
        const std::size_t t = 64 * w + 63 - static_cast<std::size_t>(std::countr_zero(bits));
        ColumnWords[t * sourceWords + s / 64] |= sourceBit;
      }
    }
  }
  Columns.resize(static_cast<std::size_t>(ColumnCount), nullptr);
  for (std::size_t t = 0; t < Columns.size(); ++t) {
    auto* column = new TBitArray(RowCount);
    Columns[t] = column;
    UnpackWords(&ColumnWords[t * sourceWords], column);
  }
}

void TBicliques::StoreNewSets(const std::vector<std::uint64_t>& words,
                              const std::vector<std::int32_t>& tags) {
  const auto width = static_cast<std::size_t>(TargetWords);
  std::vector<std::uint32_t> order(tags.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return CompareWords(&words[a * width], &words[b * width], TargetWords) < 0;
  });

  FrontierWords.clear();
  FrontierWords.reserve(words.size());
  FrontierTags.clear();
  FrontierTags.reserve(tags.size());
  NewResults->Items.reserve(order.size());
  for (const std::uint32_t at : order) {
    const std::uint64_t* set = &words[at * width];
    auto array = std::make_unique<TBitArray>(ColumnCount);
    UnpackWords(set, array.get());
    array->Tag = tags[at];
    NewResults->Items.push_back(array.release());
    FrontierWords.insert(FrontierWords.end(), set, set + width);
    FrontierTags.push_back(tags[at]);
  }

  // Both sides are sorted, and no new set is in Results: one merge.
  const std::size_t oldCount = Results->Items.size();
  const std::size_t newCount = NewResults->Items.size();
  std::vector<std::uint64_t> mergedWords;
  mergedWords.reserve(ResultWords.size() + FrontierWords.size());
  std::vector<TBitArray*> mergedItems;
  mergedItems.reserve(oldCount + newCount);
  std::size_t a = 0;
  std::size_t b = 0;
  while (a < oldCount || b < newCount) {
    const bool takeOld =
        b == newCount ||
        (a < oldCount && CompareWords(&ResultWords[a * width], &FrontierWords[b * width], TargetWords) < 0);
    const std::uint64_t* set = takeOld ? &ResultWords[a * width] : &FrontierWords[b * width];
    mergedWords.insert(mergedWords.end(), set, set + width);
    mergedItems.push_back(takeOld ? Results->Items[a++] : NewResults->Items[b++]);
  }
  ResultWords.swap(mergedWords);
  Results->Items.swap(mergedItems);
  Frontier->Items = NewResults->Items;
  NewResults->Items.clear();
}

void TBicliques::SeedLists() {
  Results = new TBitArrayList;
  Frontier = new TBitArrayList;
  NewResults = new TBitArrayList;
  PackRows();
  Known.Clear();
  Known.Reserve(RowCount);
  // A row is its own closure. Of equal rows the first keeps the Tag.
  const auto width = static_cast<std::size_t>(TargetWords);
  std::vector<std::uint64_t> words;
  std::vector<std::int32_t> tags;
  for (std::int32_t s = 0; s < RowCount; ++s) {
    const std::uint64_t* row = &RowWords[static_cast<std::size_t>(s) * width];
    if (!Known.Insert(row, HashWords(row, TargetWords))) continue;
    words.insert(words.end(), row, row + width);
    tags.push_back(s);
  }
  StoreNewSets(words, tags);
}

void TBicliques::ConsensusPass() {
  const auto width = static_cast<std::size_t>(TargetWords);
  const auto items = static_cast<std::int32_t>(FrontierTags.size());
  const std::vector<std::uint64_t> empty(width, 0);
  const TPassView view{RowWords.data(),
                       RowCount,
                       TargetWords,
                       FrontierWords.data(),
                       FrontierTags.data(),
                       &Known,
                       Known.Contains(empty.data(), HashWords(empty.data(), TargetWords))};

  // A set is paired only with sources after its Tag: pairs with earlier
  // sources were formed when those sources' sets were themselves the frontier.
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
  std::vector<std::unique_ptr<TScratch>> scratch(static_cast<std::size_t>(workers));
  for (auto& tables : scratch)
    tables = std::make_unique<TScratch>(TargetWords);
  RunChunks(chunks, workers, [&](std::int32_t worker, std::int32_t chunk) {
    const auto at = static_cast<std::size_t>(chunk);
    ScanChunk(view, bounds[at], bounds[at + 1], *scratch[static_cast<std::size_t>(worker)], found[at]);
  });

  // Chunks in frontier order, sets in visiting order: the first production of
  // a set is met first and keeps its Tag.
  std::int64_t incoming = 0;
  for (const auto& chunk : found)
    incoming += static_cast<std::int64_t>(chunk.Sources.size());
  Known.Reserve(Known.Count() + incoming);
  std::vector<std::uint64_t> words;
  std::vector<std::int32_t> tags;
  for (const auto& chunk : found) {
    for (std::size_t k = 0; k < chunk.Sources.size(); ++k) {
      const std::uint64_t* set = &chunk.Words[k * width];
      if (!Known.Insert(set, chunk.Hashes[k])) continue;
      words.insert(words.end(), set, set + width);
      tags.push_back(chunk.Sources[k]);
    }
  }
  StoreNewSets(words, tags);
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
