#include "Cxtunit.h"

#include <climits>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string More(std::int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " more " + (count == 1 ? one : many);
}

bool IsMark(char c) { return c == 'X' || c == 'x' || c == '.'; }

bool IsBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// The number on a line of only blanks around one run of digits, if it is at
// most INT32_MAX.
std::optional<std::int32_t> CountOf(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos || !IsDigit(line[start])) return std::nullopt;
  std::int64_t value = 0;
  std::size_t i = start;
  for (; i < line.size() && IsDigit(line[i]); ++i) {
    value = value * 10 + (line[i] - '0');
    if (value > INT32_MAX) return std::nullopt;
  }
  if (!IsBlankLine(line.substr(i))) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

class TCxtReader final : public TReader {
public:
  void Line(std::string_view line, std::int64_t number) override {
    LastLine = number;
    switch (Part) {
    case TPart::Magic:
      ScanMagic(line, 0, number, true);
      if (line.empty()) RefuseAt(number, 1, "expected 'B' (a context starts with it), found end of line");
      Part = TPart::Name;
      return;
    case TPart::Name:
      CheckText(line, 0, number, true);
      Name = line;
      Part = TPart::Objects;
      return;
    case TPart::Objects:
      Objects = ReadCount(line, number, "objects");
      Part = TPart::Attributes;
      return;
    case TPart::Attributes:
      if (const auto objects = CountOf(Name); objects && !CountOf(line)) {
        // No name line: lines 2 and 3 were the numbers.
        Attributes = Objects;
        Objects = *objects;
        Part = TPart::Body;
        BodyLine(line, number);
        return;
      }
      Attributes = ReadCount(line, number, "attributes");
      Part = TPart::Body;
      return;
    case TPart::Body:
      BodyLine(line, number);
      return;
    }
  }

  TMatrix Finish() override {
    const std::int64_t objects = Objects, attributes = Attributes;
    std::string missing;
    switch (Part) {
    case TPart::Magic:
      throw TInputError(0, 0, "the input is empty: a context starts with a line 'B'");
    case TPart::Name:
    case TPart::Objects:
      missing = "the number of objects";
      break;
    case TPart::Attributes:
      missing = "the number of attributes";
      break;
    case TPart::Body:
      if (Read < objects) {
        missing = More(objects - Read, "object name", "object names");
      } else if (Read < objects + attributes) {
        missing = More(objects + attributes - Read, "attribute name", "attribute names");
      } else if (Read < 2 * objects + attributes) {
        missing =
            More(2 * objects + attributes - Read, "line of marks", "lines of marks") + ", one per object";
      }
    }
    if (!missing.empty())
      throw TInputError(LastLine, 0,
                        "the input ends after line " + std::to_string(LastLine) + ": expected " + missing);
    Matrix.Sources = Objects;
    Matrix.Targets = Attributes;
    return std::move(Matrix);
  }

protected:
  std::size_t CheckPart(std::string_view soFar, std::size_t from, std::int64_t number) override {
    switch (Part) {
    case TPart::Magic:
      return ScanMagic(soFar, from, number, false);
    case TPart::Name:
      return CheckText(soFar, from, number, false);
    case TPart::Objects:
      return ScanCount(soFar, from, number, false, "objects");
    case TPart::Attributes:
      // Without a name line this is already an object name or the empty line.
      if (CountOf(Name)) return CheckText(soFar, from, number, false);
      return ScanCount(soFar, from, number, false, "attributes");
    case TPart::Body:
      break;
    }
    switch (BodyKind()) {
    case TKind::Name:
      return CheckText(soFar, from, number, false);
    case TKind::Row:
      return ScanRow(soFar, from, number, false);
    case TKind::After:
      return ScanAfter(soFar, from, number, false);
    }
    return soFar.size();
  }

private:
  enum class TPart { Magic, Name, Objects, Attributes, Body };
  enum class TKind { Name, Row, After };

  TKind BodyKind() const {
    const std::int64_t objects = Objects, attributes = Attributes;
    if (Read < objects + attributes) return TKind::Name;
    if (Read < 2 * objects + attributes) return TKind::Row;
    return TKind::After;
  }

