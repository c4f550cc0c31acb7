#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <thread>
#include <unistd.h>

#include "ReaderTesting.h"
#include "Readerunit.h"

namespace {

constexpr TFormat AllFormats[] = {TFormat::Matrix, TFormat::Fimi, TFormat::Edges, TFormat::Cxt, TFormat::Csv};

// Each row as the numbers shown for its source and targets.
struct TShownRow {
  std::int64_t Source;
  std::vector<std::int64_t> Targets;
  bool operator==(const TShownRow&) const = default;
};

std::vector<TShownRow> Shown(const TMatrix& matrix) {
  std::vector<TShownRow> rows;
  for (std::int32_t s = 0; s < matrix.Sources; ++s) {
    TShownRow row{matrix.SourceIds.empty() ? s + 1 : matrix.SourceIds[static_cast<std::size_t>(s)], {}};
    for (const std::int32_t t : matrix.Row(s))
      row.Targets.push_back(matrix.TargetIds.empty() ? t + 1 : matrix.TargetIds[static_cast<std::size_t>(t)]);
    rows.push_back(row);
  }
  return rows;
}

std::string DataFile(const std::string& name) { return std::string(BICLIQUES_DATA_DIR) + "/" + name; }

TMatrix ReadFile(const std::string& path, TFormat format) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  try {
    TMatrix matrix = ReadFd(fd, format);
    ::close(fd);
    return matrix;
  } catch (...) {
    ::close(fd);
    throw;
  }
}

// A file of `content` in the temporary folder, removed at the end.
class TTempFile {
public:
  explicit TTempFile(const std::string& content) {
    char name[] = "/tmp/readerunit-XXXXXX";
    const int fd = ::mkstemp(name);
    EXPECT_GE(fd, 0);
    Path = name;
    EXPECT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::close(fd);
  }
  ~TTempFile() { std::filesystem::remove(Path); }
  std::string Path;
};

} // namespace

TEST(Format, ByNameAndByExtension) {
  EXPECT_EQ(ParseFormat("matrix"), TFormat::Matrix);
  EXPECT_EQ(ParseFormat("fimi"), TFormat::Fimi);
  EXPECT_EQ(ParseFormat("edges"), TFormat::Edges);
  EXPECT_EQ(ParseFormat("cxt"), TFormat::Cxt);
  EXPECT_EQ(ParseFormat("csv"), TFormat::Csv);
  for (const TFormat format : AllFormats)
    EXPECT_EQ(ParseFormat(FormatName(format)), format);
  try {
    ParseFormat("tsv");
    ADD_FAILURE() << "accepted";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "unknown input format 'tsv': use matrix, fimi, edges, cxt or csv");
  }

  struct Case {
    const char* path;
    TFormat format;
  };
  const Case cases[] = {
      {"a.txt", TFormat::Matrix},      {"data/retail.dat", TFormat::Fimi},
      {"x.cxt", TFormat::Cxt},         {"g.edges", TFormat::Edges},
      {"g.tsv", TFormat::Edges},       {"table.csv", TFormat::Csv},
      {"T.CSV", TFormat::Csv},         {"noextension", TFormat::Matrix},
      {"a.dat/file", TFormat::Matrix}, {"archive.tar.gz", TFormat::Matrix},
      {"-", TFormat::Matrix},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatForPath(c.path), c.format) << c.path;
}

// One graph in every format: three sources; targets 1..5, source 3 alone on 2.
TEST(ReadText, EveryFormatGivesTheSameGraph) {
  struct Case {
    TFormat format;
    std::string text;
  };
  const Case cases[] = {
      {TFormat::Matrix, "11110\n00111\n01000\n"},
      {TFormat::Fimi, "4 3 2 1\n5 4 3\n2\n"},
      {TFormat::Edges, "% s t\n1 1\n1 2\n1 3\n1 4\n2 3\n2 4\n2 5\n3 2\n"},
      {TFormat::Cxt, "B\n\n3\n5\n\n1\n2\n3\n1\n2\n3\n4\n5\nXXXX.\n..XXX\n.X...\n"},
      {TFormat::Csv, ",1,2,3,4,5\n1,1,1,1,1,0\n2,0,0,1,1,1\n3,0,1,0,0,0\n"},
  };
  const std::vector<TShownRow> expected = {{1, {1, 2, 3, 4}}, {2, {3, 4, 5}}, {3, {2}}};
  for (const auto& c : cases) {
    const TMatrix matrix = ReadText(c.text, c.format);
    EXPECT_EQ(matrix.Sources, 3) << FormatName(c.format);
    EXPECT_EQ(matrix.Targets, 5) << FormatName(c.format);
    EXPECT_EQ(Shown(matrix), expected) << FormatName(c.format);
  }
}

