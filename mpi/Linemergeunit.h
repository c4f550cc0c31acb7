// Linemergeunit: the merge of sorted parts of a result into one sorted text,
// as rank 0 of a cluster job makes it from every process's sorted lines, and
// the hand-over of one part's blocks from the thread that sorts it to the
// thread that merges.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// One sorted part: fills `block` with its next block of whole lines (each
// ending in "\n") and returns true, or returns false when it has no more.
using TBlockSource = std::function<bool(std::string& block)>;

// Writes the lines of every source, ascending by bytes, to `write` in blocks
// of about 1 MiB (each ending with a break), on the calling thread, holding
// one block per source. What a source or `write` throws reaches the caller.
// Pre: each source's lines ascend; no line holds a 0 byte.
void MergeSortedBlocks(const std::vector<TBlockSource>& sources,
                       const std::function<void(std::string_view)>& write);

// Blocks handed from one thread to another, at most `capacity` waiting at
// once: Put waits while it is full, Take while it is empty and open.
class TBlockChannel {
public:
  explicit TBlockChannel(std::size_t capacity) : Capacity(capacity) {}

  void Put(std::string_view block);
  // No more blocks will come.
  void Close();
  // The next block, or false once it is closed and empty.
  bool Take(std::string& block);

private:
  std::size_t Capacity;
  std::mutex Mutex;
  std::condition_variable Changed;
  std::deque<std::string> Blocks;
  bool Closed = false;
};
