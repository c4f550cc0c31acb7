#include "Rununit.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <mutex>
#include <thread>

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

// Formatting checks for a stop request after this many lines.
constexpr std::int64_t LinesPerStopCheck = 4096;
// Fewer result lines kept in memory are sorted straight into one string: the
// written way's fixed cost (its buffers) is then larger than what it saves.
constexpr std::int64_t LinesSortedInOneString = std::int64_t{1} << 16;

// How far formatting has come: results formatted on every thread, reported
// as a fraction done on the thread that called the run, whenever it formats.
struct TFormatProgress {
  TRunControl& Control;
  std::int32_t Pass = 0;
  std::int64_t Count = 0;
  std::thread::id Caller = std::this_thread::get_id();
  std::atomic<std::int64_t> Formatted{0};
  std::atomic<std::size_t> Bytes{0}; // of the lines formatted, breaks included

  void Add(std::int64_t lines, std::size_t bytes) {
    Bytes.fetch_add(bytes, std::memory_order_relaxed);
    const std::int64_t formatted = Formatted.fetch_add(lines, std::memory_order_relaxed) + lines;
    if (std::this_thread::get_id() == Caller) Control.Report(TPhase::Formatting, Pass, Count, formatted);
  }
};

// Formats results [first, last) of `engine` into `blocks`.
TRangeFormatter FormatRange(const TEngine& engine, const TResultLines& lines, const TRunConfig& config,
                            TFormatProgress& progress) {
  return [&engine, &lines, &config, &progress](std::int64_t first, std::int64_t last, TLineBlocks& blocks) {
    for (std::int64_t from = first; from < last; from += LinesPerStopCheck) {
      TRunControl(config).CheckStop();
      const std::int64_t to = std::min(last, from + LinesPerStopCheck);
      std::size_t bytes = 0;
      engine.ForEachResult(from, to, [&](std::int32_t, const TVertexSet& sources, const TVertexSet& targets) {
        std::string& line = blocks.Line();
        const std::size_t before = line.size();
        lines.Append(line, sources, targets);
        bytes += line.size() - before + 1;
        blocks.End();
      });
      progress.Add(to - from, bytes);
    }
  };
}

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
  // Sorted text for `Write` is formatted as the results are found, into the
  // sort's own buffers, so that no result is read back from the engine.
  std::unique_ptr<TSortedLineSink> sorted;
  if (options.Output == TOutput::Count) {
    config.Stream = [](std::int32_t, const TVertexSet&, const TVertexSet&) {};
    config.CountOnly = true;
  } else if (options.Output == TOutput::Unordered) {
    stream = std::make_unique<TLineStream>(lines, threads, options.Write);
    config.Stream = [&stream](std::int32_t worker, const TVertexSet& sources, const TVertexSet& targets) {
      stream->Add(worker, sources, targets);
    };
  } else if (options.Output == TOutput::SortedText && options.Write) {
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
    control.Report(TPhase::Formatting, result.Passes, result.Count, result.Count);
    sorted->Finish(threads, options.Write);
  } else if (options.Output == TOutput::SortedText) {
    control.Report(TPhase::Formatting, result.Passes, result.Count);
    TFormatProgress progress{control, result.Passes, result.Count};
    const TRangeFormatter format = FormatRange(*engine, lines, options.Config, progress);
    if (result.Count < LinesSortedInOneString &&
        options.MemoryBudget == std::numeric_limits<std::int64_t>::max()) {
      result.Text = SortedResultText(result.Count, threads, format);
    } else {
      // Every line is formatted before the first is written: the text is
      // allocated once, at its size, and filled straight from the sorted
      // lines, without the second copy of every line's reference that
      // SortedResultText makes.
      WriteSortedResultText(
          result.Count, threads, format, options.MemoryBudget,
          [&result, &progress](std::string_view text) {
            if (result.Text.empty()) result.Text.reserve(progress.Bytes.load());
            result.Text += text;
          },
          options.TempDir);
    }
  }
  result.Engine = std::move(engine);
  return result;
}

TRunResult RunLines(const std::vector<std::string>& lines, const TRunOptions& options) {
  return RunMatrix(MatrixOfLines(lines), options);
}