// The same named table as a context and as a cross-table: the same rows and
// names, so the same bicliques.
TEST(ReadText, CrossTableAndContextAgree) {
  const std::string cxt = "B\n\n3\n4\n\nAnn Lee\nBo, Jr.\n\"Cy\"\nred\nblue, dark\n\"green\"\nnone\n"
                          "XX..\n.XX.\nX.X.\n";
  const std::string csv = "name,red,\"blue, dark\",\"\"\"green\"\"\",none\r\n"
                          "Ann Lee,1,X,0,\r\n\"Bo, Jr.\",false,true,1,0\r\n\"\"\"Cy\"\"\",x,,TRUE,0\r\n";
  const TMatrix fromCxt = ReadText(cxt, TFormat::Cxt);
  const TMatrix fromCsv = ReadText(csv, TFormat::Csv);
  EXPECT_EQ(fromCsv.Sources, fromCxt.Sources);
  EXPECT_EQ(fromCsv.Targets, fromCxt.Targets);
  EXPECT_EQ(RowsOf(fromCsv), RowsOf(fromCxt));
  EXPECT_EQ(fromCsv.SourceNames, fromCxt.SourceNames);
  EXPECT_EQ(fromCsv.TargetNames, fromCxt.TargetNames);
  EXPECT_EQ(fromCsv.TargetNames, (std::vector<std::string>{"red", "blue, dark", "\"green\"", "none"}));
}

TEST(ReadText, EveryFormatRefusesByteOrderMarks) {
  for (const TFormat format : AllFormats) {
    EXPECT_EQ(
        RefusalOf([format] {
          ReadText("\xEF\xBB\xBF"
                   "1 2\n",
                   format);
        }),
        (TRefusal{1, 1, "line 1, column 1: UTF-8 byte-order mark at the start: save the file without it"}))
        << FormatName(format);
    EXPECT_EQ(RefusalOf([format] {
                ReadText(std::string("\xFF\xFE"
                                     "1\0",
                                     4),
                         format);
              }),
              (TRefusal{1, 1, "line 1, column 1: UTF-16 text: save it as UTF-8 or ASCII"}))
        << FormatName(format);
  }
}

