// Bicliqueunit: TBicliques, the enumeration engine. It holds a bipartite graph
// as the target set of every source (Rows) and the source set of every target
// (Columns) and lists every maximal biclique by consensus passes with closure.
//
// Use: construct with the matrix size, fill Rows, call Run once, then read
// Results and RowsOf. Results holds, once each and in Compare order, every
// distinct intersection of the target sets of one or more sources: exactly the
// target sides of the maximal bicliques with a non-empty source side.
//
// The passes work on word-packed copies of the rows and of the lists (see
// Wordsetunit), scan the frontier in chunks on every core (Consensusscanunit)
// and sort each pass's new sets once. The lists and every Tag come out as if
// the frontier were walked one set at a time and each source after the set's
// Tag tried in ascending order, the first production of a set keeping its Tag.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Bitarraylistunit.h"
#include "Tbitarrayunit.h"
#include "Wordsetunit.h"

class TScanTables;
struct TFound;

class TBicliques {
public:
  std::int32_t RowCount;    // sources
  std::int32_t ColumnCount; // targets
  // Owns. Entry s: the targets of source s, ColumnCount bits, spare bits 0.
  std::vector<TBitArray*> Rows;
  // Owns. Empty until Run; then entry t: the sources of target t.
  std::vector<TBitArray*> Columns;
  // Owns the list and every array in it; null until Run.
  TBitArrayList* Results = nullptr;
  // Owns the list, borrows its arrays (each also in Results); null until Run.
  TBitArrayList* Frontier = nullptr;
  // Owns the list, borrows its arrays; holds a pass's new sets, empty between passes.
  TBitArrayList* NewResults = nullptr;
  // Number of consensus passes the last Run made.
  std::int32_t Passes = 0;

  // Rows gets rowCount zero arrays of columnCount bits. Pre: both >= 0.
  TBicliques(std::int32_t rowCount, std::int32_t columnCount);
  ~TBicliques();
  TBicliques(const TBicliques&) = delete;
  TBicliques& operator=(const TBicliques&) = delete;

  // Enumerates; returns Results->ItemCount(). Call once, after filling Rows.
  std::int32_t Run();
  // Writes the source side of result `index` into `out` (RowCount bits, the
  // caller's). For the empty target set every byte of `out` is 255.
  void RowsOf(std::int32_t index, TBitArray* out) const;

  // The steps of Run, public so that they can be exercised one by one.
  void BuildColumns();
  void SeedLists();
  void ConsensusPass();
  // Replaces target set X by the targets common to every source adjacent to
  // all of X. Pre: some source is adjacent to all of X. Every set the passes
  // meet is closed already (a row, or a closed set intersected with a row), so
  // they do not call it.
  void Closure(TBitArray* X) const;

private:
  std::int32_t TargetWords; // words per packed target set
  std::int32_t SourceWords; // words per packed source set
  // RowCount packed rows, ColumnCount packed columns and the number of
  // sources of each column; built by BuildColumns and again by SeedLists.
  std::vector<std::uint64_t> RowWords;
  std::vector<std::uint64_t> ColumnWords;
  std::vector<std::int32_t> ColumnSizes;
  // The packed sets of Results and of Frontier, in list order, with the
  // frontier's Tags. Known holds every set of Results, numbered by position
  // in ResultWords.
  std::vector<std::uint64_t> ResultWords;
  std::vector<std::uint64_t> FrontierWords;
  std::vector<std::int32_t> FrontierTags;
  TWordSetTable Known;
  // One per thread of a pass, kept from pass to pass.
  std::vector<std::unique_ptr<TScanTables>> ScanTables;

  void PackRows();
  void PackColumns();
  // Gives Frontier and its packed copy the distinct sets of `found` (none in
  // Results; chunks in visiting order) in sorted order, each with the Tag of
  // its first production, and merges them into Results and Known.
  void StoreNewSets(const std::vector<TFound>& found);
};
