#include "Rununit.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <thread>

#include "Extensionunit.h"
#include "Poslistunit.h"
#include "Sortedlinesunit.h"
#include "Wordsetunit.h"

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

std::string ShowChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  char text[8];
  if (byte >= 0x20 && byte < 0x7f) {
    std::snprintf(text, sizeof text, "'%c'", c);
  } else {
    std::snprintf(text, sizeof text, "'\\x%02x'", byte);
  }
  return text;
}

std::string Characters(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " character" : " characters");
}

std::int32_t HardwareThreads() {
  return static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
}

// The words of `array` in the word layout of Poslistunit. Spare bits are
// dropped: RowsOf leaves them set for the empty target set.
void LoadWords(const TBitArray& array, std::vector<std::uint64_t>& words) {
  const std::int32_t count = WordCount(array.Size);
  words.resize(static_cast<std::size_t>(count));
  PackBytes(&array, words.data(), count);
  if (array.Size % 64 != 0) words.back() &= ~std::uint64_t{0} << (64 - array.Size % 64);
}

void RunConsensus(const std::vector<std::string>& lines, const TRunConfig& config, TRunResult& result) {
  result.Engine = std::make_unique<TBicliques>(result.Sources, result.Targets);
  TBicliques& engine = *result.Engine;
  for (std::int32_t u = 0; u < result.Sources; ++u) {
    const std::string& line = lines[static_cast<std::size_t>(u)];
    auto* row = new TBitArray(static_cast<std::int32_t>(line.size()));
    delete engine.Rows[static_cast<std::size_t>(u)];
    engine.Rows[static_cast<std::size_t>(u)] = row;
    row->FromBinStr(line);
  }

  const auto start = std::chrono::steady_clock::now();
  engine.Run();
  result.Elapsed = std::chrono::steady_clock::now() - start;
  if (config.Stop.stop_requested()) throw TCancelled();
  result.Passes = engine.Passes;
  result.Count = engine.Results->ItemCount();

  // Distinct target sets give distinct lines, so the text has no duplicates.
  result.Text = SortedResultText(
      result.Count, HardwareThreads(), [&engine](std::int64_t first, std::int64_t last, TLineBlocks& blocks) {
        TBitArray sources(engine.RowCount);
        std::vector<std::uint64_t> sourceWords, targetWords;
        for (auto u = static_cast<std::int32_t>(first); u < last; ++u) {
          engine.RowsOf(u, &sources);
          LoadWords(sources, sourceWords);
          LoadWords(*engine.Results->Items[static_cast<std::size_t>(u)], targetWords);
          AppendResultLine(blocks.Line(), sourceWords.data(), engine.RowCount, targetWords.data(),
                           engine.ColumnCount);
          blocks.End();
        }
      });
}

void RunExtension(const std::vector<std::string>& lines, const TRunConfig& config, TRunResult& result) {
  TExtensionBicliques engine(result.Sources, result.Targets);
  for (std::int32_t u = 0; u < result.Sources; ++u)
    engine.SetRow(u, lines[static_cast<std::size_t>(u)]);
  const auto start = std::chrono::steady_clock::now();
  engine.Run();
  result.Elapsed = std::chrono::steady_clock::now() - start;
  if (config.Stop.stop_requested()) throw TCancelled();
  result.Count = static_cast<std::int32_t>(engine.Count());
  result.Text = SortedResultText(
      engine.Count(), engine.ThreadCount,
      [&engine](std::int64_t first, std::int64_t last, TLineBlocks& blocks) {
        engine.ForEachResult(first, last, [&](const std::uint64_t* sources, const std::uint64_t* targets) {
          AppendResultLine(blocks.Line(), sources, engine.RowCount, targets, engine.ColumnCount);
          blocks.End();
        });
      });
}

} // namespace

void CheckMatrix(const std::vector<std::string>& lines) {
  if (lines.size() > static_cast<std::size_t>(INT32_MAX)) {
    throw TInputError(0, 0, "too many lines: " + std::to_string(lines.size()));
  }
  const std::size_t width = lines.empty() ? 0 : lines.front().size();
  if (width > static_cast<std::size_t>(INT32_MAX)) {
    throw TInputError(1, 0, "line 1 is too long: " + std::to_string(width) + " characters");
  }
  for (std::size_t u = 0; u < lines.size(); ++u) {
    const std::string& line = lines[u];
    const std::string lineName = "line " + std::to_string(u + 1);
    // A plain loop: find_first_not_of searches its set once per character.
    const auto badChar = std::find_if(line.begin(), line.end(), [](char c) { return c != '0' && c != '1'; });
    const std::size_t bad =
        badChar == line.end() ? std::string::npos : static_cast<std::size_t>(badChar - line.begin());
    if (bad != std::string::npos) {
      throw TInputError(static_cast<std::int64_t>(u + 1), static_cast<std::int64_t>(bad + 1),
                        lineName + ", column " + std::to_string(bad + 1) + ": expected '0' or '1', found " +
                            ShowChar(line[bad]));
    }
    if (line.size() != width) {
      throw TInputError(static_cast<std::int64_t>(u + 1), 0,
                        lineName + " has " + Characters(line.size()) + ", line 1 has " +
                            std::to_string(width));
    }
  }
}

TRunResult RunLines(const std::vector<std::string>& lines, const TRunOptions& options) {
  CheckMatrix(lines);
  if (options.Config.Stop.stop_requested()) throw TCancelled();
  TRunResult result;
  result.Sources = static_cast<std::int32_t>(lines.size());
  result.Targets = lines.empty() ? 0 : static_cast<std::int32_t>(lines.front().size());
  if (options.Engine == TEngineKind::Extension) {
    RunExtension(lines, options.Config, result);
  } else {
    RunConsensus(lines, options.Config, result);
  }
  return result;
}
