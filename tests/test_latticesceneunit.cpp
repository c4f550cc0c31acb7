// The window's lattice from a RUN's rows and result text: the iceberg
// chosen or asked for, each node's line, sizes by sources, the limit.
#include <gtest/gtest.h>

#include "Latticesceneunit.h"

namespace {

const std::vector<std::string> Rows{"11110", "00111"};
const std::string Text = "1 : 1,2,3,4\n1,2 : 3,4\n2 : 3,4,5\n";

TEST(LatticeScene, DrawsTheIcebergAskedForOrTheLargestThatFitsTheAim) {
  struct Case {
    const char* name;
    std::int32_t minSources;
    std::int64_t aim;
    std::int32_t drawn;
    std::vector<std::int64_t> lines;
  };
  const Case cases[] = {
      {"everything fits the aim", -1, 150, 0, {0, 1, 2, -1}},
      {"the aim leaves the top alone", -1, 1, 2, {1, -1}},
      {"asked for", 2, 150, 2, {1, -1}},
      {"asked for beyond every result", 3, 150, 3, {}},
  };
  for (const Case& c : cases) {
    const TLatticeScene scene = LatticeScene(Rows, Text, c.minSources, TNodeLabels::Counts, {}, c.aim);
    EXPECT_EQ(scene.MinSources, c.drawn) << c.name;
    EXPECT_EQ(scene.Lines, c.lines) << c.name;
    EXPECT_EQ(scene.Results, 3) << c.name;
    EXPECT_EQ(scene.Layout.X.size(), c.lines.size()) << c.name;
    EXPECT_TRUE(scene.Refused.empty()) << c.name;
  }
}

TEST(LatticeScene, NodesGrowWithTheirSources) {
  const TSceneSizes sizes;
  const TLatticeScene scene = LatticeScene(Rows, Text, 0, TNodeLabels::Counts, sizes);
  ASSERT_EQ(scene.Diameters.size(), 4u);
  EXPECT_EQ(scene.Diameters[1], sizes.LargeNode); // two sources, the most
  EXPECT_LT(scene.Diameters[0], scene.Diameters[1]);
  EXPECT_EQ(scene.Diameters[0], scene.Diameters[2]);
  EXPECT_EQ(scene.Diameters[3], sizes.SmallNode); // the bottom, no source
}

TEST(LatticeScene, RefusesMoreNodesThanTheLimitNamingTheBoundThatFits) {
  const TLatticeScene scene = LatticeScene(Rows, Text, 0, TNodeLabels::Counts, {}, 150, 2);
  EXPECT_EQ(scene.Refused, "3 nodes are too many to draw (at most 2); raise the minimum of sources to 2.");
  EXPECT_TRUE(scene.Lines.empty());
  EXPECT_EQ(scene.Diagram.Count(), 0);
}

} // namespace
