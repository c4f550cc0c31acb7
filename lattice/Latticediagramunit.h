// Latticediagramunit: what the lattice's diagram shows: a node per listed
// result with its label and sizes, the bottom added below them when it is
// not listed, and a line per cover.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Coverunit.h"
#include "Latticeunit.h"
#include "Matrixunit.h"

// A node's label: its numbers of sources and targets ("3 × 2"), or the
// reduced labels: each source at the node whose target side is exactly the
// source's targets, each target at the node whose source side is exactly
// the target's sources, as "sources : targets", either list empty when the
// node has none (a node may show nothing). Vertices by name where the input
// has names, else by their shown numbers.
enum class TNodeLabels { Counts, Reduced };

struct TDiagram {
  // Per node: the lattice's nodes in their order, then the added bottom.
  std::vector<std::string> Labels;
  std::vector<std::int32_t> Sources; // number of sources
  std::vector<std::int32_t> Targets; // number of targets
  // The lattice's covers, then a line from the added bottom up to each node
  // with no lower cover; ascending.
  std::vector<TCover> Edges;
  // The last node is the bottom (every target, the sources having them
  // all), added because no listed result is it.
  bool AddedBottom = false;

  std::int32_t Count() const { return static_cast<std::int32_t>(Labels.size()); }
};

// The diagram of `lattice`, whose nodes are results of `matrix`. The bottom
// is added when the lattice has nodes and none has every target.
TDiagram Diagram(const TMatrix& matrix, const TLattice& lattice, TNodeLabels labels);

// The reduced labels' vertices of each of `nodes`, results of `matrix`
// (see TNodeLabels), counting from 0, ascending.
std::vector<TBicliqueSides> ReducedLabels(const TMatrix& matrix, std::span<const TBicliqueSides> nodes);
