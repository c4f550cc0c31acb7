#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "Batchqueueunit.h"
#include "BruteForce.h"
#include "Enginetableunit.h"
#include "Rununit.h"

namespace {

// Result k of `batch` as a text line, counting from 1.
std::string LineOf(const TBatch& batch, std::int64_t k) {
  const auto list = [](const std::vector<std::int32_t>& members, const std::vector<std::int64_t>& starts,
                       std::int64_t result) {
    std::string text;
    const auto at = static_cast<std::size_t>(result);
    for (auto i = starts[at]; i < starts[at + 1]; ++i)
      text += (text.empty() ? "" : ",") + std::to_string(members[static_cast<std::size_t>(i)] + 1);
    return text;
  };
  return list(batch.Sources, batch.SourceStarts, k) + " : " + list(batch.Targets, batch.TargetStarts, k);
}

// Takes batches until the queue is closed; their results as lines.
std::vector<std::string> Drain(TBatchQueue& queue) {
  std::vector<std::string> lines;
  TBatch batch;
  for (;;) {
    const auto taken = queue.Take(batch, std::chrono::milliseconds(50));
    if (taken == TBatchQueue::TTake::Closed) return lines;
    if (taken == TBatchQueue::TTake::Timeout) continue;
    for (std::int64_t k = 0; k < batch.Size(); ++k)
      lines.push_back(LineOf(batch, k));
  }
}

} // namespace

// Every engine on two threads streams into a queue of two batches, read by a
// thread of its own: each result arrives once, whole.
TEST(ViewBatcher, CarriesEveryResultOnce) {
  std::mt19937 random(17);
  for (const auto& [rows, columns] : {std::pair{14, 9}, std::pair{9, 150}, std::pair{16, 70}}) {
    const auto text = bruteforce::RandomMatrix(random, rows, columns, 0.5);
    const std::vector<std::string> expected = bruteforce::ResultLines(text);
    const TMatrix matrix = MatrixOfLines(text);
    for (const TEngineEntry& entry : Engines()) {
      TBatchQueue queue(2);
      std::vector<std::string> lines;
      std::thread reader([&] { lines = Drain(queue); });
      {
        std::stop_source stop;
        TViewBatcher batcher(matrix, 2, queue, stop.get_token());
        const auto engine = MakeEngine(entry.Kind, matrix);
        TRunConfig config;
        config.Threads = 2;
        config.Stream = [&batcher](std::int32_t worker, const TVertexSet& sources,
                                   const TVertexSet& targets) { batcher.Add(worker, sources, targets); };
        engine->Run(config);
        batcher.Flush();
        queue.Close();
      }
      reader.join();
      std::sort(lines.begin(), lines.end());
      EXPECT_EQ(lines, expected) << entry.Name << ", " << rows << " x " << columns;
    }
  }
}

TEST(LineBatcher, ReadsShownNumbersBack) {
  TMatrix matrix;
  matrix.Sources = 3;
  matrix.Targets = 3;
  matrix.TargetIds = {3, 7, 12};
  TBatchQueue queue(4);
  std::stop_source stop;
  TLineBatcher lines(matrix, queue, stop.get_token());
  lines.Add("1,2 : 7,12\n3 : \n");
  lines.Add("1,3 : 3\n");
  lines.Flush();
  queue.Close();
  TBatch batch;
  ASSERT_EQ(queue.Take(batch, std::chrono::milliseconds(0)), TBatchQueue::TTake::Batch);
  EXPECT_EQ(batch.Sources, (std::vector<std::int32_t>{0, 1, 2, 0, 2}));
  EXPECT_EQ(batch.SourceStarts, (std::vector<std::int64_t>{0, 2, 3, 5}));
  EXPECT_EQ(batch.Targets, (std::vector<std::int32_t>{1, 2, 0}));
  EXPECT_EQ(batch.TargetStarts, (std::vector<std::int64_t>{0, 2, 2, 3}));
  EXPECT_EQ(queue.Take(batch, std::chrono::milliseconds(0)), TBatchQueue::TTake::Closed);
}

// A full queue holds a writer back until a batch is taken, or until a stop.
TEST(BatchQueue, HoldsBackAndStops) {
  TBatchQueue queue(1);
  std::stop_source stop;
  TBatch batch;
  EXPECT_EQ(queue.Take(batch, std::chrono::milliseconds(1)), TBatchQueue::TTake::Timeout);
  batch.Sources = {4};
  batch.End();
  queue.Put(TBatch(batch), stop.get_token());
  bool cancelled = false;
  std::thread writer([&] {
    try {
      queue.Put(TBatch(batch), stop.get_token()); // waits: the queue is full
      queue.Put(TBatch(batch), stop.get_token()); // waits until the stop
    } catch (const TCancelled&) {
      cancelled = true;
    }
  });
  TBatch taken;
  ASSERT_EQ(queue.Take(taken, std::chrono::seconds(10)), TBatchQueue::TTake::Batch);
  EXPECT_EQ(taken.Sources, std::vector<std::int32_t>{4});
  // The writer's second batch goes in; its third waits, whenever the stop
  // comes, and is dropped.
  stop.request_stop();
  writer.join();
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(queue.Take(taken, std::chrono::seconds(10)), TBatchQueue::TTake::Batch);
  queue.Close();
  EXPECT_EQ(queue.Take(taken, std::chrono::milliseconds(1)), TBatchQueue::TTake::Closed);
}
