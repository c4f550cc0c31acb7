#include "Bicliqueunit.h"

#include <algorithm>
#include <cassert>
#include <unordered_set>

#include "Parallelunit.h"
#include "Runcontrolunit.h"
#include "Wordsetunit.h"

namespace {

// New arrays are made in pieces of this many, shared among the threads.
constexpr std::int64_t PieceSize = 4096;
// Below this many new sets they are made on the calling thread alone.
constexpr std::size_t ParallelSets = 1 << 14;

} // namespace

TBicliques::TBicliques(std::int32_t rowCount, std::int32_t columnCount)
    : RowCount(rowCount), ColumnCount(columnCount), Core(rowCount, columnCount) {
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

void TBicliques::SetRow(std::int32_t source, std::span<const std::int32_t> targets) {
  assert(source >= 0 && source < RowCount);
  TBitArray* row = Rows[static_cast<std::size_t>(source)];
  for (const std::int32_t t : targets)
    row->Set(t, true);
}

void TBicliques::BuildColumns() {
  Core.Load(Rows);
  Columns.resize(static_cast<std::size_t>(ColumnCount), nullptr);
  for (std::int32_t t = 0; t < ColumnCount; ++t) {
    auto* column = new TBitArray(RowCount);
    Columns[static_cast<std::size_t>(t)] = column;
    UnpackWords(Core.Column(t), column);
  }
}

void TBicliques::TakeNewSets(const TNewSets& sets, const TRunConfig& config) {
  NewResults->Items.assign(static_cast<std::size_t>(sets.Count), nullptr);
  // Making the arrays is most of the work here; the threads share it.
  const auto pieces = (sets.Count + PieceSize - 1) / PieceSize;
  const std::int32_t threads =
      static_cast<std::size_t>(sets.Count) < ParallelSets ? 1 : ThreadCount(config.Threads);
  ParallelFor(pieces, threads, [&](std::int32_t, std::int64_t piece) {
    if (config.Stop.stop_requested()) return;
    const std::int64_t begin = piece * PieceSize;
    for (std::int64_t k = begin; k < std::min(sets.Count, begin + PieceSize); ++k) {
      auto* array = new TBitArray(ColumnCount);
      NewResults->Items[static_cast<std::size_t>(k)] = array;
      UnpackWords(Core.Stored(sets.First + k), array);
      array->Tag = Core.Tag(sets.First + k);
    }
  });
  TRunControl(config).CheckStop();

  // Both lists are ascending and share no set: one merge.
  std::vector<TBitArray*> merged(Results->Items.size() + NewResults->Items.size());
  std::merge(Results->Items.begin(), Results->Items.end(), NewResults->Items.begin(), NewResults->Items.end(),
             merged.begin(), [](const TBitArray* a, const TBitArray* b) { return a->Compare(b) < 0; });
  Results->Items.swap(merged);
  Frontier->Items = NewResults->Items;
  NewResults->Items.clear();
}

void TBicliques::SeedLists() {
  MakeLists();
  Core.Load(Rows);
  const TRunConfig config;
  TRunControl control(config);
  TakeNewSets(Core.Seed(control, 1), config);
}

void TBicliques::ConsensusPass(const TRunConfig& config) {
  TRunControl control(config);
  TakeNewSets(Core.Pass(control, ThreadCount(config.Threads), PassCount + 1), config);
}

void TBicliques::MakeLists() {
  Results = new TBitArrayList;
  Frontier = new TBitArrayList;
  NewResults = new TBitArrayList;
}

std::int32_t TBicliques::Run() {
  const TRunConfig config;
  Run(config);
  MakeLists();
  Results->Items.reserve(static_cast<std::size_t>(Core.ResultCount()));
  for (std::int64_t u = 0; u < Core.ResultCount(); ++u) {
    auto* array = new TBitArray(ColumnCount);
    Results->Items.push_back(array);
    UnpackWords(Core.Result(u), array);
    array->Tag = Core.Tag(Core.ResultNumber(u));
  }
  return Results->ItemCount();
}

std::int64_t TBicliques::Run(const TRunConfig& config) {
  TRunControl control(config);
  BuildColumns();
  const std::int32_t threads = ThreadCount(config.Threads);
  Core.Seed(control, threads);
  PassCount = 0;
  std::int64_t before = 0;
  do {
    before = Core.ResultCount();
    control.Report(TPhase::Enumerating, PassCount + 1, before);
    Core.Pass(control, threads, PassCount + 1);
    ++PassCount;
  } while (Core.ResultCount() != before);
  // A stream takes the results in any order; a count needs none of them.
  if (!config.Stream) Core.SortResults(control);
  SelectAdmitted(config.Bounds);
  if (config.Stream && !config.CountOnly) ForEachResult(0, Count(), config.Stream);
  return Count();
}

void TBicliques::SelectAdmitted(const TBounds& bounds) {
  Bounded = !bounds.Unbounded();
  Admitted.clear();
  if (!Bounded) return;
  std::vector<std::uint64_t> sources(static_cast<std::size_t>(Core.SourceWords));
  for (std::int64_t u = 0; u < Core.ResultCount(); ++u) {
    const std::uint64_t* targets = Core.Result(u);
    const std::int32_t targetCount = CountBits(targets, Core.KeyWords);
    Core.SourcesOf(targets, sources.data());
    const std::int32_t sourceCount =
        targetCount == 0 ? RowCount : CountBits(sources.data(), WordCount(RowCount));
    if (bounds.Admits(sourceCount, targetCount)) Admitted.push_back(static_cast<std::uint32_t>(u));
  }
}

std::int64_t TBicliques::Count() const {
  return Bounded ? static_cast<std::int64_t>(Admitted.size()) : Core.ResultCount();
}

void TBicliques::ForEachResult(std::int64_t first, std::int64_t last, const TResultVisitor& visit) const {
  assert(0 <= first && first <= last && last <= Count());
  std::vector<std::uint64_t> sources(static_cast<std::size_t>(Core.SourceWords));
  const std::int32_t sourceWords = WordCount(RowCount);
  for (std::int64_t i = first; i < last; ++i) {
    const std::int64_t u = Bounded ? Admitted[static_cast<std::size_t>(i)] : i;
    const std::uint64_t* targets = Core.Result(u);
    Core.SourcesOf(targets, sources.data());
    // The empty target set has every source; the bits past the last are not sources.
    if (sourceWords > 0) sources[static_cast<std::size_t>(sourceWords - 1)] &= LastWordMask(RowCount);
    visit(0, TVertexSet{sources.data(), nullptr, 0}, TVertexSet{targets, nullptr, 0});
  }
}

void TBicliques::RowsOf(std::int32_t index, TBitArray* out) const {
  std::vector<std::uint64_t> T(static_cast<std::size_t>(Core.KeyWords));
  PackBytes(Results->Items[static_cast<std::size_t>(index)], T.data(), Core.KeyWords);
  std::vector<std::uint64_t> sources(static_cast<std::size_t>(Core.SourceWords));
  Core.SourcesOf(T.data(), sources.data());
  UnpackWords(sources.data(), out);
}
