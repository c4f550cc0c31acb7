#include <gtest/gtest.h>

#include "ReaderTesting.h"

namespace {

// Keeps every line it is given and the last unfinished line shown; refuses
// '!' in a line, also before it ends.
class TRecorder final : public TReader {
public:
  void Line(std::string_view line, std::int64_t number) override {
    if (const auto bang = line.find('!'); bang != std::string_view::npos)
      RefuseChar(line, bang, number, true, "no '!'");
    Lines.emplace_back(line);
    Numbers.push_back(number);
  }
  TMatrix Finish() override { return {}; }
  std::vector<std::string> Lines;
  std::vector<std::int64_t> Numbers;
  std::string LastPart;

protected:
  std::size_t CheckPart(std::string_view soFar, std::size_t from, std::int64_t number) override {
    LastPart = soFar;
    // The bytes before `from` were checked by an earlier call.
    for (std::size_t i = from; i < soFar.size(); ++i)
      if (soFar[i] == '!') RefuseChar(soFar, i, number, false, "no '!'");
    return soFar.size();
  }
};

struct TFed {
  std::vector<std::string> Lines;
  std::optional<TRefusal> Refusal;
};

TFed Feed(std::string_view text, const std::vector<std::size_t>& cuts) {
  TRecorder recorder;
  TFed fed;
  fed.Refusal = RefusalOf([&] {
    TLineFeeder feeder(recorder);
    FeedPieces(feeder, text, cuts);
    EXPECT_EQ(feeder.Lines(), static_cast<std::int64_t>(recorder.Lines.size()));
  });
  fed.Lines = recorder.Lines;
  for (std::size_t k = 0; k < recorder.Numbers.size(); ++k)
    EXPECT_EQ(recorder.Numbers[k], static_cast<std::int64_t>(k + 1));
  return fed;
}

} // namespace

TEST(LineFeeder, CutsLinesWhereverTheChunksEnd) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"empty input", "", {}},
      {"one line, no break", "ab", {"ab"}},
      {"break after the last line adds no line", "ab\ncd\n", {"ab", "cd"}},
      {"CRLF", "ab\r\ncd\r\n", {"ab", "cd"}},
      {"mixed ends, last without break", "ab\r\ncd\nef", {"ab", "cd", "ef"}},
      {"empty lines", "\n\r\n\n", {"", "", ""}},
      {"two CRs: one stays", "ab\r\r\ncd", {"ab\r", "cd"}},
      {"long line", std::string(300, 'x') + "\r\ny", {std::string(300, 'x'), "y"}},
      {"starts like a mark but is not one", "\xEF\xBB\n\xFF", {"\xEF\xBB", "\xFF"}},
      {"one byte of a mark", "\xFE", {"\xFE"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Feed(c.text, {}).Lines, c.lines) << c.name;
    for (std::size_t cut = 0; cut <= c.text.size(); ++cut)
      EXPECT_EQ(Feed(c.text, {cut}).Lines, c.lines) << c.name << ", cut at " << cut;
    std::vector<std::size_t> bytes;
    for (std::size_t cut = 1; cut < c.text.size(); ++cut)
      bytes.push_back(cut);
    EXPECT_EQ(Feed(c.text, bytes).Lines, c.lines) << c.name << ", byte by byte";
  }
}

TEST(LineFeeder, RefusesAnUnfinishedLineAtItsFirstBadByte) {
  TRecorder recorder;
  TLineFeeder feeder(recorder);
  feeder.Feed("ok\nab");
  EXPECT_EQ(recorder.Lines, std::vector<std::string>{"ok"});
  const auto refusal = RefusalOf([&] { feeder.Feed("c!d"); });
  // Refused before any line break or the end of the input came.
  EXPECT_EQ(refusal, (TRefusal{2, 4, "line 2, column 4: expected no '!', found '!'"}));
}

TEST(LineFeeder, ACarriageReturnBeforeTheBreakIsNotShownEarly) {
  TRecorder recorder;
  TLineFeeder feeder(recorder);
  feeder.Feed("ab\r");
  EXPECT_EQ(recorder.LastPart, "ab");
  feeder.Feed("\ncd\r\r");
  EXPECT_EQ(recorder.LastPart, "cd\r");
  feeder.Feed("\n");
  feeder.End();
  EXPECT_EQ(recorder.Lines, (std::vector<std::string>{"ab", "cd\r"}));
}

