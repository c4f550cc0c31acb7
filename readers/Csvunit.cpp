#include "Csvunit.h"

#include <array>
#include <climits>
#include <string>
#include <vector>

namespace {

constexpr std::string_view CellExpected = "a cell 0, 1, X, true, false or empty";

// The cell values, lower case; the first three mean an edge.
constexpr std::array<std::string_view, 5> CellValues = {"1", "x", "true", "0", "false"};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(std::string_view text, std::string_view lower, std::size_t length) {
  for (std::size_t k = 0; k < length; ++k)
    if (Lower(text[k]) != lower[k]) return false;
  return true;
}

// True when some cell value starts with `text` (case ignored).
bool StartsSomeValue(std::string_view text) {
  for (const std::string_view value : CellValues)
    if (text.size() <= value.size() && SameIgnoringCase(text, value, text.size())) return true;
  return false;
}

// The index of `text` in CellValues, or -1.
int ValueIndex(std::string_view text) {
  for (std::size_t k = 0; k < CellValues.size(); ++k)
    if (text.size() == CellValues[k].size() && SameIgnoringCase(text, CellValues[k], text.size()))
      return static_cast<int>(k);
  return -1;
}

// The lines are scanned byte by byte with the state kept between calls, so
// that an unfinished line (Part) and the whole line (Line) meet the same
// first fault; a record goes on over lines while a quoted field is open.
class TCsvReader final : public TReader {
public:
  void Line(std::string_view line, std::int64_t number) override {
    if (line.empty() && !InRecord) return; // an empty line between records
    if (number != ScanNumber) StartLine(number);
    Scan(line, ScanOffset, number, true);
    EndLine(line, number);
  }

  TMatrix Finish() override {
    if (InRecord) RefuseAt(QuoteLine, QuoteColumn, "the quoted field that starts here has no closing quote");
    if (!HeaderDone)
      throw TInputError(0, 0, "the input is empty: a cross-table starts with a header line of target names");
    Matrix.Sources = static_cast<std::int32_t>(Matrix.SourceNames.size());
    Matrix.Targets = static_cast<std::int32_t>(Matrix.TargetNames.size());
    return std::move(Matrix);
  }

protected:
  std::size_t CheckPart(std::string_view soFar, std::size_t, std::int64_t number) override {
    if (number != ScanNumber) StartLine(number);
    ScanOffset = Scan(soFar, ScanOffset, number, false);
    return ScanOffset;
  }

private:
  enum class TField { Start, Unquoted, Quoted, QuoteSeen, Closed };
  enum class TCell { Lead, Body, Trail };

  void StartLine(std::int64_t number) {
    ScanNumber = number;
    ScanOffset = 0;
    if (!InRecord) {
      InRecord = true;
      FieldIndex = 0;
      StartField();
    }
  }

  void StartField() {
    Field = TField::Start;
    Value.clear();
    Cell = TCell::Lead;
  }

  bool IsNameField() const { return !HeaderDone || FieldIndex == 0; }

  // Scans text[pos..]; returns the offset scanned up to, below text.size()
  // only when an unfinished line ends inside what may become a UTF-8
  // character.
  std::size_t Scan(std::string_view text, std::size_t pos, std::int64_t number, bool complete) {
    while (pos < text.size()) {
      const char c = text[pos];
      switch (Field) {
      case TField::Start:
        if (c == '"') {
          Field = TField::Quoted;
          Value.clear(); // blanks before the opening quote
          Cell = TCell::Lead;
          QuoteLine = number;
          QuoteColumn = static_cast<std::int64_t>(pos + 1);
          ++pos;
          continue;
        }
        if (c == ',') {
          EndField(text, pos, number);
          ++pos;
          continue;
        }
        if (!IsBlank(c)) Field = TField::Unquoted;
        break;
      case TField::Unquoted:
        if (c == ',') {
          EndField(text, pos, number);
          ++pos;
          continue;
        }
        if (c == '"')
          RefuseAt(number, static_cast<std::int64_t>(pos + 1),
                   "a quote inside an unquoted field: quote the whole field and double its quotes");
        break;
      case TField::Quoted:
        if (c == '"') {
          Field = TField::QuoteSeen;
          ++pos;
          continue;
        }
        break;
      case TField::QuoteSeen:
        if (c == '"') {
          Field = TField::Quoted; // a doubled quote stands for one
          break;
        }
        Field = TField::Closed;
        [[fallthrough]];
      case TField::Closed:
        if (c == ',') {
          EndField(text, pos, number);
        } else if (!IsBlank(c)) {
          return RefuseChar(text, pos, number, complete, "',' or end of line after the closing quote");
        }
        ++pos;
        continue;
      }
      const std::size_t next = Take(text, pos, number, complete);
      if (next == pos) return pos; // an unfinished UTF-8 character
      pos = next;
    }
    return pos;
  }

