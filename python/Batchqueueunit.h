// Batchqueueunit: results on their way from a run's threads to one reader
// thread. The engines hand out views that live only during a call; here
// they are copied into batches of vertex lists, which pass through a bounded
// queue, so that a slow reader holds the run back instead of letting results
// pile up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stop_token>
#include <string_view>
#include <vector>

#include "Engineunit.h"
#include "Matrixunit.h"

// Results as vertex numbers counting from 0: result k has the sources
// Sources[SourceStarts[k] .. SourceStarts[k + 1]) and likewise targets,
// each ascending.
struct TBatch {
  std::vector<std::int32_t> Sources;
  std::vector<std::int64_t> SourceStarts{0};
  std::vector<std::int32_t> Targets;
  std::vector<std::int64_t> TargetStarts{0};

  std::int64_t Size() const { return static_cast<std::int64_t>(SourceStarts.size()) - 1; }
  // Ends the result whose members were appended since the last End.
  void End() {
    SourceStarts.push_back(static_cast<std::int64_t>(Sources.size()));
    TargetStarts.push_back(static_cast<std::int64_t>(Targets.size()));
  }
};

// A queue of at most Capacity batches; any threads put, one thread takes.
class TBatchQueue {
public:
  explicit TBatchQueue(std::size_t capacity) : Capacity(capacity) {}

  // Adds `batch`, waiting while the queue is full. Throws TCancelled, with
  // the batch dropped, when `stop` is requested first.
  void Put(TBatch&& batch, std::stop_token stop);
  // No more batches will come.
  void Close();

  enum class TTake { Batch, Closed, Timeout };
  // Takes the oldest batch into `batch` (Batch); Closed when the queue is
  // closed and empty; Timeout when neither happens within `timeout`.
  TTake Take(TBatch& batch, std::chrono::milliseconds timeout);

private:
  const std::size_t Capacity;
  std::mutex Lock;
  std::condition_variable_any Changed;
  std::deque<TBatch> Batches;
  bool Closed = false;
};

// Collects the results that a run's Stream hands out into one batch per
// worker, and puts a batch into the queue when it holds ResultsPerBatch
// results or MembersPerBatch members, or its first result has waited
// MaxWait; Flush puts the rest. Borrows `matrix` and `queue`.
class TViewBatcher {
public:
  static constexpr std::int64_t ResultsPerBatch = 4096;
  static constexpr std::size_t MembersPerBatch = std::size_t{1} << 18;
  static constexpr std::chrono::milliseconds MaxWait{20};

  TViewBatcher(const TMatrix& matrix, std::int32_t workers, TBatchQueue& queue, std::stop_token stop);

  // The Stream of a run. Throws TCancelled when the stop is requested while
  // the queue is full.
  void Add(std::int32_t worker, const TVertexSet& sources, const TVertexSet& targets);
  // Puts every worker's unfinished batch. Call after the run.
  void Flush();

private:
  struct TWorker {
    TBatch Batch;
    std::chrono::steady_clock::time_point First;
  };
  void Put(TWorker& worker);

  std::int32_t Sources;
  std::int32_t Targets;
  TBatchQueue& Queue;
  std::stop_token Stop;
  std::vector<TWorker> Workers;
};

// Reads back the text lines of the result ("1,2 : 3,4", the vertices shown
// as the matrix shows them) into batches, in their order, and puts them into
// the queue. Borrows `matrix` and `queue`; the shown numbers of a side
// (TMatrix::SourceIds, TargetIds) must be ascending.
class TLineBatcher {
public:
  TLineBatcher(const TMatrix& matrix, TBatchQueue& queue, std::stop_token stop);

  // Takes whole lines, each ending in "\n". Throws TCancelled when the stop
  // is requested while the queue is full.
  void Add(std::string_view lines);
  // Puts the unfinished batch. Call after the last lines.
  void Flush();

private:
  void AddSide(std::string_view list, const std::vector<std::int64_t>& ids, std::vector<std::int32_t>& out);

  const TMatrix& Matrix;
  TBatchQueue& Queue;
  std::stop_token Stop;
  TBatch Batch;
};
