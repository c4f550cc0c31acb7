// The layered drawing: layers respect the order, nodes on a layer keep
// apart, crossings go where a drawing without them exists.
#include <gtest/gtest.h>

#include <random>

#include "BruteForce.h"
#include "LatticeTesting.h"
#include "Latticelayoutunit.h"

namespace {

// Pairs of edges whose straight lines cross, for edges between adjacent
// layers: their ends come in opposite orders.
int StraightCrossings(const TLayout& layout, const std::vector<TCover>& edges) {
  int crossings = 0;
  for (std::size_t a = 0; a < edges.size(); ++a)
    for (std::size_t b = a + 1; b < edges.size(); ++b) {
      const TCover& e = edges[a];
      const TCover& f = edges[b];
      const auto x = [&](std::int32_t v) { return layout.X[static_cast<std::size_t>(v)]; };
      if (layout.Layer[static_cast<std::size_t>(e.Lower)] != layout.Layer[static_cast<std::size_t>(f.Lower)])
        continue;
      if ((x(e.Lower) - x(f.Lower)) * (x(e.Upper) - x(f.Upper)) < 0) ++crossings;
    }
  return crossings;
}

// Every edge goes up, nodes on a layer keep the gap and their widths apart,
// all within the width.
void ExpectWellPlaced(const TLayout& layout, const std::vector<TCover>& edges,
                      const std::vector<double>& widths, double gap, const std::string& context) {
  const std::size_t count = widths.size();
  ASSERT_EQ(layout.Layer.size(), count) << context;
  ASSERT_EQ(layout.X.size(), count) << context;
  for (const TCover& edge : edges)
    EXPECT_LT(layout.Layer[static_cast<std::size_t>(edge.Lower)],
              layout.Layer[static_cast<std::size_t>(edge.Upper)])
        << context;
  for (std::size_t v = 0; v < count; ++v) {
    EXPECT_GE(layout.X[v] - widths[v] / 2, -1e-9) << context;
    EXPECT_LE(layout.X[v] + widths[v] / 2, layout.Width + 1e-9) << context;
    EXPECT_LT(layout.Layer[v], layout.Layers) << context;
    for (std::size_t w = v + 1; w < count; ++w) {
      if (layout.Layer[v] != layout.Layer[w]) continue;
      EXPECT_GE(std::abs(layout.X[v] - layout.X[w]), (widths[v] + widths[w]) / 2 + gap - 1e-9)
          << context << ": nodes " << v << " and " << w;
    }
  }
}

TEST(LayeredLayout, PlacesLatticesOfRandomContexts) {
  std::mt19937 random(3);
  for (int round = 0; round < 60; ++round) {
    const auto rows = bruteforce::RandomMatrix(random, 1 + random() % 9, random() % 9, 0.45);
    const std::vector<TBicliqueSides> nodes = latticetesting::SidesOfLines(bruteforce::ResultLines(rows));
    const std::vector<TCover> edges = latticetesting::CoversByDefinition(nodes);
    std::vector<double> widths;
    for (std::size_t v = 0; v < nodes.size(); ++v)
      widths.push_back(static_cast<double>(random() % 40));
    const TLayout layout = LayeredLayout(static_cast<std::int32_t>(nodes.size()), edges, widths, 5);
    ExpectWellPlaced(layout, edges, widths, 5, "round " + std::to_string(round));
  }
}

TEST(LayeredLayout, LayersByTheLongestWayFromBelow) {
  // 0 below 1 and 2, 1 below 3, 2 and 3 below 4: 4 is three layers up.
  const std::vector<TCover> edges{{0, 1}, {0, 2}, {1, 3}, {2, 4}, {3, 4}};
  const TLayout layout = LayeredLayout(5, edges, std::vector<double>(5, 10), 4);
  EXPECT_EQ(layout.Layer, (std::vector<std::int32_t>{0, 1, 1, 2, 3}));
  EXPECT_EQ(layout.Layers, 4);
  ExpectWellPlaced(layout, edges, std::vector<double>(5, 10), 4, "diamond with a long side");
}

TEST(LayeredLayout, UntanglesWhatCanBeDrawnWithoutCrossings) {
  struct Case {
    const char* name;
    std::int32_t count;
    std::vector<TCover> edges;
  };
  const Case cases[] = {
      // Two chains given interleaved: 0-3-4, 1-2-5, their middles swapped.
      {"two chains", 6, {{0, 3}, {3, 4}, {1, 2}, {2, 5}}},
      // The worked example's lattice with the bottom: both sides of the top.
      {"worked example", 4, {{0, 1}, {2, 1}, {3, 0}, {3, 2}}},
      // A ladder whose rungs are listed out of order.
      {"ladder", 8, {{0, 5}, {1, 4}, {2, 7}, {3, 6}, {5, 4}, {4, 7}, {7, 6}, {0, 1}, {1, 2}, {2, 3}}},
      // A bottom below three atoms, each below two of three coatoms, below a top.
      {"cube without a cross",
       8,
       {{0, 1}, {0, 2}, {0, 3}, {1, 4}, {2, 4}, {2, 5}, {3, 5}, {4, 7}, {5, 7}, {1, 6}, {6, 7}}},
  };
  for (const Case& c : cases) {
    const std::vector<double> widths(static_cast<std::size_t>(c.count), 8);
    const TLayout layout = LayeredLayout(c.count, c.edges, widths, 4);
    ExpectWellPlaced(layout, c.edges, widths, 4, c.name);
    EXPECT_EQ(StraightCrossings(layout, c.edges), 0) << c.name;
  }
}

TEST(LayeredLayout, PutsANodeBetweenItsNeighbours) {
  // The worked example: the top above the middle of its two lower covers.
  const std::vector<TCover> edges{{0, 1}, {2, 1}, {3, 0}, {3, 2}};
  const TLayout layout = LayeredLayout(4, edges, std::vector<double>(4, 10), 4);
  EXPECT_NEAR(layout.X[1], (layout.X[0] + layout.X[2]) / 2, 1e-9);
  EXPECT_NEAR(layout.X[3], layout.X[1], 1e-9);
}

} // namespace
