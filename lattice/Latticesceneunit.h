// Latticesceneunit: the window's lattice, without Qt: from the matrix rows
// and the sorted result text of a RUN, the iceberg of the results with at
// least some number of sources, labelled and laid out, each node knowing
// its line in the text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Latticediagramunit.h"
#include "Latticelayoutunit.h"

// Sizes in pixels.
struct TSceneSizes {
  double CharWidth = 7;  // of a label character, on average
  double SmallNode = 8;  // diameter of a node with the fewest sources
  double LargeNode = 28; // diameter of a node with the most
  double Gap = 12;       // between neighbours on a layer
};

struct TLatticeScene {
  std::int32_t MinSources = 0; // the bound drawn
  std::int64_t Results = 0;    // lines of the text
  // Per node of Diagram: its line in the text, counting from 0; -1 for the
  // added bottom.
  std::vector<std::int64_t> Lines;
  std::vector<double> Diameters; // per node, by its number of sources
  TDiagram Diagram;
  TLayout Layout;
  // Empty when drawn; else why not (then there are no nodes).
  std::string Refused;
};

// The scene of the results in `text` ("sources : targets" lines of the 0/1
// matrix `rows`, sorted) with at least `minSources` sources; for a negative
// `minSources` the smallest bound that leaves at most `aim` nodes. Refused
// beyond `limit` nodes. Pre: the text is the result text of `rows`.
TLatticeScene LatticeScene(const std::vector<std::string>& rows, std::string_view text,
                           std::int32_t minSources, TNodeLabels labels, const TSceneSizes& sizes,
                           std::int64_t aim = 150, std::int64_t limit = 2000);
