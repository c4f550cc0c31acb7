#include "Rununit.h"

#include <climits>
#include <cstdio>
#include <mutex>

#include "Matrixtextunit.h"
#include "Parallelunit.h"
#include "Poslistunit.h"
#include "Runcontrolunit.h"
#include "Sortedlinesunit.h"

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

namespace {

// Results go to `write` in blocks of whole lines, one block per worker at a
// time, so that the workers rarely wait for each other.
class TLineStream {
public:
  TLineStream(const TResultLines& lines, std::int32_t workers,
              const std::function<void(std::string_view)>& write)
      : Lines(lines), Buffers(static_cast<std::size_t>(workers)), Write(write) {}

  void Add(std::int32_t worker, const TVertexSet& sources, const TVertexSet& targets) {
    std::string& buffer = Buffers[static_cast<std::size_t>(worker)];
    Lines.Append(buffer, sources, targets);
    buffer += '\n';
    if (buffer.size() >= BlockSize) Flush(buffer);
  }
  void FlushAll() {
    for (std::string& buffer : Buffers)
      Flush(buffer);
  }

private:
  static constexpr std::size_t BlockSize = std::size_t{1} << 16;
  const TResultLines& Lines;
  std::vector<std::string> Buffers;
  const std::function<void(std::string_view)>& Write;
  std::mutex Lock;

  void Flush(std::string& buffer) {
    if (buffer.empty()) return;
    const std::lock_guard<std::mutex> hold(Lock);
    Write(buffer);
    buffer.clear();
  }
};

} // namespace

TMatrix MatrixOfLines(const std::vector<std::string>& lines) {
  const std::unique_ptr<TReader> reader = MakeMatrixTextReader();
  for (std::size_t u = 0; u < lines.size(); ++u)
    reader->Line(lines[u], static_cast<std::int64_t>(u + 1));
  return reader->Finish();
}

TRunResult RunMatrix(const TMatrix& matrix, const TRunOptions& options) {
  TRunControl control(options.Config);
  control.CheckStop();
  TRunResult result;
  result.Sources = matrix.Sources;
  result.Targets = matrix.Targets;
  std::unique_ptr<TEngine> engine = MakeEngine(options.Engine, matrix);

  TRunConfig config = options.Config;
  const TResultLines lines(matrix, options.Format);
  const std::int32_t threads = ThreadCount(config.Threads);
  std::unique_ptr<TLineStream> stream;
  // Sorted text is formatted as the results are found, into the sort's own
  // buffers, so that no result is read back from the engine.
  std::unique_ptr<TSortedLineSink> sorted;
  if (options.Output == TOutput::Count) {
    config.Stream = [](std::int32_t, const TVertexSet&, const TVertexSet&) {};
    config.CountOnly = true;
  } else if (options.Output == TOutput::Unordered) {
    stream = std::make_unique<TLineStream>(lines, threads, options.Write);
    config.Stream = [&stream](std::int32_t worker, const TVertexSet& sources, const TVertexSet& targets) {
      stream->Add(worker, sources, targets);
    };
  } else if (options.Output == TOutput::SortedText) {
    sorted = std::make_unique<TSortedLineSink>(threads, options.MemoryBudget, options.TempDir);
    config.Stream = [&sorted, &lines](std::int32_t worker, const TVertexSet& sources,
                                      const TVertexSet& targets) {
      lines.Append(sorted->Line(worker), sources, targets);
      sorted->End(worker);
    };
  }
  const auto start = std::chrono::steady_clock::now();
  result.Count = engine->Run(config);
  if (stream) stream->FlushAll();
  result.Elapsed = std::chrono::steady_clock::now() - start;
  result.Passes = engine->Passes();

  // Distinct target sets give distinct lines, so the text has no duplicates.
  if (sorted) {
    // The formatting phase is the sort and the copy out; it counts the lines
    // written out.
    control.Report(TPhase::Formatting, result.Passes, result.Count);
    control.CheckStop();
    std::int64_t shown = 0;
    const TSortProgress progress = [&](std::int64_t written) {
      control.CheckStop();
      if (written == shown) return;
      shown = written;
      control.Report(TPhase::Formatting, result.Passes, result.Count, written);
    };
    if (options.Write) {
      sorted->Finish(threads, options.Write, progress);
    } else {
      result.Text = sorted->Text(threads, progress);
    }
  }
  result.Engine = std::move(engine);
  return result;
}

TRunResult RunLines(const std::vector<std::string>& lines, const TRunOptions& options) {
  return RunMatrix(MatrixOfLines(lines), options);
}