TEST(LineFeeder, RefusesByteOrderMarksAtTheStart) {
  const std::string utf8 = "UTF-8 byte-order mark at the start: save the file without it";
  const std::string utf16 = "UTF-16 text: save it as UTF-8 or ASCII";
  struct Case {
    const char* name;
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"UTF-8 mark",
       "\xEF\xBB\xBF"
       "01\n",
       utf8},
      {"UTF-8 mark alone", "\xEF\xBB\xBF", utf8},
      {"UTF-16 little-endian",
       std::string("\xFF\xFE"
                   "0\0\n\0",
                   6),
       utf16},
      {"UTF-16 big-endian",
       std::string("\xFE\xFF\0"
                   "0\0\n",
                   6),
       utf16},
      {"UTF-16 mark alone", "\xFF\xFE", utf16},
  };
  for (const auto& c : cases) {
    const TRefusal expected{1, 1, "line 1, column 1: " + c.message};
    for (std::size_t cut = 0; cut <= c.text.size(); ++cut)
      EXPECT_EQ(Feed(c.text, {cut}).Refusal, expected) << c.name << ", cut at " << cut;
    EXPECT_EQ(Feed(c.text, {1, 2}).Refusal, expected) << c.name << ", byte by byte";
  }
}

TEST(Utf8Length, TellsValidUnfinishedAndInvalidCharacters) {
  struct Case {
    const char* name;
    std::string text;
    int length;
  };
  const Case cases[] = {
      {"ASCII", "a", 1},
      {"two bytes", "\xC3\xA9", 2},
      {"three bytes", "\xE2\x82\xAC", 3},
      {"four bytes", "\xF0\x9F\x98\x80", 4},
      {"unfinished", "\xE2\x82", -1},
      {"lead byte alone", "\xC3", -1},
      {"continuation byte first", "\xA9", 0},
      {"overlong two bytes", "\xC0\x80", 0},
      {"overlong three bytes", "\xE0\x80\x80", 0},
      {"surrogate", "\xED\xA0\x80", 0},
      {"above U+10FFFF", "\xF4\x90\x80\x80", 0},
      {"lead byte F5", "\xF5\x80\x80\x80", 0},
      {"ASCII after the lead", "\xC3(", 0},
      {"bad third byte", "\xE2\x82(", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Utf8Length(c.text, 0), c.length) << c.name;
}

TEST(ShowChar, QuotesTheCharacterReadably) {
  struct Case {
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"x", "'x'"},
      {" ", "' '"},
      {"\t", "'\\t'"},
      {"\r", "'\\r'"},
      {"\n", "'\\n'"},
      {std::string(1, '\0'), "'\\x00'"},
      {"\x1b", "'\\x1b'"},
      {"\x7f", "'\\x7f'"},
      {"\xC3\xA9z", "'\xC3\xA9'"},
      {"\xE2\x82\xAC", "'\xE2\x82\xAC'"},
      {"\xC3", "'\\xc3'"},
      {"\xC3(", "'\\xc3'"},
      {"\xFF", "'\\xff'"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ShowChar(c.text, 0), c.shown) << c.shown;
}

TEST(CheckText, RefusesControlBytesAndBytesThatAreNoUtf8) {
  EXPECT_EQ(CheckText("a\tb \xC3\xA9", 0, 1, true), 6u);
  EXPECT_EQ(RefusalOf([] { CheckText("ab\x01", 0, 4, true); }),
            (TRefusal{4, 3, "line 4, column 3: expected text, found '\\x01'"}));
  EXPECT_EQ(RefusalOf([] { CheckText("a\xE9 b", 0, 2, true); }),
            (TRefusal{2, 2, "line 2, column 2: not UTF-8 text, found '\\xe9': save the file as UTF-8"}));
  // An unfinished line may end inside a character; a finished one may not.
  EXPECT_EQ(CheckText("ab\xE2\x82", 0, 1, false), 2u);
  EXPECT_TRUE(RefusalOf([] { CheckText("ab\xE2\x82", 0, 1, true); }).has_value());
}
