// Consensuscoreunit: TConsensusCore, the word-packed work of the consensus
// passes. It keeps the rows, the columns and every set of Results as packed
// sets (Wordsetunit) in one hash set that owns them, scans the frontier on
// several threads (Consensusscanunit), and adds each pass's new sets, which
// become the next frontier, in ascending order.
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

// The new sets of the last seeding or pass: the stored sets First ..
// First + Count - 1 (stored order), ascending.
struct TNewSets {
  std::int64_t First = 0;
  std::int64_t Count = 0;
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
  // Stored set `number` (KeyWords words) and its Tag. Sets are numbered in
  // the order they were stored: the seeds, then each pass's new sets, each
  // seeding or pass in ascending order.
  const std::uint64_t* Stored(std::int64_t number) const {
    return Known.Set(Ids[static_cast<std::size_t>(number)]);
  }
  std::int32_t Tag(std::int64_t number) const { return Tags[static_cast<std::size_t>(number)]; }
  // Orders the results ascending, for Result.
  void SortResults(const TRunControl& control);
  // Result i, KeyWords words: in ascending order after SortResults, else in
  // stored order.
  const std::uint64_t* Result(std::int64_t i) const { return Stored(ResultNumber(i)); }
  // The stored number of result i.
  std::int64_t ResultNumber(std::int64_t i) const {
    return Order.empty() ? i : static_cast<std::int64_t>(Order[static_cast<std::size_t>(i)]);
  }
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
  // Every set of Results, once each; Ids and Tags list their ids in Known and
  // their Tags in stored order. The frontier is the last seeding's or pass's
  // run of them.
  TWordSetTable Known;
  std::vector<std::uint32_t> Ids;
  std::vector<std::int32_t> Tags;
  // With few targets (Consensusscanunit's KnownBitsTargets), a bit per
  // possible target set, set for those in Known; else empty.
  std::vector<std::uint64_t> KnownBits;
  // Where each seeding's or pass's run of stored sets starts.
  std::vector<std::int64_t> RunStarts;
  // After SortResults: the stored numbers in ascending set order.
  std::vector<std::uint32_t> Order;
  // One per thread of a pass, kept from pass to pass.
  std::vector<std::unique_ptr<TScanTables>> ScanTables;
  TNewSets Latest;

  // Adds the sets of `fresh` (none in Results), with their Tags in
  // `sources`, to Results in ascending order: the new frontier.
  const TNewSets& StoreNewSets(TWordSetTable& fresh, const std::vector<std::int32_t>& sources,
                               const TRunControl& control, std::int32_t threads);
};
