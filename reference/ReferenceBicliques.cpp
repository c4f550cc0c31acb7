#include "ReferenceBicliques.h"

#include <memory>
#include <unordered_set>

TReferenceBicliques::TReferenceBicliques(std::int32_t rowCount, std::int32_t columnCount)
    : RowCount(rowCount), ColumnCount(columnCount) {
  Rows.reserve(static_cast<std::size_t>(rowCount));
  for (std::int32_t s = 0; s < rowCount; ++s)
    Rows.push_back(new TBitArray(columnCount));
}

TReferenceBicliques::~TReferenceBicliques() {
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

void TReferenceBicliques::Closure(TBitArray* X) const {
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

void TReferenceBicliques::BuildColumns() {
  Columns.resize(static_cast<std::size_t>(ColumnCount), nullptr);
  for (std::int32_t t = 0; t < ColumnCount; ++t) {
    auto* column = new TBitArray(RowCount);
    Columns[static_cast<std::size_t>(t)] = column;
    for (std::int32_t s = 0; s < RowCount; ++s)
      column->Set(s, Rows[static_cast<std::size_t>(s)]->Get(t));
  }
}

void TReferenceBicliques::SeedLists() {
  Results = new TBitArrayList;
  Frontier = new TBitArrayList;
  NewResults = new TBitArrayList;
  for (std::int32_t s = 0; s < RowCount; ++s) {
    const TBitArray* row = Rows[static_cast<std::size_t>(s)];
    auto K = std::make_unique<TBitArray>(row->Size);
    row->CopyTo(K.get());
    Closure(K.get());
    K->Tag = s;
    if (Results->IndexOf(K.get()) >= 0) continue; // an earlier source has the same set
    Results->AddUnique(K.get());
    Frontier->AddUnique(K.release()); // Results owns it from here on
  }
}

void TReferenceBicliques::ConsensusPass() {
  // A set B is paired only with sources after B->Tag: pairs with earlier
  // sources were formed when those sources' sets were themselves the frontier.
  for (std::int32_t f = 0; f < Frontier->ItemCount(); ++f) {
    const TBitArray* B = Frontier->Items[static_cast<std::size_t>(f)];
    for (std::int32_t j = B->Tag + 1; j < RowCount; ++j) {
      auto K = std::make_unique<TBitArray>(ColumnCount);
      B->CopyTo(K.get());
      K->And(Rows[static_cast<std::size_t>(j)]);
      K->Tag = j;
      Closure(K.get());
      if (Results->IndexOf(K.get()) >= 0) continue;
      if (NewResults->IndexOf(K.get()) >= 0) continue;
      NewResults->AddUnique(K.get());
      K.release(); // NewResults holds it until the pass moves it to Results
    }
  }
  for (auto* item : NewResults->Items)
    Results->AddUnique(item);
  Frontier->Items = NewResults->Items;
  NewResults->Items.clear();
}

std::int32_t TReferenceBicliques::Run() {
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

void TReferenceBicliques::RowsOf(std::int32_t index, TBitArray* out) const {
  const TBitArray* T = Results->Items[static_cast<std::size_t>(index)];
  out->SetAll();
  for (std::int32_t t = 0; t < ColumnCount; ++t) {
    if (T->Get(t)) out->And(Columns[static_cast<std::size_t>(t)]);
  }
}
