#include "Batchqueueunit.h"

#include <algorithm>

#include "Poslistunit.h"

void TBatchQueue::Put(TBatch&& batch, std::stop_token stop) {
  std::unique_lock<std::mutex> hold(Lock);
  if (!Changed.wait(hold, stop, [this] { return Batches.size() < Capacity; })) throw TCancelled();
  Batches.push_back(std::move(batch));
  Changed.notify_all();
}

void TBatchQueue::Close() {
  const std::lock_guard<std::mutex> hold(Lock);
  Closed = true;
  Changed.notify_all();
}

TBatchQueue::TTake TBatchQueue::Take(TBatch& batch, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> hold(Lock);
  if (!Changed.wait_for(hold, timeout, [this] { return !Batches.empty() || Closed; })) return TTake::Timeout;
  if (Batches.empty()) return TTake::Closed;
  batch = std::move(Batches.front());
  Batches.pop_front();
  Changed.notify_all();
  return TTake::Batch;
}

TViewBatcher::TViewBatcher(const TMatrix& matrix, std::int32_t workers, TBatchQueue& queue,
                           std::stop_token stop)
    : Sources(matrix.Sources), Targets(matrix.Targets), Queue(queue), Stop(std::move(stop)),
      Workers(static_cast<std::size_t>(workers)) {}

void TViewBatcher::Add(std::int32_t worker, const TVertexSet& sources, const TVertexSet& targets) {
  TWorker& mine = Workers[static_cast<std::size_t>(worker)];
  TBatch& batch = mine.Batch;
  const auto now = std::chrono::steady_clock::now();
  if (batch.Size() == 0) mine.First = now;
  ForEachMember(sources, Sources, [&batch](std::int32_t v) { batch.Sources.push_back(v); });
  ForEachMember(targets, Targets, [&batch](std::int32_t v) { batch.Targets.push_back(v); });
  batch.End();
  if (batch.Size() >= ResultsPerBatch || batch.Sources.size() + batch.Targets.size() >= MembersPerBatch ||
      now - mine.First >= MaxWait)
    Put(mine);
}

void TViewBatcher::Flush() {
  for (TWorker& worker : Workers)
    if (worker.Batch.Size() > 0) Put(worker);
}

void TViewBatcher::Put(TWorker& worker) {
  Queue.Put(std::move(worker.Batch), Stop);
  worker.Batch = TBatch();
}

TLineBatcher::TLineBatcher(const TMatrix& matrix, TBatchQueue& queue, std::stop_token stop)
    : Matrix(matrix), Queue(queue), Stop(std::move(stop)) {}

void TLineBatcher::Add(std::string_view lines) {
  while (!lines.empty()) {
    const std::size_t end = lines.find('\n');
    const std::string_view line = lines.substr(0, end);
    const std::size_t colon = line.find(" : ");
    AddSide(line.substr(0, colon), Matrix.SourceIds, Batch.Sources);
    AddSide(line.substr(colon + 3), Matrix.TargetIds, Batch.Targets);
    Batch.End();
    if (Batch.Size() >= TViewBatcher::ResultsPerBatch ||
        Batch.Sources.size() + Batch.Targets.size() >= TViewBatcher::MembersPerBatch)
      Flush();
    if (end == std::string_view::npos) break;
    lines.remove_prefix(end + 1);
  }
}

void TLineBatcher::Flush() {
  if (Batch.Size() == 0) return;
  Queue.Put(std::move(Batch), Stop);
  Batch = TBatch();
}

void TLineBatcher::AddSide(std::string_view list, const std::vector<std::int64_t>& ids,
                           std::vector<std::int32_t>& out) {
  std::int64_t shown = 0;
  bool inNumber = false;
  const auto flush = [&] {
    if (!inNumber) return;
    if (ids.empty()) {
      out.push_back(static_cast<std::int32_t>(shown - 1));
    } else {
      out.push_back(static_cast<std::int32_t>(std::lower_bound(ids.begin(), ids.end(), shown) - ids.begin()));
    }
    shown = 0;
    inNumber = false;
  };
  for (const char c : list) {
    if (c == ',') {
      flush();
    } else {
      shown = shown * 10 + (c - '0');
      inNumber = true;
    }
  }
  flush();
}
