#include "Lineindexunit.h"

#include <algorithm>
#include <cstring>

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

std::int64_t TLineIndex::Find(std::string_view text, std::string_view needle, std::int64_t from) const {
  if (Count() == 0 || needle.find('\n') != std::string_view::npos) return -1;
  // A match never spans a break, so one plain search from the start line to
  // the end, then one from the top up to the start line, covers every line.
  const std::size_t start = Begin(from);
  std::size_t found = text.find(needle, start);
  if (found == std::string_view::npos) found = text.substr(0, start).find(needle);
  if (found == std::string_view::npos) return -1;
  return LineAt(found);
}