  void BodyLine(std::string_view line, std::int64_t number) {
    if (!BodyStarted) {
      BodyStarted = true;
      if (IsBlankLine(line)) return; // the empty line before the names
    }
    switch (BodyKind()) {
    case TKind::Name:
      CheckText(line, 0, number, true);
      (Read < Objects ? Matrix.SourceNames : Matrix.TargetNames).emplace_back(line);
      ++Read;
      return;
    case TKind::Row:
      ReadRow(line, number);
      ++Read;
      return;
    case TKind::After:
      ScanAfter(line, 0, number, true);
      return;
    }
  }

  void ReadRow(std::string_view line, std::int64_t number) {
    ScanRow(line, 0, number, true);
    std::size_t marks = 0;
    for (; marks < line.size() && IsMark(line[marks]); ++marks)
      if (line[marks] != '.' && marks < static_cast<std::size_t>(Attributes))
        Matrix.Adjacent.push_back(static_cast<std::int32_t>(marks));
    if (marks != static_cast<std::size_t>(Attributes)) {
      RefuseLine(number, "has " + std::to_string(marks) + (marks == 1 ? " mark" : " marks") +
                             ", the context has " + std::to_string(Attributes) + " attributes");
    }
    Matrix.RowStarts.push_back(static_cast<std::int64_t>(Matrix.Adjacent.size()));
  }

  static std::size_t ScanMagic(std::string_view text, std::size_t from, std::int64_t number, bool complete) {
    for (std::size_t i = from; i < text.size(); ++i)
      if (i == 0 ? text[i] != 'B' : !IsBlank(text[i]))
        return RefuseChar(text, i, number, complete,
                          i == 0 ? "'B' (a context starts with it)" : "end of line");
    return text.size();
  }

  // Marks, then blanks only; a mark after a blank is refused at the blanks.
  static std::size_t ScanRow(std::string_view text, std::size_t from, std::int64_t number, bool complete) {
    for (std::size_t i = from; i < text.size(); ++i) {
      if (IsMark(text[i])) {
        if (i == 0 || !IsBlank(text[i - 1])) continue;
        std::size_t blank = i - 1;
        while (blank > 0 && IsBlank(text[blank - 1]))
          --blank;
        RefuseChar(text, blank, number, complete, "'X' or '.'");
      } else if (!IsBlank(text[i])) {
        return RefuseChar(text, i, number, complete, "'X' or '.'");
      }
    }
    return text.size();
  }

  std::size_t ScanAfter(std::string_view text, std::size_t from, std::int64_t number, bool complete) const {
    for (std::size_t i = from; i < text.size(); ++i) {
      if (!IsBlank(text[i])) {
        return RefuseChar(text, i, number, complete,
                          "the end of the input after the " + std::to_string(Objects) + " lines of marks");
      }
    }
    return text.size();
  }

  static std::size_t ScanCount(std::string_view text, std::size_t from, std::int64_t number, bool complete,
                               const std::string& what) {
    for (std::size_t i = from; i < text.size(); ++i)
      if (!IsDigit(text[i]) && !IsBlank(text[i]))
        return RefuseChar(text, i, number, complete, "the number of " + what);
    return text.size();
  }

  static std::int32_t ReadCount(std::string_view line, std::int64_t number, const std::string& what) {
    ScanCount(line, 0, number, true, what);
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
      ++i;
    if (i == line.size())
      RefuseAt(number, static_cast<std::int64_t>(i + 1),
               "expected the number of " + what + ", found end of line");
    const std::size_t start = i;
    std::int64_t value = 0;
    for (; i < line.size() && IsDigit(line[i]); ++i) {
      value = value * 10 + (line[i] - '0');
      if (value > INT32_MAX)
        RefuseAt(number, static_cast<std::int64_t>(start + 1),
                 "too many " + what + ": more than " + std::to_string(INT32_MAX));
    }
    while (i < line.size() && IsBlank(line[i]))
      ++i;
    if (i < line.size()) RefuseChar(line, i, number, true, "end of line after the number of " + what);
    return static_cast<std::int32_t>(value);
  }

  TPart Part = TPart::Magic;
  std::string Name; // line 2, kept until line 4 tells whether it is a number
  std::int32_t Objects = 0;
  std::int32_t Attributes = 0;
  bool BodyStarted = false;
  std::int64_t Read = 0; // names and lines of marks read
  std::int64_t LastLine = 0;
  TMatrix Matrix;
};

} // namespace

std::unique_ptr<TReader> MakeCxtReader() { return std::make_unique<TCxtReader>(); }
