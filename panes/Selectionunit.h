// Selectionunit: what a chosen result line marks in the input matrix, without
// Qt: the line's source and target numbers, and the matrix picture as one
// byte per cell.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One result line's vertex numbers as written, counting from 1.
struct TResultLine {
  std::vector<std::int32_t> Sources;
  std::vector<std::int32_t> Targets;
  bool operator==(const TResultLine&) const = default;
};

// Reads a result line "1,2 : 3,4" (the target list may be empty: "1,2 : ").
// Nothing when the line is not of that form or a number is 0 or beyond
// int32.
std::optional<TResultLine> ParseResultLine(std::string_view line);

// The order of `count` rows (or columns) when the chosen ones are moved to
// the front: the chosen (1-based numbers, ascending, duplicates dropped,
// those outside 1..count ignored) first, then the others, both ascending;
// 0-based indexes.
std::vector<std::int32_t> BlockOrder(std::int32_t count, const std::vector<std::int32_t>& chosen);

// The order in which the picture draws the matrix: Rows[k] is the row
// (0-based) drawn k-th, likewise Columns. In the matrix's own order, or with
// `block` the chosen rows and columns first (BlockOrder).
struct TPictureOrder {
  std::vector<std::int32_t> Rows;
  std::vector<std::int32_t> Columns;
};
TPictureOrder PictureOrder(std::int32_t rows, std::int32_t columns, const TResultLine& chosen, bool block);

// What a picture cell shows.
enum class TCell : std::uint8_t {
  Zero,       // no edge, outside the chosen rows and columns
  One,        // an edge, outside them
  MarkedZero, // no edge, in a chosen row or column but not both
  MarkedOne,  // an edge, in a chosen row or column but not both
  Chosen,     // in a chosen row and a chosen column: a cell of the biclique
};

// The picture of `matrix` (rows of '0'/'1', each `columns` characters; a
// shorter row reads as '0' beyond its end) with `chosen` marked: one TCell
// per cell, row after row, rows.size() * columns cells. With `block`, the
// chosen rows and columns come first (PictureOrder), so the biclique is one
// block at the top left. Pre: columns >= 0.
std::vector<TCell> PictureCells(const std::vector<std::string>& matrix, std::int32_t columns,
                                const TResultLine& chosen, bool block);
