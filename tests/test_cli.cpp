// The bicliques command end to end, run as a process.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Generateunit.h"

namespace fs = std::filesystem;

namespace {

struct TOutcome {
  int Status;
  std::string Out;
  std::string Err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Spit(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class CliTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("bicliques-cli-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  // Runs the command with `input` on standard input, from inside Dir.
  TOutcome Run(const std::string& arguments, const std::string& input = "") {
    Spit(Dir / "stdin", input);
    const std::string command =
        "cd '" + Dir.string() + "' && '" BICLIQUES_EXE "' " + arguments + " <stdin >stdout 2>stderr";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(Dir / "stdout"), Slurp(Dir / "stderr")};
  }

  fs::path Dir;
};

} // namespace

TEST_F(CliTest, WorkedExampleThroughStandardInput) {
  const TOutcome outcome = Run("", "11110\n00111\n");
  EXPECT_EQ(outcome.Status, 0);
  EXPECT_EQ(outcome.Out, "1 : 1,2,3,4\n1,2 : 3,4\n2 : 3,4,5\n");
  EXPECT_EQ(outcome.Err, "");
  EXPECT_EQ(Run("-", "11110\n00111\n").Out, outcome.Out);
}

TEST_F(CliTest, ReadsFilesWithEitherLineEnd) {
  Spit(Dir / "crlf.txt", "11110\r\n00111\r\n");
  Spit(Dir / "empty.txt", "");
  EXPECT_EQ(Run("crlf.txt").Out, "1 : 1,2,3,4\n1,2 : 3,4\n2 : 3,4,5\n");
  const TOutcome empty = Run("empty.txt");
  EXPECT_EQ(empty.Status, 0);
  EXPECT_EQ(empty.Out, "");
  EXPECT_EQ(Run("--count empty.txt").Out, "0\n");
}

TEST_F(CliTest, CountAndStats) {
  const TOutcome outcome = Run("--count --stats", "110\n011\n101\n");
  EXPECT_EQ(outcome.Status, 0);
  EXPECT_EQ(outcome.Out, "7\n");
  EXPECT_NE(outcome.Err.find("sources 3, targets 3, bicliques 7, passes 3, enumeration "), std::string::npos)
      << outcome.Err;
}

TEST_F(CliTest, RefusedInputAndUnreadableFilesExitOneWithAPlace) {
  struct Case {
    const char* name;
    std::string arguments, input, message;
  };
  const Case cases[] = {
      {"bad character", "", "11110\n00111\n0101x\n",
       "bicliques: standard input: line 3, column 5: expected '0' or '1', found 'x'\n"},
      {"line of another length", "", "101\n10\n",
       "bicliques: standard input: line 2 has 2 characters, line 1 has 3\n"},
      {"binary data", "",
       std::string("\x7f"
                   "ELF\0\x01",
                   6),
       "bicliques: standard input: line 1, column 1: expected '0' or '1', found '\\x7f'\n"},
      {"missing file", "missing.txt", "",
       "bicliques: cannot read 'missing.txt': No such file or directory\n"},
      {"directory", ".", "", "bicliques: cannot read '.': Is a directory\n"},
  };
  for (const auto& c : cases) {
    const TOutcome outcome = Run(c.arguments, c.input);
    EXPECT_EQ(outcome.Status, 1) << c.name;
    EXPECT_EQ(outcome.Out, "") << c.name;
    EXPECT_EQ(outcome.Err, c.message) << c.name;
  }
}

TEST_F(CliTest, OutputFileIsReplacedOnlyByACompleteResult) {
  Spit(Dir / "out.txt", "precious\n");
  const TOutcome refused = Run("-o out.txt", "12\n");
  EXPECT_EQ(refused.Status, 1);
  EXPECT_EQ(Slurp(Dir / "out.txt"), "precious\n");

  const TOutcome done = Run("--output out.txt", "10\n01\n");
  EXPECT_EQ(done.Status, 0);
  EXPECT_EQ(done.Out, "");
  EXPECT_EQ(Slurp(Dir / "out.txt"), "1 : 1\n1,2 : \n2 : 2\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 4)
      << "a temporary file remains";

  const TOutcome unwritable = Run("-o no/such/dir/out.txt", "1\n");
  EXPECT_EQ(unwritable.Status, 1);
  EXPECT_NE(unwritable.Err.find("cannot write 'no/such/dir/out.txt'"), std::string::npos) << unwritable.Err;
}

TEST_F(CliTest, UsageErrorsExitTwo) {
  for (const char* arguments : {"--bogus", "a.txt b.txt", "generate 3", "generate x 3 25", "-o"}) {
    const TOutcome outcome = Run(arguments);
    EXPECT_EQ(outcome.Status, 2) << arguments;
    EXPECT_NE(outcome.Err, "") << arguments;
  }
  EXPECT_EQ(Run("--help").Status, 0);
  EXPECT_NE(Run("--version").Out.find("bicliques "), std::string::npos);
}

TEST_F(CliTest, GeneratePrintsTheCoreGeneratorsFirstMatrixAndHonoursTheSeed) {
  TRandomSource fresh;
  std::string expected;
  for (const auto& row : GenerateMatrix(10, 10, 25.0f, fresh))
    expected += row + "\n";
  const TOutcome first = Run("generate 10 10 25");
  EXPECT_EQ(first.Status, 0);
  EXPECT_EQ(first.Out, expected);
  EXPECT_EQ(Run("generate 10 10 25").Out, expected);
  EXPECT_NE(Run("generate 10 10 25 --seed 99").Out, expected);
  EXPECT_EQ(Run("generate 2 3 100").Out, "111\n111\n");
  EXPECT_EQ(Run("generate 6 6 12,5abc").Out, Run("generate 6 6 12").Out);
  EXPECT_EQ(Run("generate 0 3 50").Out, "");
}
