// Rununit: the RUN path without a window. Matrix text goes in; the sorted,
// duplicate-free result lines, the number of bicliques, the number of passes
// and the enumeration time come out. The window and the command line are thin
// faces over RunLines, which runs any engine with the same result text.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Enginetableunit.h"
#include "Engineunit.h"
#include "Matrixunit.h"
#include "Resultlineunit.h"

// What a run gives: the sorted result text, only the count, every result
// line handed to Write as soon as it is found, in no particular order, or
// only the engine with its results (TRunResult::Engine), for a caller that
// reads them itself.
enum class TOutput { SortedText, Count, Unordered, Kept };

struct TRunOptions {
  TEngineKind Engine = TEngineKind::Consensus;
  // Threads, stop request, progress and bounds; its Stream is set by the run.
  TRunConfig Config;
  TOutput Output = TOutput::SortedText;
  TLineFormat Format = TLineFormat::Text;
  // Receives whole lines, each ending in "\n", one call at a time (from any
  // thread): for Unordered always; for SortedText when set, in place of
  // TRunResult::Text. Sorted text is formatted while the engine searches
  // (its Run gets a Stream), so the engine then keeps no results to read
  // back; after the search the lines are sorted and written out (the
  // formatting phase).
  std::function<void(std::string_view lines)> Write;
  // Bytes the sorted lines may take in memory while they are sorted; beyond
  // that they are sorted in runs on disk, in TempDir, and merged.
  std::int64_t MemoryBudget = std::numeric_limits<std::int64_t>::max();
  std::string TempDir = "/tmp";
};

struct TRunResult {
  // One line per maximal biclique, "rows : columns", each followed by "\n";
  // ascending by bytes, no duplicates.
  std::string Text;
  std::int32_t Sources = 0; // input lines
  std::int32_t Targets = 0; // characters per line
  std::int64_t Count = 0;   // maximal bicliques found
  std::int32_t Passes = 0;  // TEngine::Passes of the engine
  // Enumeration only; with Unordered writing too, with SortedText formatting too.
  std::chrono::steady_clock::duration Elapsed{};
  // The engine that produced the results, for a caller that keeps it (the
  // window keeps the engine of its last RUN); it holds what its Run kept:
  // nothing to read back after Count, Unordered or SortedText.
  std::unique_ptr<TEngine> Engine;
};

// Splits text into lines at "\n" or "\r\n". A line break after the last line
// adds no row; empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

// The rows of the 0/1 text `lines`, read as the matrix reader reads them.
// Throws TInputError unless every line holds only "0"/"1" and as many
// characters as the first, naming the first place at fault.
TMatrix MatrixOfLines(const std::vector<std::string>& lines);

// Enumerates the maximal bicliques of `matrix` as `options` say and formats
// them; the text is empty unless options.Output is SortedText. Throws
// TCancelled when options.Config.Stop is requested; whatever a thread of the
// run throws reaches the caller.
TRunResult RunMatrix(const TMatrix& matrix, const TRunOptions& options);

// Checks the lines, enumerates their maximal bicliques as `options` say and
// formats them. Throws TInputError on refused input, before any engine is
// built, and TCancelled when options.Config.Stop is requested.
TRunResult RunLines(const std::vector<std::string>& lines, const TRunOptions& options = {});
