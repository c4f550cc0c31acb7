// Matrixunit: the bipartite graph as every reader gives it to the run path,
// and the error that readers throw for refused input.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// Input that is refused, with the 1-based place at fault (Column 0 when the
// whole line is at fault, Line 0 when no line is).
class TInputError : public std::runtime_error {
public:
  TInputError(std::int64_t line, std::int64_t column, const std::string& message)
      : std::runtime_error(message), Line(line), Column(column) {}
  std::int64_t Line;
  std::int64_t Column;
};

// Sources with their target lists (compressed rows), and how each vertex is
// shown to the user.
struct TMatrix {
  std::int32_t Sources = 0;
  std::int32_t Targets = 0;
  // Source s: its targets at Adjacent[RowStarts[s] .. RowStarts[s + 1]),
  // ascending and distinct. RowStarts has Sources + 1 entries.
  std::vector<std::int64_t> RowStarts{0};
  std::vector<std::int32_t> Adjacent;
  // The number shown for vertex v (counting from 0): SourceIds[v] when the
  // vector is not empty, else v + 1. Likewise for targets.
  std::vector<std::int64_t> SourceIds;
  std::vector<std::int64_t> TargetIds;
  // Names of the vertices when the input has them, else empty.
  std::vector<std::string> SourceNames;
  std::vector<std::string> TargetNames;

  std::span<const std::int32_t> Row(std::int32_t source) const {
    const auto s = static_cast<std::size_t>(source);
    return {Adjacent.data() + RowStarts[s], static_cast<std::size_t>(RowStarts[s + 1] - RowStarts[s])};
  }
  std::int64_t Ones() const { return static_cast<std::int64_t>(Adjacent.size()); }
};
