#include "Arrayinputunit.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Calls visit(T{}) with the C++ type of `kind`.
template <typename TVisit> decltype(auto) WithType(TElementKind kind, TVisit&& visit) {
  switch (kind) {
  case TElementKind::Bool:
  case TElementKind::UInt8:
    return visit(std::uint8_t{});
  case TElementKind::Int8:
    return visit(std::int8_t{});
  case TElementKind::Int16:
    return visit(std::int16_t{});
  case TElementKind::Int32:
    return visit(std::int32_t{});
  case TElementKind::Int64:
    return visit(std::int64_t{});
  case TElementKind::UInt16:
    return visit(std::uint16_t{});
  case TElementKind::UInt32:
    return visit(std::uint32_t{});
  case TElementKind::UInt64:
    return visit(std::uint64_t{});
  case TElementKind::Float32:
    return visit(float{});
  case TElementKind::Float64:
    break;
  }
  return visit(double{});
}

template <typename T> T Load(const char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename T> std::string Shown(T value) {
  if constexpr (std::is_floating_point_v<T>) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
  } else {
    return std::to_string(value);
  }
}

std::string Place(std::int64_t row, std::int64_t column) {
  return "row " + std::to_string(row) + ", column " + std::to_string(column);
}

// True for 1, false for 0; refuses anything else at (row, column).
template <typename T> bool IsOne(T value, std::int64_t row, std::int64_t column, std::int64_t entry) {
  if (value == T(1)) return true;
  if (value == T(0)) return false;
  throw TArrayError(row, column, entry, Place(row, column) + ": expected 0 or 1, found " + Shown(value));
}

void CheckSide(std::int64_t count, const char* what) {
  if (count < 0 || count > INT32_MAX)
    throw TArrayError(-1, -1, -1,
                      std::string("too many ") + what + ": " + std::to_string(count) + ", more than " +
                          std::to_string(INT32_MAX));
}

// The index at k of an integer array, as a signed number (unsigned values
// beyond INT64_MAX become -1: out of range like any negative one).
std::int64_t IndexAt(const TArrayView& array, std::int64_t k) {
  return WithType(array.Kind, [&](auto type) -> std::int64_t {
    using T = decltype(type);
    const T value = Load<T>(array.Data + k * array.Stride);
    if constexpr (std::is_floating_point_v<T>) {
      throw TArrayError(-1, -1, k, "an index array holds floating-point numbers");
    } else if constexpr (std::is_unsigned_v<T>) {
      return value > static_cast<std::uint64_t>(INT64_MAX) ? -1 : static_cast<std::int64_t>(value);
    } else {
      return static_cast<std::int64_t>(value);
    }
  });
}

// Rows built from (row, column) entries in any order, by counting: a first
// pass counts each row's entries, a second places them; then each row is
// sorted and its repeats dropped.
class TRowsByCounting {
public:
  explicit TRowsByCounting(std::int64_t rows) : Starts(static_cast<std::size_t>(rows) + 1, 0) {}
  void Count(std::int64_t row) { ++Starts[static_cast<std::size_t>(row) + 1]; }
  void StartPlacing() {
    for (std::size_t r = 1; r < Starts.size(); ++r)
      Starts[r] += Starts[r - 1];
    Adjacent.resize(static_cast<std::size_t>(Starts.back()));
    Next.assign(Starts.begin(), Starts.end() - 1);
  }
  void Place(std::int64_t row, std::int64_t column) {
    Adjacent[static_cast<std::size_t>(Next[static_cast<std::size_t>(row)]++)] =
        static_cast<std::int32_t>(column);
  }
  // Sorts each row and drops its repeats, into `matrix`.
  void Finish(TMatrix& matrix) {
    matrix.RowStarts.assign(1, 0);
    matrix.RowStarts.reserve(Starts.size());
    std::size_t kept = 0;
    for (std::size_t r = 0; r + 1 < Starts.size(); ++r) {
      const auto first = Adjacent.begin() + Starts[r];
      const auto last = Adjacent.begin() + Starts[r + 1];
      if (!std::is_sorted(first, last)) std::sort(first, last);
      const auto end = std::unique(first, last);
      const auto out = Adjacent.begin() + static_cast<std::ptrdiff_t>(kept);
      std::move(first, end, out);
      kept += static_cast<std::size_t>(end - first);
      matrix.RowStarts.push_back(static_cast<std::int64_t>(kept));
    }
    Adjacent.resize(kept);
    Adjacent.shrink_to_fit();
    matrix.Adjacent = std::move(Adjacent);
  }

private:
  std::vector<std::int64_t> Starts;
  std::vector<std::int64_t> Next;
  std::vector<std::int32_t> Adjacent;
};