  // Takes the character at text[pos] into the field's value; returns the
  // offset after it, or pos when an unfinished line ends inside it.
  std::size_t Take(std::string_view text, std::size_t pos, std::int64_t number, bool complete) {
    const char c = text[pos];
    if (IsNameField()) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte >= 0x20 && byte < 0x7F) || c == '\t') {
        Value.push_back(c);
        return pos + 1;
      }
      if (byte < 0x80) RefuseChar(text, pos, number, complete, "text");
      const int length = Utf8Length(text, pos);
      if (length < 0 && !complete) return pos;
      if (length <= 0)
        RefuseAt(number, static_cast<std::int64_t>(pos + 1),
                 "not UTF-8 text, found " + ShowChar(text, pos) + ": save the file as UTF-8");
      Value.append(text.substr(pos, static_cast<std::size_t>(length)));
      return pos + static_cast<std::size_t>(length);
    }
    if (IsBlank(c)) {
      if (Cell == TCell::Body) Cell = TCell::Trail;
      return pos + 1;
    }
    if (Cell == TCell::Lead) {
      Cell = TCell::Body;
      CellLine = number;
      CellColumn = static_cast<std::int64_t>(pos + 1);
    }
    Value.push_back(c);
    if (Cell == TCell::Trail || !StartsSomeValue(Value)) {
      Value.pop_back();
      return RefuseChar(text, pos, number, complete, CellExpected);
    }
    return pos + 1;
  }

  // Ends the field before the comma or the line end at text[pos].
  void EndField(std::string_view text, std::size_t pos, std::int64_t number) {
    if (IsNameField()) {
      if (HeaderDone) {
        Matrix.SourceNames.push_back(std::move(Value));
      } else if (FieldIndex > 0) {
        if (Matrix.TargetNames.size() >= INT32_MAX)
          RefuseAt(number, static_cast<std::int64_t>(pos + 1),
                   "too many targets: more than " + std::to_string(INT32_MAX));
        Matrix.TargetNames.push_back(std::move(Value));
      }
    } else if (!Value.empty()) {
      const int value = ValueIndex(Value);
      if (value < 0)
        RefuseAt(CellLine, CellColumn, "expected " + std::string(CellExpected) + ", found '" + Value + "'");
      if (value < 3) Matrix.Adjacent.push_back(static_cast<std::int32_t>(FieldIndex - 1));
    }
    ++FieldIndex;
    StartField();
    if (HeaderDone && pos < text.size() && FieldIndex >= Fields()) {
      RefuseAt(number, static_cast<std::int64_t>(pos + 1),
               "expected end of line after " + std::to_string(Fields()) +
                   " fields, as many as the header has, found ','");
    }
  }

  void EndLine(std::string_view line, std::int64_t number) {
    if (Field == TField::Quoted) {
      if (!IsNameField())
        RefuseAt(number, static_cast<std::int64_t>(line.size() + 1),
                 "expected the closing quote of the cell, found end of line");
      Value.push_back('\n'); // the field goes on on the next line
      return;
    }
    EndField(line, line.size(), number);
    InRecord = false;
    if (!HeaderDone) {
      HeaderDone = true;
      return;
    }
    if (FieldIndex != Fields()) {
      RefuseLine(number, "has " + std::to_string(FieldIndex) + (FieldIndex == 1 ? " field" : " fields") +
                             ", the header has " + std::to_string(Fields()));
    }
    if (Matrix.SourceNames.size() > INT32_MAX)
      RefuseLine(number, "is one source too many: more than " + std::to_string(INT32_MAX));
    Matrix.RowStarts.push_back(static_cast<std::int64_t>(Matrix.Adjacent.size()));
  }

  std::int64_t Fields() const { return static_cast<std::int64_t>(Matrix.TargetNames.size()) + 1; }

  bool HeaderDone = false;
  bool InRecord = false;       // a record has started and not ended
  std::int64_t ScanNumber = 0; // the line being scanned
  std::size_t ScanOffset = 0;  // bytes of it scanned
  std::int64_t FieldIndex = 0; // in the record, counting from 0
  TField Field = TField::Start;
  std::string Value;         // the field's text so far, quotes undone
  TCell Cell = TCell::Lead;  // where a cell's blanks and value stand
  std::int64_t CellLine = 0; // where a cell's value starts
  std::int64_t CellColumn = 0;
  std::int64_t QuoteLine = 0; // where the open quoted field starts
  std::int64_t QuoteColumn = 0;
  TMatrix Matrix;
};

} // namespace

std::unique_ptr<TReader> MakeCsvReader() { return std::make_unique<TCsvReader>(); }
