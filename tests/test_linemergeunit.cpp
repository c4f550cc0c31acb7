// The merge of sorted parts: the same bytes as one sort of all the lines,
// whatever the parts and their blocks; and the hand-over between threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Linemergeunit.h"

namespace {

// Lines that are prefixes of one another, share long beginnings and hold
// bytes above 127, which sort after every ASCII byte.
std::vector<std::string> RandomLines(std::mt19937& random, std::size_t count) {
  const std::string alphabet = "0123456789, :\x80\xff";
  std::vector<std::string> lines;
  for (std::size_t k = 0; k < count; ++k) {
    std::string line = random() % 3 == 0 && !lines.empty() ? lines[random() % lines.size()] : "";
    const std::size_t extra = 1 + random() % 6;
    for (std::size_t c = 0; c < extra; ++c)
      line += alphabet[random() % alphabet.size()];
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  return lines;
}

} // namespace

TEST(LineMerge, GivesTheBytesOfOneSortWhateverThePartsAndBlocks) {
  std::mt19937 random(5);
  for (const std::size_t parts : {1u, 2u, 3u, 7u}) {
    for (int round = 0; round < 20; ++round) {
      SCOPED_TRACE(std::to_string(parts) + " parts, round " + std::to_string(round));
      const std::vector<std::string> lines = RandomLines(random, random() % 300);
      // Each part's lines in order, cut into blocks at random line ends,
      // some of them empty; some parts get no line at all.
      std::vector<std::vector<std::string>> blocks(parts);
      for (auto& part : blocks)
        part.emplace_back();
      for (const std::string& line : lines) {
        auto& part = blocks[random() % parts];
        if (random() % 4 == 0) part.emplace_back();
        part.back() += line + "\n";
      }
      std::vector<TBlockSource> sources;
      for (auto& part : blocks) {
        sources.push_back([&part, next = std::size_t{0}](std::string& block) mutable {
          if (next == part.size()) return false;
          block = part[next++];
          return true;
        });
      }
      std::string merged;
      MergeSortedBlocks(sources, [&](std::string_view text) {
        EXPECT_EQ(text.back(), '\n');
        merged += text;
      });
      std::string expected;
      for (const std::string& line : lines)
        expected += line + "\n";
      EXPECT_EQ(merged, expected);
    }
  }
}

TEST(LineMerge, ChannelHandsEveryBlockOverInOrderThenEnds) {
  TBlockChannel channel(2);
  std::thread producer([&] {
    for (int k = 0; k < 200; ++k)
      channel.Put(std::to_string(k));
    channel.Close();
  });
  std::string block;
  int expected = 0;
  while (channel.Take(block))
    EXPECT_EQ(block, std::to_string(expected++));
  producer.join();
  EXPECT_EQ(expected, 200);
  EXPECT_FALSE(channel.Take(block));
}
