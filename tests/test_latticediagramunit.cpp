// The lattice's nodes in the result text's order, the diagram's bottom and
// labels, and the iceberg bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "BruteForce.h"
#include "LatticeTesting.h"
#include "Latticediagramunit.h"
#include "Latticeunit.h"
#include "Rununit.h"

namespace {

using Rows = std::vector<std::string>;
using latticetesting::Below;

// The lattice of every result of `rows` within `bounds`, by the run path.
TLattice LatticeOfRows(const Rows& rows, const TBounds& bounds = {}) {
  TRunOptions options;
  options.Output = TOutput::Kept;
  options.Config.Bounds = bounds;
  const TRunResult run = RunLines(rows, options);
  return LatticeOfResults(MatrixOfLines(rows), *run.Engine);
}

TEST(SortedNodes, AreTheResultTextInOrder) {
  std::mt19937 random(5);
  for (int round = 0; round < 20; ++round) {
    const Rows rows = bruteforce::RandomMatrix(random, 1 + random() % 12, random() % 12, 0.4);
    TRunOptions options;
    options.Output = TOutput::Kept;
    const TRunResult run = RunLines(rows, options);
    const TLattice lattice = SortedNodes(MatrixOfLines(rows), *run.Engine);
    const Rows lines = bruteforce::ResultLines(rows);
    EXPECT_EQ(lattice.Lines, lines);
    EXPECT_EQ(lattice.Sides, latticetesting::SidesOfLines(lines));
    EXPECT_TRUE(lattice.Covers.empty());
  }
}

TEST(IcebergMinSources, LeavesAtMostTheLimit) {
  struct Case {
    const char* name;
    std::vector<std::int32_t> counts;
    std::int64_t limit;
    std::int32_t bound;
  };
  const Case cases[] = {
      {"all fit", {1, 2, 1}, 3, 0},
      {"one too many: the smallest go", {1, 2, 1}, 2, 2},
      {"ties go together", {5, 5, 5, 1}, 2, 6},
      {"a limit of none leaves none", {3, 1}, 0, 4},
      {"the bound stops at the first size that does not fit", {4, 3, 3, 2, 1}, 4, 2},
      {"no results", {}, 0, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IcebergMinSources(c.counts, c.limit), c.bound) << c.name;
}

TEST(Diagram, AddsTheBottomWhenNoNodeIsIt) {
  struct Case {
    const char* name;
    Rows rows;
    TBounds bounds;
    std::vector<std::string> labels;
    std::vector<TCover> edges;
    bool addedBottom;
  };
  TBounds iceberg, none;
  iceberg.MinSources = 2;
  none.MinSources = 3;
  const Case cases[] = {
      {"worked example: the bottom below the two single rows",
       {"11110", "00111"},
       {},
       {"1 \u00d7 4", "2 \u00d7 2", "1 \u00d7 3", "0 \u00d7 5"},
       {{0, 1}, {2, 1}, {3, 0}, {3, 2}},
       true},
      {"a row with every target is the bottom",
       {"111", "110"},
       {},
       {"1 \u00d7 3", "2 \u00d7 2"},
       {{0, 1}},
       false},
      {"iceberg: the bottom below its smallest nodes, with the source it has",
       {"111", "110", "110", "011", "011"},
       iceberg,
       {"3 \u00d7 2", "5 \u00d7 1", "3 \u00d7 2", "1 \u00d7 3"},
       {{0, 1}, {2, 1}, {3, 0}, {3, 2}},
       true},
      {"the top alone, the bottom below it",
       {"10", "01"},
       iceberg,
       {"2 \u00d7 0", "0 \u00d7 2"},
       {{1, 0}},
       true},
      {"no nodes: no bottom", {"10", "01"}, none, {}, {}, false},
  };
  for (const Case& c : cases) {
    const TLattice lattice = LatticeOfRows(c.rows, c.bounds);
    const TDiagram diagram = Diagram(MatrixOfLines(c.rows), lattice, TNodeLabels::Counts);
    EXPECT_EQ(diagram.Labels, c.labels) << c.name;
    EXPECT_EQ(diagram.Edges, c.edges) << c.name;
    EXPECT_EQ(diagram.AddedBottom, c.addedBottom) << c.name;
  }
}

TEST(Diagram, ReducedLabelsOfTheWorkedExample) {
  const Rows rows{"11110", "00111"};
  const TDiagram diagram = Diagram(MatrixOfLines(rows), LatticeOfRows(rows), TNodeLabels::Reduced);
  const std::vector<std::string> labels{"1 : 1,2", ": 3,4", "2 : 5", ""};
  EXPECT_EQ(diagram.Labels, labels);
}

TEST(Diagram, ReducedLabelsUseTheInputsNames) {
  TMatrix matrix = MatrixOfLines({"110", "011"});
  matrix.SourceNames = {"ann", "bob"};
  matrix.TargetNames = {"x", "y", "z"};
  TRunOptions options;
  options.Output = TOutput::Kept;
  const TRunResult run = RunMatrix(matrix, options);
  const TDiagram diagram = Diagram(matrix, LatticeOfResults(matrix, *run.Engine), TNodeLabels::Reduced);
  const std::vector<std::string> labels{"ann : x", ": y", "bob : z", ""};
  EXPECT_EQ(diagram.Labels, labels);
}

// On a whole lattice, bottom and top included, the reduced labels give
// back every node: its sources are those shown at it and below it, its
// targets those shown at it and above it.
TEST(ReducedLabels, GiveBackEveryNodeOfAWholeLattice) {
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    const Rows rows = bruteforce::RandomMatrix(random, 1 + random() % 9, random() % 9, 0.5);
    std::vector<TBicliqueSides> nodes = latticetesting::SidesOfLines(bruteforce::ResultLines(rows));
    const auto targets = static_cast<std::int32_t>(bruteforce::Width(rows));
    if (std::none_of(nodes.begin(), nodes.end(), [&](const TBicliqueSides& node) {
          return static_cast<std::int32_t>(node.Targets.size()) == targets;
        })) {
      TBicliqueSides bottom;
      for (std::int32_t t = 0; t < targets; ++t)
        bottom.Targets.push_back(t);
      nodes.push_back(bottom);
    }
    const std::vector<TBicliqueSides> own = ReducedLabels(MatrixOfLines(rows), nodes);
    for (std::size_t x = 0; x < nodes.size(); ++x) {
      std::set<std::int32_t> sources, shownTargets;
      for (std::size_t y = 0; y < nodes.size(); ++y) {
        if (y == x || Below(nodes[y], nodes[x])) sources.insert(own[y].Sources.begin(), own[y].Sources.end());
        if (y == x || Below(nodes[x], nodes[y]))
          shownTargets.insert(own[y].Targets.begin(), own[y].Targets.end());
      }
      ASSERT_EQ(std::vector<std::int32_t>(sources.begin(), sources.end()), nodes[x].Sources) << "node " << x;
      ASSERT_EQ(std::vector<std::int32_t>(shownTargets.begin(), shownTargets.end()), nodes[x].Targets)
          << "node " << x;
    }
  }
}

} // namespace
