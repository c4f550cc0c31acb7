// Bicliqueunit: TBicliques, the enumeration engine. It holds a bipartite graph
// as the target set of every source (Rows) and the source set of every target
// (Columns) and lists every maximal biclique by consensus passes with closure.
// Method: the consensus method; cost per pass about frontier sets x sources
// word operations, and memory for every set found (its words, its Tag and a
// hash slot: about 4 + 8 x words + 16 to 32 bytes a set).
//
// Use: construct with the matrix size, fill Rows (directly or through
// SetRow), call Run once, then read the results. Results holds, once each and
// in Compare order, every distinct intersection of the target sets of one or
// more sources: exactly the target sides of the maximal bicliques with a
// non-empty source side.
//
// The passes run in TConsensusCore, on word-packed copies of the rows, which
// keeps every set in one table. The run path (Run with a configuration) reads
// the results from there through ForEachResult and makes no bit arrays. The
// plain Run, and the steps SeedLists and ConsensusPass, also keep the bit
// arrays and the three lists: they come out as if the frontier were walked
// one set at a time and each source after the set's Tag tried in ascending
// order, the first production of a set keeping its Tag.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Bitarraylistunit.h"
#include "Consensuscoreunit.h"
#include "Engineunit.h"
#include "Tbitarrayunit.h"

class TBicliques : public TEngine {
public:
  std::int32_t RowCount;    // sources
  std::int32_t ColumnCount; // targets
  // Owns. Entry s: the targets of source s, ColumnCount bits, spare bits 0.
  std::vector<TBitArray*> Rows;
  // Owns. Empty until Run; then entry t: the sources of target t.
  std::vector<TBitArray*> Columns;
  // Owns the list and every array in it; null until the plain Run or SeedLists
  // (Run with a configuration leaves the three lists null).
  TBitArrayList* Results = nullptr;
  // Owns the list, borrows its arrays (each also in Results); null as Results.
  TBitArrayList* Frontier = nullptr;
  // Owns the list, borrows its arrays; holds a pass's new sets, empty between
  // passes; null as Results.
  TBitArrayList* NewResults = nullptr;
  // Number of consensus passes the last Run made.
  std::int32_t PassCount = 0;

  // Rows gets rowCount zero arrays of columnCount bits. Pre: both >= 0.
  TBicliques(std::int32_t rowCount, std::int32_t columnCount);
  ~TBicliques() override;
  TBicliques(const TBicliques&) = delete;
  TBicliques& operator=(const TBicliques&) = delete;

  // Enumerates with the default configuration and fills the three lists;
  // returns Results->ItemCount(). Call once, after filling Rows.
  std::int32_t Run();
  // Enumerates without the lists; the bounds choose the results that Count,
  // ForEachResult and the stream give. Every set stays stored, also with a
  // stream or CountOnly: the passes look each candidate up among them.
  std::int64_t Run(const TRunConfig& config) override;
  // Sets the bits of Rows[source].
  void SetRow(std::int32_t source, std::span<const std::int32_t> targets) override;
  std::int64_t Count() const override;
  std::int32_t Passes() const override { return PassCount; }
  // Results in Results' order (in the order found when Run had a stream), as
  // words: sources WordCount(RowCount) words, targets WordCount(ColumnCount) words.
  void ForEachResult(std::int64_t first, std::int64_t last, const TResultVisitor& visit) const override;
  // Writes the source side of Results' item `index` into `out` (RowCount
  // bits, the caller's). For the empty target set every byte of `out` is 255.
  // Pre: the lists exist.
  void RowsOf(std::int32_t index, TBitArray* out) const;

  // The steps of Run, public so that they can be exercised one by one.
  void BuildColumns();
  void SeedLists();
  void ConsensusPass(const TRunConfig& config = {});
  // Replaces target set X by the targets common to every source adjacent to
  // all of X. Pre: some source is adjacent to all of X. Every set the passes
  // meet is closed already (a row, or a closed set intersected with a row), so
  // they do not call it.
  void Closure(TBitArray* X) const;

private:
  TConsensusCore Core;
  // Positions in Results of the results the bounds admit; empty when all are.
  std::vector<std::uint32_t> Admitted;
  bool Bounded = false;

  // Makes the three lists, empty.
  void MakeLists();
  // Makes the arrays of a seeding's or pass's new sets, merges them into
  // Results and makes them the frontier.
  void TakeNewSets(const TNewSets& sets, const TRunConfig& config);
  // Fills Admitted with the results the bounds admit.
  void SelectAdmitted(const TBounds& bounds);
};
