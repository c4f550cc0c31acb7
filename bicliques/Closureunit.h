// Closureunit: TClosureBicliques, the closure engine. It lists the same
// results as TBicliques: every distinct intersection of the target sets of one
// or more sources, with its source side (the sources adjacent to all of it).
// Method: close-by-one closure extension on bit sets; cost per result about
// one intersection and closure over the other side's bit sets; memory the
// matrix both ways as bits plus one side of every stored result.
//
// Use: construct with the matrix size, fill the rows with SetRow, call Run
// once, then read Count and ForEachResult (unless Run streamed). Sets are
// packed as Wordsetunit describes. Result order is unspecified; the set of
// results is not.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "Engineunit.h"

class TClosureBicliques : public TEngine {
public:
  std::int32_t RowCount;    // sources
  std::int32_t ColumnCount; // targets
  TSearchSide Side = TSearchSide::Automatic;

  // All rows empty. Pre: both >= 0.
  TClosureBicliques(std::int32_t rowCount, std::int32_t columnCount);
  TClosureBicliques(const TClosureBicliques&) = delete;
  TClosureBicliques& operator=(const TClosureBicliques&) = delete;

  void SetRow(std::int32_t source, std::span<const std::int32_t> targets) override;
  // Target t of `source` is set when bits[t] is '1'.
  // Pre: 0 <= source < RowCount; bits holds ColumnCount characters '0'/'1'.
  void SetRow(std::int32_t source, std::string_view bits);

  std::int64_t Run(const TRunConfig& config) override;
  std::int64_t Count() const override;
  // Results come as words: the source side WordCount(RowCount) words, the
  // target side WordCount(ColumnCount) words.
  void ForEachResult(std::int64_t first, std::int64_t last, const TResultVisitor& visit) const override;
  // The side Run extended: Targets or Sources.
  TSearchSide UsedSide() const;

private:
  std::int32_t TargetWords; // words of a target set
  std::int32_t SourceWords; // words of a source set
  // Source s: its target set, at s * TargetWords.
  std::vector<std::uint64_t> Rows;
  // Target t: its source set, at t * SourceWords; built by Run.
  std::vector<std::uint64_t> Columns;
  bool Transposed = false; // Run extended sources
  // Per extension-side vertex: how many vertices of the other side it has.
  std::vector<std::int32_t> Support;
  // Result i: the extension-side set, ExtensionWords() words at i * ExtensionWords().
  std::vector<std::uint64_t> Sets;
  // Result i: how to get its other side from an earlier result's (see the .cpp).
  std::vector<std::int32_t> Steps;
  std::int64_t ResultCount = 0;

  void BuildColumns();
  TSearchSide ChooseSide() const;
  std::int32_t ExtensionWords() const;
  // Writes the vertices of the other side adjacent to all of `set` (an
  // extension-side set) into `out`.
  void CommonNeighbours(const std::uint64_t* set, std::uint64_t* out) const;
  // Calls `visit` with the result whose extension-side set is `set` and whose
  // other side is `other`.
  void Visit(const TResultVisitor& visit, const std::uint64_t* set, const std::uint64_t* other) const;
};
