// Consensuscoreunit: TConsensusCore, the word-packed work of the consensus
// passes. It keeps the rows, the columns, the sets of Results and of the
// frontier as packed sets (Wordsetunit), scans the frontier on several
// threads (Consensusscanunit) and merges each pass's new sets, sorted, into
// its packed Results.
//
// Its lists come out as if the frontier were walked one set at a time and
// each source after the set's Tag tried in ascending order, the first
// production of a set keeping its Tag.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Engineunit.h"
#include "Runcontrolunit.h"
#include "Tbitarrayunit.h"
#include "Wordsettableunit.h"

class TScanTables;
struct TFound;

// The new sets of the last seeding or pass, ascending, and where the merge
// into Results put them and the sets already there.
struct TNewSets {
  const std::uint64_t* Words = nullptr; // Count sets of KeyWords words
  const std::int32_t* Tags = nullptr;   // the Tag of each
  std::size_t Count = 0;
  std::vector<std::uint32_t> PlacedAt; // new set k is now result PlacedAt[k]
  std::vector<std::uint32_t> MovedTo;  // result a before the merge is now MovedTo[a]
};

class TConsensusCore {
public:
  // Pre: both >= 0.
  TConsensusCore(std::int32_t rowCount, std::int32_t columnCount);
  ~TConsensusCore();
  TConsensusCore(const TConsensusCore&) = delete;
  TConsensusCore& operator=(const TConsensusCore&) = delete;

  // Words per target set: at least 1, so that even sets of no bits have a
  // word to compare and hash (it stays 0).
  const std::int32_t KeyWords;
  const std::int32_t SourceWords; // words per source set

  // Packs `rows` (RowCount arrays of ColumnCount bits, spare bits 0) and
  // builds the columns. Forgets every result.
  void Load(const std::vector<TBitArray*>& rows);
  // Target t's source set, SourceWords words; valid after Load.
  const std::uint64_t* Column(std::int32_t t) const;

  // Puts the distinct rows into Results and the frontier, each with the
  // number of its first source as Tag.
  const TNewSets& Seed(TRunControl& control, std::int32_t threads);
  // Pairs every frontier set with every source after its Tag; the
  // intersections that Results lacks become Results' and the frontier's new
  // sets. Throws TCancelled on a stop request; the core is then fit only to
  // be destroyed.
  // `pass` counts from 1, for progress reports.
  const TNewSets& Pass(TRunControl& control, std::int32_t threads, std::int32_t pass);

  std::int64_t ResultCount() const;
  // Result i in sorted order, KeyWords words.
  const std::uint64_t* Result(std::int64_t i) const;
  // Writes the sources adjacent to every target of `targets` (KeyWords
  // words) into `out` (SourceWords words); every bit, spare bits included,
  // for the empty target set.
  void SourcesOf(const std::uint64_t* targets, std::uint64_t* out) const;

private:
  std::int32_t RowCount;
  std::int32_t ColumnCount;
  // RowCount packed rows, ColumnCount packed columns and the number of
  // sources of each column.
  std::vector<std::uint64_t> RowWords;
  std::vector<std::uint64_t> ColumnWords;
  std::vector<std::int32_t> ColumnSizes;
  // The packed sets of Results and of the frontier, in list order, with the
  // frontier's Tags. Known holds every set of Results, numbered by position
  // in ResultWords.
  std::vector<std::uint64_t> ResultWords;
  std::vector<std::uint64_t> FrontierWords;
  std::vector<std::int32_t> FrontierTags;
  TWordSetTable Known;
  // One per thread of a pass, kept from pass to pass.
  std::vector<std::unique_ptr<TScanTables>> ScanTables;
  TNewSets Latest;

  // Gives the frontier the distinct sets of `found` (none in Results; chunks
  // in visiting order) in sorted order, each with the Tag of its first
  // production, and merges them into Results and Known.
  const TNewSets& StoreNewSets(const std::vector<TFound>& found, TRunControl& control, std::int32_t threads);
  void MergeIntoResults(const TRunControl& control);
  void AddToKnown(const std::vector<std::uint64_t>& hashes, const TRunControl& control,
                  const std::vector<std::uint32_t>& kept);
};
