// Latticeunit: the listed results as the nodes of the lattice's diagram, in
// the order of the sorted result text, with the covers between them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Coverunit.h"
#include "Engineunit.h"
#include "Matrixunit.h"

struct TLattice {
  // Node i is line i + 1 of the sorted result text: its text line and its
  // sides; ascending by line.
  std::vector<std::string> Lines;
  std::vector<TBicliqueSides> Sides;
  // Between node places, ascending (Coverunit).
  std::vector<TCover> Covers;

  std::int32_t Count() const { return static_cast<std::int32_t>(Sides.size()); }
};

// The results of `engine`, which ran over `matrix` without a Stream, as the
// nodes of a lattice ascending by their text line (Resultlineunit's text),
// without covers. Pre: fewer than 2^31 results.
TLattice SortedNodes(const TMatrix& matrix, const TEngine& engine);

// SortedNodes with their covers.
TLattice LatticeOfResults(const TMatrix& matrix, const TEngine& engine);

// The number of sources of each result of `engine` (over `matrix`), in the
// engine's order.
std::vector<std::int32_t> SourceCounts(const TMatrix& matrix, const TEngine& engine);

// The smallest minimum number of sources that leaves at most `limit` of the
// results whose numbers of sources are `sourceCounts`: an iceberg of at most
// `limit` nodes. 0 when all of them fit. Pre: limit >= 0.
std::int32_t IcebergMinSources(std::span<const std::int32_t> sourceCounts, std::int64_t limit);
