#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "Arrayinputunit.h"
#include "ReaderTesting.h"

namespace {

// The matrix every form below holds: 3 sources, 4 targets.
const TRows Expected = {{0, 2}, {}, {1, 2, 3}};

template <typename T> TArrayView View(const std::vector<T>& values, TElementKind kind) {
  return {reinterpret_cast<const char*>(values.data()), kind, static_cast<std::int64_t>(values.size()),
          static_cast<std::int64_t>(sizeof(T))};
}

struct TArrayRefusal {
  std::int64_t Row, Column, Entry;
  std::string Message;
  bool operator==(const TArrayRefusal&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TArrayRefusal& refusal) {
  return out << "(" << refusal.Row << ", " << refusal.Column << ", " << refusal.Entry << ") \""
             << refusal.Message << "\"";
}

std::optional<TArrayRefusal> RefusalOf(const std::function<TMatrix()>& read) {
  try {
    read();
  } catch (const TArrayError& error) {
    return TArrayRefusal{error.Row, error.Column, error.Entry, error.what()};
  }
  return std::nullopt;
}

} // namespace

TEST(ArrayInput, EveryLayoutGivesTheSameRows) {
  const std::vector<std::uint8_t> rowMajor = {1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1};
  const std::vector<std::int32_t> columnMajor = {1, 0, 0, 0, 0, 1, 1, 0, 1, 0, 0, 1};
  const std::vector<double> spread = {1, 9, 0, 9, 1, 9, 0, 9, 0, 9, 0, 9, 0, 9, 0, 9, 0, 9, 1, 9, 1, 9, 1, 9};
  // Compressed rows, unsorted, with a repeat and an explicit zero.
  const std::vector<std::int64_t> rowStarts = {0, 3, 4, 8};
  const std::vector<std::int32_t> rowIndices = {2, 0, 2, 1, 3, 1, 2, 0};
  const std::vector<float> rowValues = {1, 1, 1, 0, 1, 1, 1, 0};
  // Compressed columns, values all 1.
  const std::vector<std::int32_t> columnStarts = {0, 1, 2, 4, 5};
  const std::vector<std::uint16_t> columnIndices = {0, 2, 2, 0, 2};
  const std::vector<std::int64_t> cooRows = {2, 0, 2, 2, 0, 1}, cooColumns = {3, 2, 1, 2, 0, 3};
  const std::vector<bool> cooValuesBits = {true, true, true, true, true, false};
  const std::vector<std::uint8_t> cooValues(cooValuesBits.begin(), cooValuesBits.end());

  struct Case {
    const char* name;
    std::function<TMatrix()> read;
  };
  const Case cases[] = {
      {"row-major bytes",
       [&] {
         return MatrixOfDense(
             {reinterpret_cast<const char*>(rowMajor.data()), TElementKind::Bool, 3, 4, 4, 1});
       }},
      {"column-major int32",
       [&] {
         return MatrixOfDense(
             {reinterpret_cast<const char*>(columnMajor.data()), TElementKind::Int32, 3, 4, 4, 12});
       }},
      {"every other double",
       [&] {
         return MatrixOfDense(
             {reinterpret_cast<const char*>(spread.data()), TElementKind::Float64, 3, 4, 64, 16});
       }},
      {"rows upside down",
       [&] {
         return MatrixOfDense(
             {reinterpret_cast<const char*>(rowMajor.data() + 8), TElementKind::UInt8, 3, 4, -4, 1});
       }},
      {"compressed rows",
       [&] {
         return MatrixOfCompressed(3, 4, View(rowStarts, TElementKind::Int64),
                                   View(rowIndices, TElementKind::Int32),
                                   View(rowValues, TElementKind::Float32), false);
       }},
      {"compressed columns",
       [&] {
         return MatrixOfCompressed(3, 4, View(columnStarts, TElementKind::Int32),
                                   View(columnIndices, TElementKind::UInt16), {}, true);
       }},
      {"coordinates",
       [&] {
         return MatrixOfCoordinates(3, 4, View(cooRows, TElementKind::Int64),
                                    View(cooColumns, TElementKind::Int64),
                                    View(cooValues, TElementKind::Bool));
       }},
  };
  for (const auto& c : cases) {
    const TMatrix matrix = c.read();
    EXPECT_EQ(matrix.Sources, 3) << c.name;
    EXPECT_EQ(matrix.Targets, 4) << c.name;
    const TRows rows = RowsOf(matrix);
    if (std::string(c.name) == "rows upside down") {
      EXPECT_EQ(rows, (TRows{{1, 2, 3}, {}, {0, 2}})) << c.name;
    } else {
      EXPECT_EQ(rows, Expected) << c.name;
    }
  }
}

TEST(ArrayInput, RefusesWithThePlace) {
  const std::vector<std::int8_t> dense = {1, 0, 0, 2};
  const std::vector<double> half = {0.5};
  const std::vector<std::int64_t> starts = {0, 2, 1}, goodStarts = {0, 1, 2}, indices = {0, 5};
  const std::vector<std::uint64_t> huge = {0, 1ull << 63};
  const std::vector<std::int32_t> values = {1, 7}, coo = {0, 1};
  const std::vector<float> floatIndices = {0, 1};
  struct Case {
    const char* name;
    std::function<TMatrix()> read;
    TArrayRefusal refusal;
  };
  const Case cases[] = {
      {"a 2",
       [&] {
         return MatrixOfDense({reinterpret_cast<const char*>(dense.data()), TElementKind::Int8, 2, 2, 2, 1});
       },
       {1, 1, -1, "row 1, column 1: expected 0 or 1, found 2"}},
      {"a 2, column-major",
       [&] {
         return MatrixOfDense({reinterpret_cast<const char*>(dense.data()), TElementKind::Int8, 2, 2, 1, 2});
       },
       {1, 1, -1, "row 1, column 1: expected 0 or 1, found 2"}},
      {"a half",
       [&] {
         return MatrixOfDense(
             {reinterpret_cast<const char*>(half.data()), TElementKind::Float64, 1, 1, 8, 8});
       },
       {0, 0, -1, "row 0, column 0: expected 0 or 1, found 0.5"}},
      {"too many rows",
       [&] {
         return MatrixOfDense({nullptr, TElementKind::Bool, 1ll << 31, 0, 0, 0});
       },
       {-1, -1, -1, "too many rows: 2147483648, more than 2147483647"}},
      {"starts going back",
       [&] {
         return MatrixOfCompressed(2, 9, View(starts, TElementKind::Int64),
                                   View(indices, TElementKind::Int64), {}, false);
       },
       {-1, -1, -1, "start 2 is 1: expected 2 to 2"}},
      {"index out of range",
       [&] {
         return MatrixOfCompressed(2, 3, View(goodStarts, TElementKind::Int64),
                                   View(indices, TElementKind::Int64), {}, false);
       },
       {-1, -1, 1, "stored entry 1: column 5 is out of range (3 columns)"}},
      {"an unsigned index beyond int64",
       [&] {
         return MatrixOfCoordinates(2, 2, View(coo, TElementKind::Int32), View(huge, TElementKind::UInt64),
                                    {});
       },
       {-1, -1, 1, "stored entry 1: column -1 is out of range (2 columns)"}},
      {"a stored 7",
       [&] {
         return MatrixOfCompressed(9, 2, View(goodStarts, TElementKind::Int64),
                                   View(indices, TElementKind::Int64), View(values, TElementKind::Int32),
                                   true);
       },
       {5, 1, 1, "row 5, column 1: expected 0 or 1, found 7"}},
      {"values of another length",
       [&] {
         return MatrixOfCoordinates(2, 2, View(coo, TElementKind::Int32), View(coo, TElementKind::Int32),
                                    View(half, TElementKind::Float64));
       },
       {-1, -1, -1, "the values hold 1 entries, the indices 2"}},
      {"floating-point indices",
       [&] {
         return MatrixOfCoordinates(2, 2, View(floatIndices, TElementKind::Float32),
                                    View(coo, TElementKind::Int32), {});
       },
       {-1, -1, 0, "an index array holds floating-point numbers"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RefusalOf(c.read), c.refusal) << c.name;
}