TEST(ReadFd, ReadsAFileUpToTheLimit) {
  const std::string text = "1 2\n" + std::string(200'000, '0') + "\n"; // a number across chunks
  const TTempFile file(text + "x\n");
  const int fd = ::open(file.Path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  // A fault within the limit is named before the size.
  EXPECT_EQ(RefusalOf([&] { ReadFd(fd, TFormat::Matrix, 1000); }),
            (TRefusal{1, 2, "line 1, column 2: expected '0' or '1', found ' '"}));
  // The limit leaves out the bad line: only the size is at fault.
  ASSERT_EQ(::lseek(fd, 0, SEEK_SET), 0);
  EXPECT_EQ(
      RefusalOf([&] { ReadFd(fd, TFormat::Fimi, static_cast<std::int64_t>(text.size())); }),
      (TRefusal{0, 0, "the input is larger than the limit of " + std::to_string(text.size()) + " bytes"}));
  ASSERT_EQ(::lseek(fd, 0, SEEK_SET), 0);
  EXPECT_EQ(RefusalOf([&] { ReadFd(fd, TFormat::Fimi, static_cast<std::int64_t>(text.size()) + 2); }),
            (TRefusal{3, 1, "line 3, column 1: expected a target number, found 'x'"}));
  ::close(fd);

  const TTempFile good("0 1\n1\n");
  for (const std::int64_t limit : {std::int64_t{6}, std::int64_t{1000}, NoInputLimit}) {
    const int goodFd = ::open(good.Path.c_str(), O_RDONLY);
    EXPECT_EQ(ReadFd(goodFd, TFormat::Fimi, limit).Ones(), 3) << limit;
    ::close(goodFd);
  }
  const int goodFd = ::open(good.Path.c_str(), O_RDONLY);
  EXPECT_EQ(RefusalOf([&] { ReadFd(goodFd, TFormat::Fimi, 5); }),
            (TRefusal{0, 0, "the input is larger than the limit of 5 bytes"}));
  ::close(goodFd);
}

// A pipe that never ends in a line break: a bad first byte is answered while
// the writer still has most of its bytes to write.
TEST(ReadFd, AnswersABadFirstByteWithoutReadingOn) {
  std::signal(SIGPIPE, SIG_IGN);
  for (const TFormat format : AllFormats) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string zeros(4 << 20, '\0');
    bool writtenAll = false;
    std::thread writer([&] {
      std::size_t done = 0;
      while (done < zeros.size()) {
        const ssize_t put = ::write(ends[1], zeros.data() + done, zeros.size() - done);
        if (put <= 0) break;
        done += static_cast<std::size_t>(put);
      }
      writtenAll = done == zeros.size();
      ::close(ends[1]);
    });
    const auto refusal = RefusalOf([&] { ReadFd(ends[0], format, NoInputLimit); });
    ::close(ends[0]); // the writer now fails instead of blocking
    writer.join();
    ASSERT_TRUE(refusal.has_value()) << FormatName(format);
    EXPECT_EQ(refusal->Line, 1) << FormatName(format);
    EXPECT_EQ(refusal->Column, 1) << FormatName(format);
    EXPECT_TRUE(refusal->Message.starts_with("line 1, column 1: ")) << refusal->Message;
    EXPECT_NE(refusal->Message.find("'\\x00'"), std::string::npos) << refusal->Message;
    EXPECT_FALSE(writtenAll) << FormatName(format);
  }
}

TEST(ReadFd, TheLimitHoldsOnAPipe) {
  std::signal(SIGPIPE, SIG_IGN);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  std::thread writer([&] {
    const std::string line(1000, '0');
    for (int k = 0; k < 3000; ++k)
      if (::write(ends[1], (line + "\n").data(), line.size() + 1) <= 0) break;
    ::close(ends[1]);
  });
  const auto refusal = RefusalOf([&] { ReadFd(ends[0], TFormat::Matrix, std::int64_t{1} << 20); });
  ::close(ends[0]);
  writer.join();
  EXPECT_EQ(refusal, (TRefusal{0, 0, "the input is larger than the limit of 1 MiB (1048576 bytes)"}));
}

TEST(ByteSize, ParsesAndShowsSizes) {
  struct Case {
    const char* text;
    std::int64_t bytes;
  };
  const Case cases[] = {
      {"0", 0},
      {"4096", 4096},
      {"64M", 64 << 20},
      {"64m", 64 << 20},
      {"1K", 1024},
      {"1KiB", 1024},
      {"2kb", 2048},
      {"1G", std::int64_t{1} << 30},
      {"3T", std::int64_t{3} << 40},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParseByteSize(c.text), c.bytes) << c.text;
  for (const char* bad :
       {"", "M", "-1", "1.5M", "12X", "1 M", "1MB2", "99999999999999999999", "9000000000000T"})
    EXPECT_THROW(ParseByteSize(bad), std::invalid_argument) << bad;

  EXPECT_EQ(ByteSizeText(1000), "1000 bytes");
  EXPECT_EQ(ByteSizeText(1), "1 byte");
  EXPECT_EQ(ByteSizeText(0), "0 bytes");
  EXPECT_EQ(ByteSizeText(3072), "3 KiB (3072 bytes)");
  EXPECT_EQ(ByteSizeText(std::int64_t{64} << 20), "64 MiB (67108864 bytes)");
  EXPECT_EQ(ByteSizeText(std::int64_t{2} << 30), "2 GiB (2147483648 bytes)");
}

// Counts stated in big/SOURCES.md: 6,486 rows, 12,942 columns, 96,662 ones.
TEST(RealData, MarvelAsTransactionsAndAsEdges) {
  const std::string dat = DataFile("big/konect_marvel.dat");
  const std::string edges = DataFile("big/orig/S1mpleCod_cohesive_subgraph_bipartite/marvel");
  if (!std::filesystem::exists(dat) || !std::filesystem::exists(edges)) GTEST_SKIP() << "no " << dat;
  const TMatrix fimi = ReadFile(dat, TFormat::Fimi);
  EXPECT_EQ(fimi.Sources, 6486);
  EXPECT_EQ(fimi.Targets, 12942);
  EXPECT_EQ(fimi.Ones(), 96662);
  // The original edge list numbers comics after the 6,486 characters.
  const TMatrix list = ReadFile(edges, TFormat::Edges);
  EXPECT_EQ(list.Sources, 6486);
  EXPECT_EQ(list.Targets, 12942);
  EXPECT_EQ(RowsOf(list), RowsOf(fimi));
  ASSERT_EQ(list.TargetIds.size(), fimi.TargetIds.size());
  for (std::size_t t = 0; t < list.TargetIds.size(); ++t)
    ASSERT_EQ(list.TargetIds[t], fimi.TargetIds[t] + 6486) << t;
}

// The same rows as 0/1 text and as transactions, where every column is used.
TEST(RealData, MatrixAndTransactionFilesAgree) {
  struct Case {
    const char* name;
    std::int32_t rows, columns;
    std::int64_t ones;
  };
  const Case cases[] = {
      {"fimi_chess", 3196, 75, 118252},
      {"konect_crime", 829, 551, 1476},
      {"konect_opsahl_ucforum", 899, 522, 7089},
  };
  for (const auto& c : cases) {
    const std::string base = DataFile(std::string("big/") + c.name);
    if (!std::filesystem::exists(base + ".txt")) GTEST_SKIP() << "no " << base << ".txt";
    const TMatrix matrix = ReadFile(base + ".txt", TFormat::Matrix);
    const TMatrix fimi = ReadFile(base + ".dat", TFormat::Fimi);
    EXPECT_EQ(matrix.Sources, c.rows) << c.name;
    EXPECT_EQ(matrix.Targets, c.columns) << c.name;
    EXPECT_EQ(matrix.Ones(), c.ones) << c.name;
    EXPECT_EQ(Shown(fimi), Shown(matrix)) << c.name;
  }
}
