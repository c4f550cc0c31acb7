#include "Lineindexunit.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the match of `needle` at `at` in `text` stands on its own: a digit
// at an end of the needle does not run on into a digit beside it. A break
// ends a line, so the bytes beside a match may belong to other lines.
bool StandsAlone(std::string_view text, std::size_t at, std::string_view needle) {
  if (needle.empty()) return true;
  if (IsDigit(needle.front()) && at > 0 && IsDigit(text[at - 1])) return false;
  const std::size_t after = at + needle.size();
  return !(IsDigit(needle.back()) && after < text.size() && IsDigit(text[after]));
}

// The first match at or after `from` that starts before `end` and that
// `mode` accepts; npos when none.
std::size_t FindBetween(std::string_view text, std::string_view needle, std::size_t from, std::size_t end,
                        TFindMode mode) {
  for (std::size_t at = text.find(needle, from); at != std::string_view::npos && at < end;
       at = text.find(needle, at + 1)) {
    const bool accepted = mode == TFindMode::WholeLine
                              ? (at == 0 || text[at - 1] == '\n') &&
                                    (at + needle.size() == text.size() || text[at + needle.size()] == '\n')
                              : StandsAlone(text, at, needle);
    if (accepted) return at;
  }
  return std::string_view::npos;
}

} // namespace

bool LineMatches(std::string_view line, std::string_view needle, TFindMode mode) {
  if (mode == TFindMode::WholeLine) return line == needle;
  return FindBetween(line, needle, 0, line.size() + 1, mode) != std::string_view::npos;
}

TLineIndex::TLineIndex(std::string_view text) {
  // Counting first sizes the index exactly: no growth copies, no spare room.
  const auto breaks = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  const bool openLast = !text.empty() && text.back() != '\n';
  Starts.clear();
  Starts.reserve(breaks + (openLast ? 2 : 1));
  Starts.push_back(0);
  const char* const data = text.data();
  std::size_t at = 0;
  while (at < text.size()) {
    const void* found = std::memchr(data + at, '\n', text.size() - at);
    const std::size_t end =
        found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : text.size();
    Longest = std::max(Longest, end - at);
    at = end + 1;
    Starts.push_back(at);
  }
}

std::int64_t TLineIndex::LineAt(std::size_t offset) const {
  const auto after = std::upper_bound(Starts.begin(), Starts.end(), offset);
  return static_cast<std::int64_t>(after - Starts.begin()) - 1;
}

std::int64_t TLineIndex::Find(std::string_view text, std::string_view needle, std::int64_t from,
                              TFindMode mode) const {
  if (Count() == 0 || needle.find('\n') != std::string_view::npos) return -1;
  // The text as indexed: its last line's break, when it has one, belongs to it.
  text = text.substr(0, End(Count() - 1));
  // A match never spans a break, so one search from the start line to the
  // end, then one from the top up to the start line, covers every line.
  const std::size_t start = Begin(from);
  std::size_t found = FindBetween(text, needle, start, text.size() + 1, mode);
  if (found == std::string_view::npos) found = FindBetween(text, needle, 0, start, mode);
  if (found == std::string_view::npos) return -1;
  return LineAt(found);
}
