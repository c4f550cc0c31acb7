#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Labelsunit.h"
#include "Readerunit.h"

namespace {

using TTexts = std::vector<std::string>;

} // namespace

// Each format's graph of the worked example, as its reader gives it: the
// labels are what the command line would show for each vertex.
TEST(Labelsunit, LabelsAreTheNamesOrNumbersTheInputShows) {
  struct TLabelCase {
    const char* Shows;
    const char* Text;
    TFormat Format;
    TTexts Sources, Targets;
  };
  const TLabelCase cases[] = {
      {"matrix: positions only", "11110\n00111\n", TFormat::Matrix, {}, {}},
      {"fimi of the numbers 1 to 5: positions only", "1 2 3 4\n3 4 5\n", TFormat::Fimi, {}, {}},
      {"fimi of other numbers: as written", "3 7\n7 100\n", TFormat::Fimi, {}, {"3", "7", "100"}},
      {"edges of numbers", "10 1\n20 1\n20 2\n", TFormat::Edges, {"10", "20"}, {}},
      {"edges of names: in order of appearance",
       "bob x\nann y\nbob y\n",
       TFormat::Edges,
       {"bob", "ann"},
       {"x", "y"}},
      {"context: its names",
       "B\nname\n2\n2\n\nann\nbob\nx\ny\nX.\nXX\n",
       TFormat::Cxt,
       {"ann", "bob"},
       {"x", "y"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Shows);
    const TVertexLabels labels = LabelsOfMatrix(ReadText(c.Text, c.Format));
    EXPECT_EQ(labels.Sources, c.Sources);
    EXPECT_EQ(labels.Targets, c.Targets);
    EXPECT_EQ(labels.Empty(), c.Sources.empty() && c.Targets.empty());
  }
}

TEST(Labelsunit, LabelledLineReplacesEveryPositionItHasALabelFor) {
  const TVertexLabels both{{"ann", "bob"}, {"a", "b", "c"}};
  const TVertexLabels targetsOnly{{}, {"3", "7", "100"}};
  struct TLineCase {
    const char* Line;
    const TVertexLabels* Labels;
    const char* Shown;
  };
  const TLineCase cases[] = {
      {"1,2 : 1,3", &both, "ann,bob : a,c"},
      {"2 : ", &both, "bob : "},   // no targets
      {"1 : 4", &both, "ann : 4"}, // beyond the labels: as it is
      {"1,2 : 2,3", &targetsOnly, "1,2 : 7,100"},
      {"1,2 : 2,3", nullptr, "1,2 : 2,3"}, // no labels at all
      {"not a result", &both, "not a result"},
      {"1,x : 2", &both, "1,x : 2"}, // not all numbers: left alone
      {"1,,2 : 2", &both, "1,,2 : 2"},
  };
  const TVertexLabels none;
  for (const auto& c : cases)
    EXPECT_EQ(LabelledLine(c.Line, c.Labels ? *c.Labels : none), c.Shown) << c.Line;
}

TEST(Labelsunit, LabelsFitAMatrixOfTheirShape) {
  const TVertexLabels targetsOnly{{}, {"x", "y"}};
  EXPECT_TRUE(targetsOnly.Fit(7, 2));
  EXPECT_FALSE(targetsOnly.Fit(7, 3));
  const TVertexLabels both{{"a"}, {"x", "y"}};
  EXPECT_TRUE(both.Fit(1, 2));
  EXPECT_FALSE(both.Fit(2, 2));
  EXPECT_TRUE(TVertexLabels().Fit(5, 5));
}
