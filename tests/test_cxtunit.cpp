#include <gtest/gtest.h>

#include "Cxtunit.h"
#include "ReaderTesting.h"

namespace {

TMatrix Read(std::string_view text) { return ReadPieces(MakeCxtReader, text, {}); }

using TNames = std::vector<std::string>;

} // namespace

TEST(CxtReader, ReadsObjectsAttributesAndMarks) {
  struct Case {
    const char* name;
    std::string text;
    TNames objects, attributes;
    TRows rows;
  };
  const Case cases[] = {
      {"common layout",
       "B\n\n3\n2\n\no1\no2\no3\na1\na2\nX.\n.x\nXX\n",
       {"o1", "o2", "o3"},
       {"a1", "a2"},
       {{0}, {1}, {0, 1}}},
      {"named, no empty line, CRLF",
       "B\r\nctx\r\n2\r\n2\r\no1\r\no2\r\na1\r\na2\r\nX.\r\n..\r\n",
       {"o1", "o2"},
       {"a1", "a2"},
       {{0}, {}}},
      {"no name line", "B\n2\n1\no1\no2\na1\nX\n.\n", {"o1", "o2"}, {"a1"}, {{0}, {}}},
      {"no name line, empty line", "B\n1\n1\n\no1\na1\nX\n", {"o1"}, {"a1"}, {{0}}},
      {"blanks after the marks and blank lines at the end",
       "B\n\n1\n3\n\no\na\nb\nc\nX.X  \n\n \n",
       {"o"},
       {"a", "b", "c"},
       {{0, 2}}},
      {"names with blanks and UTF-8",
       "B\n\n1\n1\n\nbig cat\ncaf\xC3\xA9\nX",
       {"big cat"},
       {"caf\xC3\xA9"},
       {{0}}},
      {"empty first object name after the empty line",
       "B\n\n2\n1\n\n\no2\na\n.\nX\n",
       {"", "o2"},
       {"a"},
       {{}, {0}}},
      {"no objects", "B\n\n0\n2\n\na1\na2\n", {}, {"a1", "a2"}, {}},
      {"no attributes", "B\n\n2\n0\n\no1\no2\n\n\n", {"o1", "o2"}, {}, {{}, {}}},
      {"blanks around the numbers", "B \nx\n 1 \n1\t\no\na\nx\n", {"o"}, {"a"}, {{0}}},
  };
  for (const auto& c : cases) {
    const TMatrix matrix = Read(c.text);
    EXPECT_EQ(matrix.Sources, static_cast<std::int32_t>(c.objects.size())) << c.name;
    EXPECT_EQ(matrix.Targets, static_cast<std::int32_t>(c.attributes.size())) << c.name;
    EXPECT_EQ(matrix.SourceNames, c.objects) << c.name;
    EXPECT_EQ(matrix.TargetNames, c.attributes) << c.name;
    EXPECT_TRUE(matrix.SourceIds.empty() && matrix.TargetIds.empty()) << c.name;
    EXPECT_EQ(RowsOf(matrix), c.rows) << c.name;
    ExpectSameInPieces(MakeCxtReader, c.text, c.name);
  }
}

TEST(CxtReader, RefusesWithLineAndColumn) {
  const std::string head = "B\n\n2\n2\n\no1\no2\na1\na2\n"; // marks start at line 10
  struct Case {
    const char* name;
    std::string text;
    TRefusal refusal;
  };
  const Case cases[] = {
      {"empty input", "", {0, 0, "the input is empty: a context starts with a line 'B'"}},
      {"first line", "A\n", {1, 1, "line 1, column 1: expected 'B' (a context starts with it), found 'A'"}},
      {"first line empty",
       "\n",
       {1, 1, "line 1, column 1: expected 'B' (a context starts with it), found end of line"}},
      {"NUL first",
       std::string("\0", 1),
       {1, 1, "line 1, column 1: expected 'B' (a context starts with it), found '\\x00'"}},
      {"text after B", "Bx\n", {1, 2, "line 1, column 2: expected end of line, found 'x'"}},
      {"object count", "B\n\nx\n", {3, 1, "line 3, column 1: expected the number of objects, found 'x'"}},
      {"attribute count missing",
       "B\n\n2\n \n",
       {4, 2, "line 4, column 2: expected the number of attributes, found end of line"}},
      {"two numbers",
       "B\n\n2 3\n",
       {3, 3, "line 3, column 3: expected end of line after the number of objects, found '3'"}},
      {"too many objects",
       "B\n\n2147483648\n",
       {3, 1, "line 3, column 1: too many objects: more than 2147483647"}},
      {"mark", head + "X.\n.o\n", {11, 2, "line 11, column 2: expected 'X' or '.', found 'o'"}},
      {"blank between marks", head + "X .\n", {10, 2, "line 10, column 2: expected 'X' or '.', found ' '"}},
      {"leading blank", head + " X.\n", {10, 1, "line 10, column 1: expected 'X' or '.', found ' '"}},
      {"short line of marks", head + "X\n", {10, 0, "line 10 has 1 mark, the context has 2 attributes"}},
      {"long line of marks", head + "X..\n", {10, 0, "line 10 has 3 marks, the context has 2 attributes"}},
      {"text after the last line of marks",
       head + "X.\n..\n\nX.\n",
       {13, 1, "line 13, column 1: expected the end of the input after the 2 lines of marks, found 'X'"}},
      {"ends in the names",
       "B\n\n2\n2\n\no1\no2\na1\n",
       {8, 0, "the input ends after line 8: expected 1 more attribute name"}},
      {"ends in the marks",
       head + "X.\n",
       {10, 0, "the input ends after line 10: expected 1 more line of marks, one per object"}},
      {"ends after the counts",
       "B\n\n2\n",
       {3, 0, "the input ends after line 3: expected the number of attributes"}},
      {"name not text", "B\n\n1\n1\n\no\x01\n", {6, 2, "line 6, column 2: expected text, found '\\x01'"}},
      {"empty first object name without the empty line",
       "B\nn\n2\n1\n\no2\na\n.\nX\n",
       {9, 0, "the input ends after line 9: expected 1 more line of marks, one per object"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RefusalOf([&] { Read(c.text); }), c.refusal) << c.name;
    ExpectSameInPieces(MakeCxtReader, c.text, c.name);
  }
}
