#include <gtest/gtest.h>

#include "Csvunit.h"
#include "ReaderTesting.h"

namespace {

TMatrix Read(std::string_view text) { return ReadPieces(MakeCsvReader, text, {}); }

using TNames = std::vector<std::string>;

} // namespace

TEST(CsvReader, ReadsNamesAndCells) {
  struct Case {
    const char* name;
    std::string text;
    TNames sources, targets;
    TRows rows;
  };
  const Case cases[] = {
      {"every cell value",
       ",t1,t2,t3\ns1,1,0,X\ns2,,true,FALSE\ns3,x,TRUE,false\n",
       {"s1", "s2", "s3"},
       {"t1", "t2", "t3"},
       {{0, 2}, {1}, {0, 1}}},
      {"quoted names with commas and quotes",
       "\"corner\",\"a, b\",\"say \"\"hi\"\"\"\n\"s, 1\",1,0\n\"\"\"\",\"0\",\"1\"\n",
       {"s, 1", "\""},
       {"a, b", "say \"hi\""},
       {{0}, {1}}},
      {"CRLF and no break at the end", ",a,b\r\ns,1,1\r\nt,0,1", {"s", "t"}, {"a", "b"}, {{0, 1}, {1}}},
      {"blanks around cells and quotes", " ,a, \"b\" \ns, 1 ,  \"0\" \n", {"s"}, {"a", "b"}, {{0}}},
      {"blanks in unquoted names are kept", "x, a ,b\n s ,1,0\n", {" s "}, {" a ", "b"}, {{0}}},
      {"a line break inside a quoted name",
       ",\"two\r\nlines\",\"\n\"\n\"s\n2\",1,X\n",
       {"s\n2"},
       {"two\nlines", "\n"},
       {{0, 1}}},
      {"empty lines are skipped", "\n,a\n\ns,1\n\nt,0\n\n", {"s", "t"}, {"a"}, {{0}, {}}},
      {"header only", ",a,b\n", {}, {"a", "b"}, {}},
      {"no targets", "names\ns1\n\"s2\"\n", {"s1", "s2"}, {}, {{}, {}}},
      {"empty names", ",,\n,1,1\n", {""}, {"", ""}, {{0, 1}}},
      {"UTF-8 names and a tab",
       ",caf\xC3\xA9\n\xE6\x97\xA5\tx,1\n",
       {"\xE6\x97\xA5\tx"},
       {"caf\xC3\xA9"},
       {{0}}},
  };
  for (const auto& c : cases) {
    const TMatrix matrix = Read(c.text);
    EXPECT_EQ(matrix.Sources, static_cast<std::int32_t>(c.sources.size())) << c.name;
    EXPECT_EQ(matrix.Targets, static_cast<std::int32_t>(c.targets.size())) << c.name;
    EXPECT_EQ(matrix.SourceNames, c.sources) << c.name;
    EXPECT_EQ(matrix.TargetNames, c.targets) << c.name;
    EXPECT_TRUE(matrix.SourceIds.empty() && matrix.TargetIds.empty()) << c.name;
    EXPECT_EQ(RowsOf(matrix), c.rows) << c.name;
    ExpectSameInPieces(MakeCsvReader, c.text, c.name);
  }
}

TEST(CsvReader, RefusesWithLineAndColumn) {
  const std::string head = ",a,b\n"; // rows start at line 2
  struct Case {
    const char* name;
    std::string text;
    TRefusal refusal;
  };
  const Case cases[] = {
      {"empty input",
       "",
       {0, 0, "the input is empty: a cross-table starts with a header line of target names"}},
      {"only empty lines",
       "\n\r\n",
       {0, 0, "the input is empty: a cross-table starts with a header line of target names"}},
      {"bad cell",
       head + "s,1,y\n",
       {2, 5, "line 2, column 5: expected a cell 0, 1, X, true, false or empty, found 'y'"}},
      {"a number that is no cell",
       head + "s,10,1\n",
       {2, 4, "line 2, column 4: expected a cell 0, 1, X, true, false or empty, found '0'"}},
      {"unfinished value before a comma",
       head + "s,tru,1\n",
       {2, 3, "line 2, column 3: expected a cell 0, 1, X, true, false or empty, found 'tru'"}},
      {"unfinished value at the end of the line",
       head + "s,1, fals\n",
       {2, 6, "line 2, column 6: expected a cell 0, 1, X, true, false or empty, found 'fals'"}},
      {"two values in a cell",
       head + "s,1 1,0\n",
       {2, 5, "line 2, column 5: expected a cell 0, 1, X, true, false or empty, found '1'"}},
      {"UTF-8 in a cell",
       head + "s,\xC3\xA9,0\n",
       {2, 3, "line 2, column 3: expected a cell 0, 1, X, true, false or empty, found '\xC3\xA9'"}},
      {"a quote inside an unquoted name",
       head + "s\"x,1,0\n",
       {2, 2,
        "line 2, column 2: a quote inside an unquoted field: quote the whole field and double its quotes"}},
      {"text after the closing quote",
       head + "\"s\" x,1,0\n",
       {2, 5, "line 2, column 5: expected ',' or end of line after the closing quote, found 'x'"}},
      {"too many fields",
       head + "s,1,0,1\n",
       {2, 6, "line 2, column 6: expected end of line after 3 fields, as many as the header has, found ','"}},
      {"too few fields", head + "s,1,0\nt,1\n", {3, 0, "line 3 has 2 fields, the header has 3"}},
      {"a name alone", head + "s\n", {2, 0, "line 2 has 1 field, the header has 3"}},
      {"an open quote at the end",
       head + "s,1,0\n\"t,1,0\n",
       {3, 1, "line 3, column 1: the quoted field that starts here has no closing quote"}},
      {"a quoted cell over a line break",
       head + "s,1,\"0\n\"\n",
       {2, 7, "line 2, column 7: expected the closing quote of the cell, found end of line"}},
      {"control character in a name",
       head + "s\x01,1,0\n",
       {2, 2, "line 2, column 2: expected text, found '\\x01'"}},
      {"control character in the header",
       ",a\x7f,b\n",
       {1, 3, "line 1, column 3: expected text, found '\\x7f'"}},
      {"not UTF-8",
       head + "s\xE9,1,0\n",
       {2, 2, "line 2, column 2: not UTF-8 text, found '\\xe9': save the file as UTF-8"}},
      {"an edge list",
       "1,2\n1,3\n",
       {2, 3, "line 2, column 3: expected a cell 0, 1, X, true, false or empty, found '3'"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RefusalOf([&] { Read(c.text); }), c.refusal) << c.name;
    ExpectSameInPieces(MakeCsvReader, c.text, c.name);
  }
}
