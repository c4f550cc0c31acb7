// Linereaderunit: what every input format shares. A format is a TReader that
// is given the input one complete line at a time; TLineFeeder cuts bytes, as
// they arrive in chunks of any size, into those lines. Helpers show a refused
// byte and build the "line L, column C: ..." messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Matrixunit.h"

// Reads one input format. Lines arrive in order, numbered from 1, without
// their line break. A line that spans chunks is also shown, while it grows,
// to Part, so that a bad byte is refused before the line ends (a line of
// gigabytes without a break is answered at its first bad byte).
class TReader {
public:
  virtual ~TReader() = default;

  // Takes complete line `number`. Throws TInputError at the first place at
  // fault. Pre: numbers 1, 2, 3, ... each once.
  virtual void Line(std::string_view line, std::int64_t number) = 0;

  // Checks the first bytes `soFar` of line `number`, which has not ended yet.
  // Throws TInputError at the first byte that no continuation can make valid,
  // with the same message Line would give for it. Pre: between calls for one
  // line `soFar` only grows; the whole line is then given to Line.
  void Part(std::string_view soFar, std::int64_t number);

  // After the last line: the graph read. Throws TInputError when the input
  // ended before the format is complete. Call once.
  virtual TMatrix Finish() = 0;

protected:
  // Checks the bytes of an unfinished line from `from` on (the bytes before
  // were accepted by an earlier call); returns the offset up to which every
  // byte is known to be good (below soFar.size() when the last bytes may
  // still start a valid UTF-8 character).
  virtual std::size_t CheckPart(std::string_view soFar, std::size_t from, std::int64_t number) = 0;

private:
  std::int64_t PartLine = 0;
  std::size_t PartChecked = 0;
};

// Cuts bytes into lines for a reader: a line ends at "\n" or "\r\n"; a line
// break after the last line adds no line, and empty input has no lines. A
// lone "\r" stays in its line. Lines that lie inside one chunk are handed
// over in place; only a line that spans chunks is copied, into one carry
// buffer that is reused. The input must not start with a byte-order mark.
// The reader must outlive the feeder.
class TLineFeeder {
public:
  explicit TLineFeeder(TReader& reader) : Reader(reader) {}

  // Hands every line that `bytes` completes to the reader, and the start of
  // an unfinished last line to its Part. Throws what the reader throws, and
  // TInputError(1, 1, ...) for a UTF-8 or UTF-16 byte-order mark.
  void Feed(std::string_view bytes);
  // The input has ended: hands over the last line if it had no break.
  void End();
  // Lines handed over so far.
  std::int64_t Lines() const { return Number; }

private:
  void CheckHead(bool ended);
  void Split(std::string_view bytes);

  TReader& Reader;
  std::string Head; // the first bytes, until a byte-order mark is ruled out
  bool HeadDone = false;
  std::string Carry; // the start of a line that spans chunks
  std::int64_t Number = 0;
};

// Length of the valid UTF-8 character that starts at text[pos] (1 for
// ASCII, 2 to 4 otherwise); 0 when the bytes there are no valid character;
// -1 when text ends inside what may still become a valid character.
// Pre: pos < text.size().
int Utf8Length(std::string_view text, std::size_t pos);

// The character at text[pos], quoted for a message: printable ASCII as 'x';
// tab, carriage return and line feed as '\t', '\r', '\n'; other control bytes
// and bytes that start no valid UTF-8 character as '\xNN'; a valid UTF-8
// character whole ('é'). Pre: pos < text.size().
std::string ShowChar(std::string_view text, std::size_t pos);

// "line L, column C: what", as TInputError(L, C, ...).
[[noreturn]] void RefuseAt(std::int64_t line, std::int64_t column, std::string_view what);
// "line L: what", as TInputError(L, 0, ...).
[[noreturn]] void RefuseLine(std::int64_t line, std::string_view what);

// Refuses the byte at text[pos] of line `number`: "line L, column pos+1:
// expected <expected>, found <ShowChar>". When the line is not complete and
// text[pos] may start a valid UTF-8 character whose rest has not arrived,
// returns pos instead, to be checked again with more bytes.
std::size_t RefuseChar(std::string_view text, std::size_t pos, std::int64_t number, bool complete,
                       std::string_view expected);

// Checks that text[from..] is text a name or id may hold: valid UTF-8 without
// control characters other than tab. Returns text.size(), or when the line is
// not complete possibly the offset of an unfinished UTF-8 character at the
// end. Throws "line L, column C: expected text, found '\x01'" (or "...: not
// UTF-8 text, found '\xe9'").
std::size_t CheckText(std::string_view text, std::size_t from, std::int64_t number, bool complete);

// True for the blanks that separate items on a line: space and tab.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