TMatrix Sized(std::int64_t rows, std::int64_t columns) {
  CheckSide(rows, "rows");
  CheckSide(columns, "columns");
  TMatrix matrix;
  matrix.Sources = static_cast<std::int32_t>(rows);
  matrix.Targets = static_cast<std::int32_t>(columns);
  return matrix;
}

void CheckValues(const TArrayView& values, std::int64_t entries) {
  if (values.Size != 0 && values.Size != entries)
    throw TArrayError(-1, -1, -1,
                      "the values hold " + std::to_string(values.Size) + " entries, the indices " +
                          std::to_string(entries));
}

// Whether stored entry k, at (row, column), is an edge.
bool EntryIsOne(const TArrayView& values, std::int64_t k, std::int64_t row, std::int64_t column) {
  if (values.Size == 0) return true;
  return WithType(values.Kind, [&](auto type) {
    using T = decltype(type);
    return IsOne(Load<T>(values.Data + k * values.Stride), row, column, k);
  });
}

std::int64_t CheckedIndex(const TArrayView& indices, std::int64_t k, std::int64_t limit, const char* what) {
  const std::int64_t index = IndexAt(indices, k);
  if (index < 0 || index >= limit)
    throw TArrayError(-1, -1, k,
                      "stored entry " + std::to_string(k) + ": " + what + " " + std::to_string(index) +
                          " is out of range (" + std::to_string(limit) + " " + what + "s)");
  return index;
}

} // namespace

TMatrix MatrixOfDense(const TDenseView& array) {
  TMatrix matrix = Sized(array.Rows, array.Columns);
  WithType(array.Kind, [&](auto type) {
    using T = decltype(type);
    const auto at = [&](std::int64_t r, std::int64_t c) {
      return Load<T>(array.Data + r * array.RowStride + c * array.ColumnStride);
    };
    // In the order of memory: a column-major array is read column by column.
    const bool byColumns =
        array.Rows > 1 && array.Columns > 1 && std::abs(array.ColumnStride) > std::abs(array.RowStride);
    if (!byColumns) {
      matrix.RowStarts.reserve(static_cast<std::size_t>(array.Rows) + 1);
      for (std::int64_t r = 0; r < array.Rows; ++r) {
        for (std::int64_t c = 0; c < array.Columns; ++c)
          if (IsOne(at(r, c), r, c, -1)) matrix.Adjacent.push_back(static_cast<std::int32_t>(c));
        matrix.RowStarts.push_back(static_cast<std::int64_t>(matrix.Adjacent.size()));
      }
      return;
    }
    TRowsByCounting rows(array.Rows);
    for (std::int64_t c = 0; c < array.Columns; ++c)
      for (std::int64_t r = 0; r < array.Rows; ++r)
        if (IsOne(at(r, c), r, c, -1)) rows.Count(r);
    rows.StartPlacing();
    for (std::int64_t c = 0; c < array.Columns; ++c)
      for (std::int64_t r = 0; r < array.Rows; ++r)
        if (at(r, c) == T(1)) rows.Place(r, c);
    rows.Finish(matrix);
  });
  return matrix;
}

