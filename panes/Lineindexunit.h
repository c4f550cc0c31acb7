// Lineindexunit: where each line of a text starts, so that a view can show,
// select and search a text of millions of lines a few lines at a time
// without copying it. The text itself is owned elsewhere; every call that
// reads it takes it as an argument.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// How Find compares: Numbers finds the needle anywhere in a line, but a digit
// at either end of the needle must not continue a number of the line there
// ("9,37" is not found inside "19,37,40" nor inside "9,375"); WholeLine finds
// only a line equal to the needle.
enum class TFindMode { Numbers, WholeLine };

// Whether `line` (without its break) holds `needle` as `mode` says.
bool LineMatches(std::string_view line, std::string_view needle, TFindMode mode);

class TLineIndex {
public:
  // An index of no lines.
  TLineIndex() = default;
  // Indexes `text`: lines end at "\n"; a break after the last line adds no
  // line; empty text has none. Costs 8 bytes per line; keeps no reference
  // to `text`.
  explicit TLineIndex(std::string_view text);

  std::int64_t Count() const { return static_cast<std::int64_t>(Starts.size()) - 1; }
  // Offset of line i's first byte and of the byte after its last (its
  // break excluded). Pre: 0 <= i < Count().
  std::size_t Begin(std::int64_t i) const { return Starts[static_cast<std::size_t>(i)]; }
  std::size_t End(std::int64_t i) const { return Starts[static_cast<std::size_t>(i) + 1] - 1; }
  // Line i of the indexed text, without its break. Pre: 0 <= i < Count();
  // `text` is the text indexed.
  std::string_view Line(std::string_view text, std::int64_t i) const {
    return text.substr(Begin(i), End(i) - Begin(i));
  }
  // Bytes of the longest line; 0 for no lines.
  std::size_t MaxLength() const { return Longest; }
  // The line that holds byte `offset` (its break counts as part of it).
  // Pre: Count() > 0 and offset < Begin of the last line + its length + 1.
  std::int64_t LineAt(std::size_t offset) const;
  // The first line at or after `from` that holds `needle` as `mode` says
  // (LineMatches), going on from line 0 after the last; -1 when no line does
  // or the needle holds a break. Pre: 0 <= from < Count() unless Count() is
  // 0; `text` is the text indexed.
  std::int64_t Find(std::string_view text, std::string_view needle, std::int64_t from,
                    TFindMode mode = TFindMode::Numbers) const;

private:
  // Count()+1 entries: each line's start, then one past the last line's
  // break (where the break would be when the text ends without one).
  std::vector<std::uint64_t> Starts{0};
  std::size_t Longest = 0;
};
