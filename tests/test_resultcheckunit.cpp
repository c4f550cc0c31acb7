#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "BruteForce.h"
#include "Readerunit.h"
#include "Resultcheckunit.h"
#include "Rununit.h"

TEST(TResultChecker, TakesEveryLineOfTheBruteForceOnRandomMatrices) {
  std::mt19937 random(3);
  for (int round = 0; round < 60; ++round) {
    const std::vector<std::string> rows = bruteforce::RandomMatrix(random, random() % 12, random() % 40);
    const TMatrix matrix = MatrixOfLines(rows);
    TResultChecker checker(matrix);
    for (const std::string& line : bruteforce::ResultLines(rows))
      ASSERT_EQ(checker.Check(line), "") << "round " << round << ": " << line;
  }
}

TEST(TResultChecker, RefusesWhatIsNoMaximalBicliqueOrSeenBefore) {
  // The worked example: "1 : 1,2,3,4", "1,2 : 3,4", "2 : 3,4,5".
  const TMatrix matrix = MatrixOfLines({"11110", "00111"});
  const struct {
    const char* Line;
    const char* Fault;
  } cases[] = {
      {"1 : 1,2,3", "the targets are not those the sources share"},
      {"1 : 1,2,3,4,5", "the targets are not those the sources share"},
      {"2 : 3,4", "the targets are not those the sources share"},
      {"1 : 3,4", "the targets are not those the sources share"},
      {" : 1,2,3,4,5", "no source"},
      {"3 : 1", "source 3 is not in the graph"},
      {"1 : 6", "target 6 is not in the graph"},
      {"2,1 : 3,4", "source list not ascending"},
      {"1,,2 : 3,4", "malformed source list"},
      {"1 : 1,2,3,4x", "malformed target list"},
      {"1 - 1,2,3,4", "no \" : \" between the sides"},
  };
  TResultChecker checker(matrix);
  for (const auto& c : cases)
    EXPECT_EQ(checker.Check(c.Line), c.Fault) << c.Line;
  EXPECT_EQ(checker.Check("1,2 : 3,4"), "");
  EXPECT_EQ(checker.Check("1,2 : 3,4"), "the same line as an earlier one");
}

TEST(TResultChecker, ReadsTheNumbersTheInputShows) {
  // Transactions name their items; the lines show those numbers.
  const TMatrix matrix = ReadText("10 20 30\n20 30 40\n", TFormat::Fimi);
  TResultChecker checker(matrix);
  EXPECT_EQ(checker.Check("1,2 : 20,30"), "");
  EXPECT_EQ(checker.Check("1 : 10,20,30"), "");
  EXPECT_EQ(checker.Check("1 : 1,2,3"), "target 1 is not in the graph");
  const TRunResult run = RunMatrix(matrix, TRunOptions{});
  TResultChecker again(matrix);
  for (const std::string& line : SplitLines(run.Text))
    EXPECT_EQ(again.Check(line), "") << line;
}
