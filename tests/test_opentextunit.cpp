#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "Opentextunit.h"

// A matrix file is shown as it is; its first fault comes with the file's
// name and the place, as the matrix reader names it.
TEST(Opentextunit, MatrixFilesAreShownAsTheyAreWithTheirFirstFault) {
  struct TMatrixCase {
    const char* Bytes;
    const char* Text;
    int Sources, Targets;
    std::int64_t FaultLine, FaultColumn; // 0, 0: no fault
  };
  const TMatrixCase cases[] = {
      {"11110\r\n00111\r\n", "11110\n00111", 2, 5, 0, 0},
      {"", "", 0, 0, 0, 0},
      {"11110\n00121\n", "11110\n00121", 0, 0, 2, 4},
      {"11110\n0011\n1x\n", "11110\n0011\n1x", 0, 0, 2, 0},
      {"11\n\n11", "11\n\n11", 0, 0, 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Bytes);
    const TOpenedText opened = PaneTextOfFile("m.txt", c.Bytes);
    EXPECT_EQ(opened.Text, c.Text);
    EXPECT_EQ(opened.Sources, c.Sources);
    EXPECT_EQ(opened.Targets, c.Targets);
    EXPECT_TRUE(opened.Labels.Empty());
    ASSERT_EQ(opened.Fault.has_value(), c.FaultLine != 0);
    if (!opened.Fault) continue;
    EXPECT_EQ(opened.Fault->Line, c.FaultLine);
    EXPECT_EQ(opened.Fault->Column, c.FaultColumn);
    EXPECT_EQ(std::string(opened.Fault->what()).rfind("m.txt: line " + std::to_string(c.FaultLine), 0), 0u)
        << opened.Fault->what();
  }
}

// Every character but the breaks counts as a cell, so a matrix file of more
// cells than the window shows is refused whether its lines agree or not.
TEST(Opentextunit, LargeMatrixFilesAreRefusedByTheirCells) {
  const std::string row(1000, '0');
  std::string atLimit, overLimit;
  for (int r = 0; r < 20000; ++r)
    atLimit += row + "\n";
  overLimit = atLimit + "1\n";
  EXPECT_EQ(PaneTextOfFile("m.txt", atLimit).Sources, 20000);
  try {
    PaneTextOfFile("m.txt", overLimit);
    FAIL() << "a matrix of 20000001 cells was shown";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("20001 lines of 1000 characters, 20000001 cells"),
              std::string::npos)
        << error.what();
  }
}

TEST(Opentextunit, OtherFormatsAreShownAsTheirMatrixWithTheirLabels) {
  const TOpenedText opened = PaneTextOfFile("g.edges", "bob x\nann y\nbob y\n");
  EXPECT_EQ(opened.Text, "11\n01");
  EXPECT_EQ(opened.Sources, 2);
  EXPECT_EQ(opened.Targets, 2);
  EXPECT_EQ(opened.Labels.Sources, (std::vector<std::string>{"bob", "ann"}));
  EXPECT_FALSE(opened.Fault);
  EXPECT_THROW(PaneTextOfFile("g.dat", "1 2\n3 x\n"), TInputError);
}
