// Extensionunit: TExtensionBicliques, the enumeration engine by closure extension.
// It lists the same results as TBicliques: every distinct intersection of the
// target sets of one or more sources, with its source side (the sources
// adjacent to all of it).
//
// Use: construct with the matrix size, fill every row with SetRow, call Run
// once, then read Count and ForEachResult. Sets are 64-bit words in the layout
// of Poslistunit. Result order is unspecified; the set of results is not.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

// The side whose vertices extend a set one by one; the other side is reached
// by closure. Targets keeps the matrix as given, Sources works on its
// transpose; Automatic lets Run pick the one it expects to be cheaper.
enum class TExtensionSide { Automatic, Targets, Sources };

class TExtensionBicliques {
public:
  std::int32_t RowCount;    // sources
  std::int32_t ColumnCount; // targets
  TExtensionSide Side = TExtensionSide::Automatic;
  // Threads Run uses, at least 1; the results do not depend on it.
  std::int32_t ThreadCount;

  // All rows empty; ThreadCount is the number of hardware threads. Pre: both >= 0.
  TExtensionBicliques(std::int32_t rowCount, std::int32_t columnCount);
  TExtensionBicliques(const TExtensionBicliques&) = delete;
  TExtensionBicliques& operator=(const TExtensionBicliques&) = delete;

  // Target t of `source` is set when bits[t] is '1'.
  // Pre: 0 <= source < RowCount; bits holds ColumnCount characters '0'/'1'.
  void SetRow(std::int32_t source, std::string_view bits);

  // Enumerates; returns Count(). Call once, after the rows.
  std::int64_t Run();
  // Number of results of Run.
  std::int64_t Count() const;
  // The side Run extended: Targets or Sources.
  TExtensionSide UsedSide() const;
  // Calls `visit` with results first..last-1 in order, each as its source side
  // (WordCount(RowCount) words) and its target side (WordCount(ColumnCount)
  // words), valid during the call. Safe to call from several threads at once.
  // Pre: 0 <= first <= last <= Count().
  using TResultVisitor = std::function<void(const std::uint64_t* sources, const std::uint64_t* targets)>;
  void ForEachResult(std::int64_t first, std::int64_t last, const TResultVisitor& visit) const;

private:
  std::int32_t TargetWords; // words of a target set
  std::int32_t SourceWords; // words of a source set
  // Source s: its target set, at s * TargetWords.
  std::vector<std::uint64_t> Rows;
  // Target t: its source set, at t * SourceWords; built by Run.
  std::vector<std::uint64_t> Columns;
  bool Transposed = false; // Run extended sources
  // Per extension-side vertex: how many vertices of the other side it has.
  std::vector<std::int32_t> Support;
  // Result i: the extension-side set, ExtensionWords() words at i * ExtensionWords().
  std::vector<std::uint64_t> Sets;
  // Result i: how to get its other side from an earlier result's (see the .cpp).
  std::vector<std::int32_t> Steps;
  std::int64_t ResultCount = 0;

  void BuildColumns();
  TExtensionSide ChooseSide() const;
  std::int32_t ExtensionWords() const;
  // Writes the vertices of the other side adjacent to all of `set` (an
  // extension-side set) into `out`.
  void CommonNeighbours(const std::uint64_t* set, std::uint64_t* out) const;
};
