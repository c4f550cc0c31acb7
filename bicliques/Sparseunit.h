// Sparseunit: TSparseBicliques, the sparse engine, for large sparse graphs.
// It lists the same results as every TEngine: every distinct intersection of
// the target sets of one or more sources, with the sources adjacent to all of
// it. Method: prefix-preserving closure extension on adjacency lists; cost per
// result about the ones of its conditional database.
//
// Memory grows with the number of ones, never with rows x columns: rows are
// kept as target lists, and the search works on conditional databases (the
// rows of the current source side, cut to the targets still worth trying,
// identical ones merged with weights). Streamed results are not kept; stored
// results keep only their extension side, the other side is found again by
// ForEachResult.
//
// The search itself is in units of their own, one job each: Sparsegraphunit,
// Sparsedatabaseunit, Sparseprefixunit, Sparsebitsearchunit,
// Sparseresultsunit and Sparseteamunit (Sparseunit.cpp tells how they meet).
//
// Use: construct with the matrix size, fill rows with SetRow, call Run once,
// then read Count and, when Run had no Stream, ForEachResult. Sets are handed
// out as Members lists (ascending vertex numbers).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Engineunit.h"

namespace sparse {
class TResultStore;
}

class TSparseBicliques : public TEngine {
public:
  std::int32_t RowCount;    // sources
  std::int32_t ColumnCount; // targets
  TSearchSide Side = TSearchSide::Automatic;
  // Conditional databases of at most this many entries (0 to 64) are
  // searched with one bit per entry.
  std::int32_t SmallDatabase = 64;
  // A child takes over what its parent knows of failed candidates by going
  // through the parent's list of them while that is at most this many times
  // the items the child counted (at least 0), else by looking each counted
  // item up among the parent's candidates.
  std::int32_t FailedScanRatio = 256;

  // All rows empty. Pre: both >= 0.
  TSparseBicliques(std::int32_t rowCount, std::int32_t columnCount);
  TSparseBicliques(const TSparseBicliques&) = delete;
  TSparseBicliques& operator=(const TSparseBicliques&) = delete;
  ~TSparseBicliques() override;

  // Pre: 0 <= source < RowCount, called at most once per source, before Run;
  // targets ascending, distinct, each in [0, ColumnCount).
  void SetRow(std::int32_t source, std::span<const std::int32_t> targets) override;
  // Enumerates the results the bounds admit; returns their number. Throws
  // TCancelled on a stop request, or the first exception a Stream call threw
  // (on any thread); every thread has ended and everything is freed then.
  std::int64_t Run(const TRunConfig& config) override;
  std::int64_t Count() const override;
  // Results first..last-1 of the stored order, each as two Members lists.
  void ForEachResult(std::int64_t first, std::int64_t last, const TResultVisitor& visit) const override;
  // The side Run searched: Targets or Sources.
  TSearchSide UsedSide() const;

private:
  // Source s: RowLength[s] targets at Adjacent[RowAt[s]]; rows may come in
  // any order, Run puts them in source order.
  std::vector<std::int32_t> Adjacent;
  std::vector<std::int64_t> RowAt;
  std::vector<std::int32_t> RowLength;
  bool Transposed = false;
  std::int64_t ResultCount = 0;
  std::unique_ptr<sparse::TResultStore> Store; // what Run kept for ForEachResult
};
