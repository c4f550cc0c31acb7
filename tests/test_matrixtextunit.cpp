#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "Matrixtextunit.h"
#include "ReaderTesting.h"

namespace {

TMatrix Read(std::string_view text) { return ReadPieces(MakeMatrixTextReader, text, {}); }

std::optional<TRefusal> RefusalOfText(std::string_view text) {
  return RefusalOf([text] { Read(text); });
}

// The ones of the text found the plain way: one character at a time.
TRows PlainRows(const std::string& text) {
  TRows rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    rows.emplace_back();
    for (std::size_t k = 0; k < line.size(); ++k)
      if (line[k] == '1') rows.back().push_back(static_cast<std::int32_t>(k));
  }
  return rows;
}

} // namespace

TEST(MatrixTextReader, ReadsRowsOfZerosAndOnes) {
  struct Case {
    const char* name;
    std::string text;
    std::int32_t targets;
    TRows rows;
  };
  const Case cases[] = {
      {"worked example", "11110\n00111\n", 5, {{0, 1, 2, 3}, {2, 3, 4}}},
      {"no lines", "", 0, {}},
      {"one empty line", "\n", 0, {{}}},
      {"empty lines", "\n\n", 0, {{}, {}}},
      {"CRLF, no break at the end", "01\r\n10", 2, {{1}, {0}}},
      {"all zeros", "000\n000", 3, {{}, {}}},
      {"ones across eight-byte words",
       "1000000110000000000000000000000000000000000000000000000000000001100001\n" + std::string(70, '0'),
       70,
       {{0, 7, 8, 63, 64, 69}, {}}},
  };
  for (const auto& c : cases) {
    const TMatrix matrix = Read(c.text);
    EXPECT_EQ(matrix.Sources, static_cast<std::int32_t>(c.rows.size())) << c.name;
    EXPECT_EQ(matrix.Targets, c.targets) << c.name;
    EXPECT_EQ(RowsOf(matrix), c.rows) << c.name;
    EXPECT_TRUE(matrix.SourceIds.empty() && matrix.TargetIds.empty()) << c.name;
    EXPECT_TRUE(matrix.SourceNames.empty() && matrix.TargetNames.empty()) << c.name;
    ExpectSameInPieces(MakeMatrixTextReader, c.text, c.name);
  }
}

TEST(MatrixTextReader, RandomMatricesMatchThePlainReading) {
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    const int sources = 1 + static_cast<int>(random() % 12), targets = static_cast<int>(random() % 150);
    const int density = static_cast<int>(random() % 101);
    std::string text;
    for (int s = 0; s < sources; ++s) {
      for (int t = 0; t < targets; ++t)
        text += static_cast<int>(random() % 100) < density ? '1' : '0';
      text += '\n';
    }
    const TMatrix matrix = Read(text);
    EXPECT_EQ(matrix.Targets, targets);
    EXPECT_EQ(RowsOf(matrix), PlainRows(text)) << text;
  }
}

TEST(MatrixTextReader, RefusesWithLineAndColumn) {
  struct Case {
    const char* name;
    std::string text;
    TRefusal refusal;
  };
  const Case cases[] = {
      {"bad character", "11110\n00111\n0101x\n", {3, 5, "line 3, column 5: expected '0' or '1', found 'x'"}},
      {"long line", "11110\n00111\n10101\n1010101\n", {4, 0, "line 4 has 7 characters, line 1 has 5"}},
      {"empty line inside", "10\n\n01\n", {2, 0, "line 2 has 0 characters, line 1 has 2"}},
      {"one character", "10\n1\n", {2, 0, "line 2 has 1 character, line 1 has 2"}},
      {"blank", "1 1", {1, 2, "line 1, column 2: expected '0' or '1', found ' '"}},
      {"tab", "1\t1", {1, 2, "line 1, column 2: expected '0' or '1', found '\\t'"}},
      {"lone CR", "10\r1\n", {1, 3, "line 1, column 3: expected '0' or '1', found '\\r'"}},
      {"CR at the very end", "10\r", {1, 3, "line 1, column 3: expected '0' or '1', found '\\r'"}},
      {"control byte", "01\n0\x01", {2, 2, "line 2, column 2: expected '0' or '1', found '\\x01'"}},
      {"NUL first", std::string("\0\0\0", 3), {1, 1, "line 1, column 1: expected '0' or '1', found '\\x00'"}},
      {"UTF-8 character whole, column in bytes",
       "1\xC3\xA9"
       "0",
       {1, 2, "line 1, column 2: expected '0' or '1', found '\xC3\xA9'"}},
      {"UTF-8 after a full word",
       "00000000000\xE2\x82\xAC",
       {1, 12, "line 1, column 12: expected '0' or '1', found '\xE2\x82\xAC'"}},
      {"byte that is no UTF-8",
       "1\xE9"
       "0",
       {1, 2, "line 1, column 2: expected '0' or '1', found '\\xe9'"}},
      {"unfinished UTF-8 at the end of a line",
       "1\xC3\n",
       {1, 2, "line 1, column 2: expected '0' or '1', found '\\xc3'"}},
      {"character before length", "111\n2\n", {2, 1, "line 2, column 1: expected '0' or '1', found '2'"}},
      {"character beyond the width",
       "11\n0001x\n",
       {2, 5, "line 2, column 5: expected '0' or '1', found 'x'"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RefusalOfText(c.text), c.refusal) << c.name;
    ExpectSameInPieces(MakeMatrixTextReader, c.text, c.name);
  }
}

TEST(MatrixText, WritesTheZeroOneText) {
  TMatrix matrix;
  matrix.Sources = 3;
  matrix.Targets = 4;
  matrix.RowStarts = {0, 2, 2, 3};
  matrix.Adjacent = {0, 3, 1};
  EXPECT_EQ(MatrixText(matrix), "1001\n0000\n0100");
  EXPECT_EQ(MatrixText(TMatrix{}), "");
  TMatrix noTargets;
  noTargets.Sources = 2;
  noTargets.RowStarts = {0, 0, 0};
  EXPECT_EQ(MatrixText(noTargets), "\n");
}

TEST(MatrixText, ReadingItGivesTheSameRows) {
  std::mt19937 random(11);
  for (int round = 0; round < 20; ++round) {
    std::string text;
    const int sources = 1 + static_cast<int>(random() % 9), targets = 1 + static_cast<int>(random() % 80);
    for (int s = 0; s < sources; ++s) {
      if (s > 0) text += '\n';
      for (int t = 0; t < targets; ++t)
        text += random() % 3 == 0 ? '1' : '0';
    }
    EXPECT_EQ(MatrixText(Read(text)), text);
  }
}

TEST(MatrixTextReader, ReadsARealFile) {
  std::ifstream file(BICLIQUES_DATA_DIR "/foodmart.txt", std::ios::binary);
  if (!file) GTEST_SKIP() << "no " BICLIQUES_DATA_DIR "/foodmart.txt";
  std::ostringstream content;
  content << file.rdbuf();
  const std::string text = content.str();
  const TMatrix matrix = Read(text);
  EXPECT_EQ(matrix.Sources, std::count(text.begin(), text.end(), '\n'));
  EXPECT_EQ(matrix.Targets, static_cast<std::int32_t>(text.find('\n')));
  EXPECT_EQ(matrix.Ones(), std::count(text.begin(), text.end(), '1'));
  EXPECT_EQ(MatrixText(matrix) + "\n", text);
}
