// Consensusscanunit: the inner work of one consensus pass over a run of
// frontier items. Each item B is paired with every source after its Tag; the
// intersections that Results lacks, and that earlier scans of the pass have
// not found, are collected once each, in visiting order (item, then source),
// with the source that first produced them.
//
// Several scans may run at once on different runs of items: they share only
// the read-only TPassView, and each has its own TScanTables and TFound.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Runcontrolunit.h"
#include "Wordsettableunit.h"

// What one pass reads; nothing here changes while the pass runs. Sets are
// packed as Wordsetunit describes.
struct TPassView {
  std::int32_t RowCount;
  std::int32_t Words;              // words per target set
  std::int32_t SourceWords;        // words per source set
  const std::uint64_t* Rows;       // RowCount sets of Words words
  const std::uint64_t* Columns;    // one source set per target
  const std::int32_t* ColumnSizes; // sources per target
  const TWordSetTable* Known;      // every set of Results
  const TWordSetTable* PassNew;    // the new sets of this pass found so far
  const std::uint32_t* Frontier;   // the Known ids of the frontier's sets, in list order
  const std::int32_t* Tags;        // the frontier's Tags
  bool EmptyKnown;                 // the empty set is in Results
  // With at most KnownBitsTargets targets: a bit per possible target set,
  // set for the sets of Results (bit w >> (64 - targets) for the set of
  // word w); else null.
  const std::uint64_t* KnownBits;
  std::int32_t Targets;       // number of targets
  const TRunControl* Control; // a stop request ends the scan early
};

// Most target sets a scan meets are in Results. When there are this few
// targets, a bit per possible set answers that at once.
constexpr std::int32_t KnownBitsTargets = 22;

// The sets a scan found that neither Results nor PassNew holds, each once,
// numbered in the order of their first production, with the source of that
// production.
struct TFound {
  // `merged`: the finds go on into another table, which wants their hashes.
  TFound(std::int32_t words, bool merged) : Sets(words), KeepHashes(merged) {}
  TWordSetTable Sets;
  bool KeepHashes;
  std::vector<std::uint64_t> Hashes; // HashWords of each set, when KeepHashes
  std::vector<std::int32_t> Sources;
};

// One thread's working tables, reused from scan to scan.
class TScanTables {
public:
  TScanTables();
  ~TScanTables();
  TScanTables(const TScanTables&) = delete;
  TScanTables& operator=(const TScanTables&) = delete;

  struct TState;
  std::unique_ptr<TState> State;
};

// Scans frontier items begin .. end-1 into `found`, which holds nothing or
// the finds of scans of the same pass over earlier items (none in PassNew);
// stops early, with `found` incomplete, on a stop request.
void ScanFrontier(const TPassView& view, std::int32_t begin, std::int32_t end, TScanTables& tables,
                  TFound& found);
