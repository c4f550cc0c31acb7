// Latticelayoutunit: a layered drawing of the lattice's diagram. Every node
// sits on a layer above all nodes below it, the order within each layer is
// chosen for few crossings, and each node is placed as near its neighbours
// as the widths of the nodes beside it allow. Edges are drawn straight.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "Coverunit.h"

struct TLayout {
  // Per node: its layer, 0 at the bottom, and its centre from the left
  // edge, in the units of the widths.
  std::vector<std::int32_t> Layer;
  std::vector<double> X;
  std::int32_t Layers = 0;
  // Every node lies within [0, Width] with its width.
  double Width = 0;
};

// Lays out `count` nodes of widths `widths` (each >= 0), with `gap` at
// least between neighbours on a layer, and `edges` from lower to upper
// nodes.
//
// Layers: a node's layer is one above the highest of its lower neighbours
// (0 for none). Order: an edge across several layers passes a point on each
// layer between; sweeps up and down sort each layer by the median place of
// its neighbours on the layer before and then swap neighbours on a layer
// while that removes crossings, keeping the order with the fewest
// crossings. Places: sweeps move each node towards the mean place of its
// neighbours, as near as the order and the widths allow (the least squares
// placement under those bounds). Cost: about (nodes + edge points) x
// log(nodes) per sweep, a few dozen sweeps.
//
// Pre: widths.size() == count; the edges are pairs of nodes below count and
// go from lower to upper without cycles.
TLayout LayeredLayout(std::int32_t count, std::span<const TCover> edges, std::span<const double> widths,
                      double gap);
