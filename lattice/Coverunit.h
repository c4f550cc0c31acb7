// Coverunit: which listed maximal bicliques lie directly above which, the
// lines of the lattice's diagram.
#pragma once

#include <compare>
#include <cstdint>
#include <span>
#include <vector>

#include "Matrixunit.h"

// One listed biclique: its sources and its targets, vertex numbers counting
// from 0, ascending.
struct TBicliqueSides {
  std::vector<std::int32_t> Sources;
  std::vector<std::int32_t> Targets;
  bool operator==(const TBicliqueSides&) const = default;
};

// Result Lower lies directly below result Upper: Upper's sources properly
// contain Lower's, and no listed result's sources lie strictly between.
// Lower and Upper are places in the list.
struct TCover {
  std::int32_t Lower = 0;
  std::int32_t Upper = 0;
  auto operator<=>(const TCover&) const = default;
};

// Which way Covers goes: from each result up to its upper covers over the
// sources' rows, down to its lower covers over the targets' columns, or the
// way it expects to be cheaper. Every way gives the same pairs.
enum class TCoverWay { Cheaper, Up, Down };

// The cover pairs among `results`, ascending by (Lower, Upper).
//
// Pre: the results are distinct maximal bicliques of `matrix` (each target
// side is every target that all its sources share, each source side every
// source that has all its targets, with at least one source), and they are
// every such biclique between any two of them. Size bounds on the sides (as
// the engines' TBounds give) keep that: between two admitted bicliques,
// every biclique is admitted.
//
// Method: the upper covers of a result with targets T are the listed ones
// among the largest of the sets T meet a source's targets (sources outside
// the result); the lower covers likewise from its sources and the targets'
// columns. Covers takes the way it expects to be cheaper. Cost per result:
// its side's size, plus one pass over the distinct lines of that way (rows
// over the targets in some result, or columns over such sources), each
// costing the words where the result's side has bits; memory: that side of
// every result as packed words. Only the side of the chosen way is read.
std::vector<TCover> Covers(const TMatrix& matrix, std::span<const TBicliqueSides> results,
                           TCoverWay way = TCoverWay::Cheaper);
