#include "Linemergeunit.h"

#include <queue>

namespace {

// Merged text goes out in blocks of about this many bytes.
constexpr std::size_t OutBlock = std::size_t{1} << 20;

// One source's place in the merge: its current block and the start of its
// next line there.
struct TCursor {
  std::string Block;
  std::size_t At = 0;
};

struct THead {
  std::string_view Line; // without its break
  std::size_t Source;
};

// The smallest line first: std::priority_queue keeps the largest on top.
struct TLater {
  bool operator()(const THead& a, const THead& b) const { return a.Line > b.Line; }
};

} // namespace

void MergeSortedBlocks(const std::vector<TBlockSource>& sources,
                       const std::function<void(std::string_view)>& write) {
  std::vector<TCursor> cursors(sources.size());
  std::priority_queue<THead, std::vector<THead>, TLater> heads;
  // Queues the next line of source s, fetching its next non-empty block when
  // the current one is used up.
  const auto advance = [&](std::size_t s) {
    TCursor& cursor = cursors[s];
    while (cursor.At >= cursor.Block.size()) {
      cursor.Block.clear();
      cursor.At = 0;
      if (!sources[s](cursor.Block)) return;
    }
    const std::size_t end = cursor.Block.find('\n', cursor.At);
    heads.push({std::string_view(cursor.Block).substr(cursor.At, end - cursor.At), s});
    cursor.At = end + 1;
  };
  for (std::size_t s = 0; s < sources.size(); ++s)
    advance(s);
  std::string out;
  while (!heads.empty()) {
    const THead head = heads.top();
    heads.pop();
    out.append(head.Line);
    out += '\n';
    if (out.size() >= OutBlock) {
      write(out);
      out.clear();
    }
    // The line is copied out before its block may be replaced.
    advance(head.Source);
  }
  if (!out.empty()) write(out);
}

void TBlockChannel::Put(std::string_view block) {
  std::unique_lock lock(Mutex);
  Changed.wait(lock, [&] { return Blocks.size() < Capacity; });
  Blocks.emplace_back(block);
  Changed.notify_all();
}

void TBlockChannel::Close() {
  const std::lock_guard lock(Mutex);
  Closed = true;
  Changed.notify_all();
}

bool TBlockChannel::Take(std::string& block) {
  std::unique_lock lock(Mutex);
  Changed.wait(lock, [&] { return !Blocks.empty() || Closed; });
  if (Blocks.empty()) return false;
  block = std::move(Blocks.front());
  Blocks.pop_front();
  Changed.notify_all();
  return true;
}
