// Arrayinputunit: the run's matrix from arrays in memory, as NumPy and SciPy
// hold them (a dense 2-D array, compressed rows or columns, coordinates).
// The arrays are borrowed and read once; the matrix is the one copy made.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "Matrixunit.h"

// The element types an array may hold.
enum class TElementKind { Bool, Int8, Int16, Int32, Int64, UInt8, UInt16, UInt32, UInt64, Float32, Float64 };

// A 1-D array: Size elements of Kind, element k at Data + k * Stride bytes.
struct TArrayView {
  const char* Data = nullptr;
  TElementKind Kind = TElementKind::Int64;
  std::int64_t Size = 0;
  std::int64_t Stride = 0;
};

// A 2-D array: element (r, c) at Data + r * RowStride + c * ColumnStride.
struct TDenseView {
  const char* Data = nullptr;
  TElementKind Kind = TElementKind::UInt8;
  std::int64_t Rows = 0;
  std::int64_t Columns = 0;
  std::int64_t RowStride = 0;
  std::int64_t ColumnStride = 0;
};

// Array input that is refused, with the 0-based place at fault (Row and
// Column -1 where the fault has none; Entry -1 unless a stored entry of a
// sparse array is at fault).
class TArrayError : public std::invalid_argument {
public:
  TArrayError(std::int64_t row, std::int64_t column, std::int64_t entry, const std::string& message)
      : std::invalid_argument(message), Row(row), Column(column), Entry(entry) {}
  std::int64_t Row;
  std::int64_t Column;
  std::int64_t Entry;
};

// Rows are sources, columns targets; every element must be 0 or 1 (false or
// true). Throws TArrayError ("row 2, column 4: expected 0 or 1, found 2"),
// also for more than 2^31 - 1 rows or columns.
TMatrix MatrixOfDense(const TDenseView& array);

// Compressed rows (byColumns false: row r holds the columns
// indices[starts[r] .. starts[r + 1])) or compressed columns (byColumns
// true), as SciPy's CSR and CSC keep them, of a rows x columns matrix. Each
// stored value (values.Size 0: all 1) must be 0 or 1; a 0 is no edge, and an
// entry stored twice counts once. Indices may be unsorted. Throws
// TArrayError for a start that goes back or past the end, an index out of
// range, a value other than 0 or 1, or more than 2^31 - 1 rows or columns.
TMatrix MatrixOfCompressed(std::int64_t rows, std::int64_t columns, const TArrayView& starts,
                           const TArrayView& indices, const TArrayView& values, bool byColumns);

// Entry k at (rowIndex[k], columnIndex[k]) with values[k] (values.Size 0:
// all 1), as SciPy's COO keeps it; otherwise as MatrixOfCompressed.
TMatrix MatrixOfCoordinates(std::int64_t rows, std::int64_t columns, const TArrayView& rowIndex,
                            const TArrayView& columnIndex, const TArrayView& values);
