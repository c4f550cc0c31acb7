// Latticetextunit: the lattice's diagram as a graph file for other tools:
// DOT (Graphviz) or GraphML.
#pragma once

#include <string>
#include <string_view>

#include "Latticediagramunit.h"
#include "Latticeunit.h"

enum class TLatticeFormat { Dot, Graphml };

// The diagram as text. Node i of the lattice has the id "n" followed by
// i + 1, its line number in the sorted result text; the added bottom has
// the id "bottom" and is drawn dashed (DOT) or marked by the boolean
// "bottom" (GraphML). Every edge goes from the lower node to the upper, and
// DOT draws it upward without an arrowhead. Each node carries its label,
// its numbers of sources and targets and its result line (DOT: the label
// and the line as tooltip). Text that is not UTF-8, and control characters,
// are replaced by U+FFFD. Pre: `diagram` is Diagram(..., lattice, ...).
std::string LatticeText(const TDiagram& diagram, const TLattice& lattice, TLatticeFormat format);

// The node id of node i of a diagram (see LatticeText).
std::string NodeId(const TDiagram& diagram, std::int32_t i);
