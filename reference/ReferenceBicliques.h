// ReferenceBicliques: TReferenceBicliques, the plain consensus engine kept as
// the yardstick for TBicliques. Every pass pairs each frontier set with the
// later sources one at a time, closes each candidate and keeps the sorted
// lists by single insertions. Slow but obvious; used only by the tests.
#pragma once

#include <cstdint>
#include <vector>

#include "Bitarraylistunit.h"
#include "Tbitarrayunit.h"

class TReferenceBicliques {
public:
  std::int32_t RowCount;
  std::int32_t ColumnCount;
  std::vector<TBitArray*> Rows;        // owns; entry s: the targets of source s
  std::vector<TBitArray*> Columns;     // owns; built by Run
  TBitArrayList* Results = nullptr;    // owns the list and its arrays
  TBitArrayList* Frontier = nullptr;   // owns the list, borrows its arrays
  TBitArrayList* NewResults = nullptr; // owns the list, borrows its arrays
  std::int32_t Passes = 0;

  TReferenceBicliques(std::int32_t rowCount, std::int32_t columnCount);
  ~TReferenceBicliques();
  TReferenceBicliques(const TReferenceBicliques&) = delete;
  TReferenceBicliques& operator=(const TReferenceBicliques&) = delete;

  std::int32_t Run();
  void RowsOf(std::int32_t index, TBitArray* out) const;
  void BuildColumns();
  void SeedLists();
  void ConsensusPass();
  void Closure(TBitArray* X) const;
};
