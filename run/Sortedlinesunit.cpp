#include "Sortedlinesunit.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "Parallelunit.h"
#include "Platformunit.h"

// Each thread formats a share of the results. The lines are then split into
// one range of leading bytes per thread, so that every thread sorts and copies
// out its range alone and no merge is needed.

namespace {

// Eight bytes of a line from `from` on as a big-endian number, zero-padded:
// no line byte is 0, so these numbers order like the bytes.
std::uint64_t KeyAt(const char* text, std::size_t length, std::size_t from) {
  if (from + 8 <= length) {
    std::uint64_t key;
    std::memcpy(&key, text + from, sizeof key);
    return BigEndianWord(key);
  }
  std::uint64_t key = 0;
  for (std::size_t i = from; i < from + 8; ++i)
    key = key << 8 | (i < length ? static_cast<unsigned char>(text[i]) : 0u);
  return key;
}

// A line and eight of its bytes, so that most comparisons touch no text.
struct TLineRef {
  std::uint64_t Key;
  const char* Text;
  std::uint32_t Length;
};

// Sorts lines that agree on their first `depth` bytes, each Key holding the
// next eight. Lines that tie on a key are compared on their next eight bytes
// only once, not in every comparison: results often share a long first list.
void SortFrom(TLineRef* first, TLineRef* last, std::size_t depth) {
  std::sort(first, last, [](const TLineRef& a, const TLineRef& b) { return a.Key < b.Key; });
  while (first != last) {
    TLineRef* tie = first + 1;
    while (tie != last && tie->Key == first->Key)
      ++tie;
    // A key ending in a 0 byte holds the end of its line: lines tied on it
    // are equal, and the lines are unique.
    if (tie - first > 1 && (first->Key & 0xff) != 0) {
      for (TLineRef* line = first; line != tie; ++line)
        line->Key = KeyAt(line->Text, line->Length, depth + 8);
      SortFrom(first, tie, depth + 8);
    }
    first = tie;
  }
}

} // namespace

std::string& TLineBlocks::Line() {
  constexpr std::size_t BlockSize = std::size_t{1} << 20;
  if (Blocks.empty() || Blocks.back().size() >= BlockSize) {
    Blocks.emplace_back();
    Blocks.back().reserve(BlockSize + BlockSize / 8);
  }
  return Blocks.back();
}

void TLineBlocks::End() { Ends.emplace_back(Blocks.size() - 1, Blocks.back().size()); }

// One thread's share: the text of results [First, Last), each line keyed on
// its first eight bytes.
class TLineShare {
public:
  std::int64_t First = 0;
  std::int64_t Last = 0;
  TLineBlocks Text;
  std::vector<TLineRef> Lines;

  void Format(const TRangeFormatter& format) {
    Text.Ends.reserve(static_cast<std::size_t>(Last - First));
    format(First, Last, Text);
    // The blocks no longer move: lines can point into them.
    Lines.reserve(Text.Ends.size());
    std::size_t begin = 0;
    std::size_t block = 0;
    for (const auto& [endBlock, end] : Text.Ends) {
      if (endBlock != block) begin = 0;
      block = endBlock;
      const char* text = Text.Blocks[block].data() + begin;
      Lines.push_back({KeyAt(text, end - begin, 0), text, static_cast<std::uint32_t>(end - begin)});
      begin = end;
    }
  }
};

namespace {

// Leading keys that cut the lines into `parts` ranges of about equal size;
// range p holds the keys from bound p - 1 (inclusive) up to bound p.
std::vector<std::uint64_t> RangeBounds(const std::vector<TLineShare>& shares, std::size_t parts) {
  std::vector<std::uint64_t> sample;
  for (const TLineShare& share : shares) {
    const std::size_t step = std::max<std::size_t>(1, share.Lines.size() / 1024);
    for (std::size_t i = 0; i < share.Lines.size(); i += step)
      sample.push_back(share.Lines[i].Key);
  }
  std::sort(sample.begin(), sample.end());
  std::vector<std::uint64_t> bounds;
  for (std::size_t p = 1; p < parts && !sample.empty(); ++p)
    bounds.push_back(sample[sample.size() * p / parts]);
  return bounds;
}

std::size_t RangeOf(const std::vector<std::uint64_t>& bounds, std::uint64_t key) {
  return static_cast<std::size_t>(std::upper_bound(bounds.begin(), bounds.end(), key) - bounds.begin());
}

} // namespace

std::string SortedResultText(std::int64_t count, std::int32_t threadCount, const TRangeFormatter& format) {
  const auto threads = static_cast<std::size_t>(std::max<std::int32_t>(1, threadCount));
  std::vector<TLineShare> shares(threads);
  for (std::size_t t = 0; t < threads; ++t) {
    shares[t].First = count * static_cast<std::int64_t>(t) / static_cast<std::int64_t>(threads);
    shares[t].Last = count * static_cast<std::int64_t>(t + 1) / static_cast<std::int64_t>(threads);
  }
  RunTeam(static_cast<std::int32_t>(threads),
          [&](std::int32_t t, const TTeam&) { shares[static_cast<std::size_t>(t)].Format(format); });

  // Range p of leading keys goes to bytes [offsets[p], offsets[p + 1]) of the text.
  const std::vector<std::uint64_t> bounds = RangeBounds(shares, threads);
  std::vector<std::size_t> offsets(threads + 1, 0);
  for (const TLineShare& share : shares) {
    for (const TLineRef& line : share.Lines)
      offsets[RangeOf(bounds, line.Key) + 1] += line.Length + 1;
  }
  for (std::size_t p = 0; p < threads; ++p)
    offsets[p + 1] += offsets[p];

  std::string text(offsets[threads], '\n');
  RunTeam(static_cast<std::int32_t>(threads), [&](std::int32_t part, const TTeam&) {
    const auto p = static_cast<std::size_t>(part);
    std::vector<TLineRef> range;
    for (const TLineShare& share : shares) {
      for (const TLineRef& line : share.Lines) {
        if (RangeOf(bounds, line.Key) == p) range.push_back(line);
      }
    }
    SortFrom(range.data(), range.data() + range.size(), 0);
    char* out = text.data() + offsets[p];
    for (const TLineRef& line : range) {
      std::memcpy(out, line.Text, line.Length);
      out += line.Length + 1; // the break is already there
    }
  });
  return text;
}
