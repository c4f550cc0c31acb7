#include "Sortedlinesunit.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <thread>

#include "Poslistunit.h"

namespace {

// A line in a thread's text, led by its first eight bytes as a big-endian
// number (zero-padded) so that most comparisons need no memory beyond it.
struct TLineRef {
  std::uint64_t Key;
  const char* Text;
  std::uint32_t Length;
};

bool operator<(const TLineRef& a, const TLineRef& b) {
  if (a.Key != b.Key) return a.Key < b.Key;
  return std::string_view(a.Text, a.Length) < std::string_view(b.Text, b.Length);
}

std::uint64_t LeadingKey(const char* text, std::size_t length) {
  std::uint64_t key = 0;
  for (std::size_t i = 0; i < 8; ++i)
    key = key << 8 | (i < length ? static_cast<unsigned char>(text[i]) : 0u);
  return key;
}

// One thread's share: results [First, Last) as text, and its lines sorted.
struct TShare {
  std::int64_t First = 0;
  std::int64_t Last = 0;
  // The text in blocks that are never moved once full, so that the lines
  // can be copied out without first growing one large buffer.
  std::vector<std::string> Blocks;
  std::vector<TLineRef> Lines;

  void Format(const TClosureBicliques& engine) {
    constexpr std::size_t BlockSize = std::size_t{1} << 20;
    // Per line: its block in Text's place, its end offset in Length's.
    std::vector<std::pair<std::size_t, std::size_t>> ends;
    ends.reserve(static_cast<std::size_t>(Last - First));
    engine.ForEachResult(First, Last, [&](const std::uint64_t* sources, const std::uint64_t* targets) {
      if (Blocks.empty() || Blocks.back().size() >= BlockSize) {
        Blocks.emplace_back();
        Blocks.back().reserve(BlockSize + BlockSize / 8);
      }
      AppendResultLine(Blocks.back(), sources, engine.RowCount, targets, engine.ColumnCount);
      ends.emplace_back(Blocks.size() - 1, Blocks.back().size());
    });
    Lines.reserve(ends.size());
    std::size_t begin = 0;
    std::size_t block = 0;
    for (const auto& [endBlock, end] : ends) {
      if (endBlock != block) begin = 0;
      block = endBlock;
      const char* text = Blocks[block].data() + begin;
      Lines.push_back({LeadingKey(text, end - begin), text, static_cast<std::uint32_t>(end - begin)});
      begin = end;
    }
    std::sort(Lines.begin(), Lines.end());
  }
};

} // namespace

std::vector<std::string> SortedResultLines(const TClosureBicliques& engine) {
  const std::int64_t count = engine.Count();
  const auto threads = static_cast<std::int64_t>(std::max<std::int32_t>(1, engine.ThreadCount));
  std::vector<TShare> shares(static_cast<std::size_t>(threads));
  for (std::int64_t t = 0; t < threads; ++t) {
    shares[static_cast<std::size_t>(t)].First = count * t / threads;
    shares[static_cast<std::size_t>(t)].Last = count * (t + 1) / threads;
  }
  {
    std::vector<std::jthread> helpers;
    for (std::size_t t = 1; t < shares.size(); ++t)
      helpers.emplace_back([&share = shares[t], &engine] { share.Format(engine); });
    shares.front().Format(engine);
  }

  std::vector<TLineRef> order;
  order.reserve(static_cast<std::size_t>(count));
  for (TShare& share : shares) {
    const auto middle = static_cast<std::ptrdiff_t>(order.size());
    order.insert(order.end(), share.Lines.begin(), share.Lines.end());
    std::inplace_merge(order.begin(), order.begin() + middle, order.end());
    share.Lines = {};
  }

  std::vector<std::string> lines(order.size());
  const auto build = [&](std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i)
      lines[i].assign(order[i].Text, order[i].Length);
  };
  {
    std::vector<std::jthread> helpers;
    const std::size_t size = order.size();
    const auto parts = static_cast<std::size_t>(threads);
    for (std::size_t t = 1; t < parts; ++t)
      helpers.emplace_back(build, size * t / parts, size * (t + 1) / parts);
    build(0, size / parts);
  }
  return lines;
}