TMatrix MatrixOfCompressed(std::int64_t rows, std::int64_t columns, const TArrayView& starts,
                           const TArrayView& indices, const TArrayView& values, bool byColumns) {
  TMatrix matrix = Sized(rows, columns);
  const std::int64_t outer = byColumns ? columns : rows;
  const std::int64_t inner = byColumns ? rows : columns;
  const char* innerName = byColumns ? "row" : "column";
  if (starts.Size != outer + 1)
    throw TArrayError(-1, -1, -1,
                      "the starts hold " + std::to_string(starts.Size) + " entries, expected " +
                          std::to_string(outer + 1));
  CheckValues(values, indices.Size);
  std::int64_t previous = 0;
  for (std::int64_t o = 0; o <= outer; ++o) {
    const std::int64_t start = IndexAt(starts, o);
    if (start < previous || start > indices.Size)
      throw TArrayError(-1, -1, -1,
                        "start " + std::to_string(o) + " is " + std::to_string(start) + ": expected " +
                            std::to_string(previous) + " to " + std::to_string(indices.Size));
    previous = start;
  }
  const auto range = [&](std::int64_t o) { return std::pair{IndexAt(starts, o), IndexAt(starts, o + 1)}; };
  if (!byColumns) {
    matrix.RowStarts.reserve(static_cast<std::size_t>(rows) + 1);
    matrix.Adjacent.reserve(static_cast<std::size_t>(IndexAt(starts, outer) - IndexAt(starts, 0)));
    for (std::int64_t r = 0; r < rows; ++r) {
      const auto [first, last] = range(r);
      const std::size_t rowStart = matrix.Adjacent.size();
      for (std::int64_t k = first; k < last; ++k) {
        const std::int64_t c = CheckedIndex(indices, k, inner, innerName);
        if (EntryIsOne(values, k, r, c)) matrix.Adjacent.push_back(static_cast<std::int32_t>(c));
      }
      const auto row = matrix.Adjacent.begin() + static_cast<std::ptrdiff_t>(rowStart);
      if (!std::is_sorted(row, matrix.Adjacent.end())) std::sort(row, matrix.Adjacent.end());
      matrix.Adjacent.erase(std::unique(row, matrix.Adjacent.end()), matrix.Adjacent.end());
      matrix.RowStarts.push_back(static_cast<std::int64_t>(matrix.Adjacent.size()));
    }
    return matrix;
  }
  TRowsByCounting byRows(rows);
  for (std::int64_t c = 0; c < columns; ++c) {
    const auto [first, last] = range(c);
    for (std::int64_t k = first; k < last; ++k) {
      const std::int64_t r = CheckedIndex(indices, k, inner, innerName);
      if (EntryIsOne(values, k, r, c)) byRows.Count(r);
    }
  }
  byRows.StartPlacing();
  for (std::int64_t c = 0; c < columns; ++c) {
    const auto [first, last] = range(c);
    for (std::int64_t k = first; k < last; ++k) {
      const std::int64_t r = IndexAt(indices, k);
      if (EntryIsOne(values, k, r, c)) byRows.Place(r, c);
    }
  }
  byRows.Finish(matrix);
  return matrix;
}

TMatrix MatrixOfCoordinates(std::int64_t rows, std::int64_t columns, const TArrayView& rowIndex,
                            const TArrayView& columnIndex, const TArrayView& values) {
  TMatrix matrix = Sized(rows, columns);
  if (columnIndex.Size != rowIndex.Size)
    throw TArrayError(-1, -1, -1,
                      "the row indices hold " + std::to_string(rowIndex.Size) +
                          " entries, the column indices " + std::to_string(columnIndex.Size));
  CheckValues(values, rowIndex.Size);
  TRowsByCounting byRows(rows);
  for (std::int64_t k = 0; k < rowIndex.Size; ++k) {
    const std::int64_t r = CheckedIndex(rowIndex, k, rows, "row");
    const std::int64_t c = CheckedIndex(columnIndex, k, columns, "column");
    if (EntryIsOne(values, k, r, c)) byRows.Count(r);
  }
  byRows.StartPlacing();
  for (std::int64_t k = 0; k < rowIndex.Size; ++k) {
    const std::int64_t r = IndexAt(rowIndex, k);
    const std::int64_t c = IndexAt(columnIndex, k);
    if (EntryIsOne(values, k, r, c)) byRows.Place(r, c);
  }
  byRows.Finish(matrix);
  return matrix;
}
