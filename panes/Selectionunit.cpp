#include "Selectionunit.h"

#include <algorithm>
#include <limits>

namespace {

// Reads "n,n,...,n" (or nothing when `allowEmpty`) into `numbers`.
bool ReadList(std::string_view text, bool allowEmpty, std::vector<std::int32_t>& numbers) {
  if (text.empty()) return allowEmpty;
  std::int64_t value = -1; // -1: no digit yet in this number
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      value = (value < 0 ? 0 : value) * 10 + (c - '0');
      if (value > std::numeric_limits<std::int32_t>::max()) return false;
    } else if (c == ',' && value > 0) {
      numbers.push_back(static_cast<std::int32_t>(value));
      value = -1;
    } else {
      return false;
    }
  }
  if (value <= 0) return false;
  numbers.push_back(static_cast<std::int32_t>(value));
  return true;
}

} // namespace

std::optional<TResultLine> ParseResultLine(std::string_view line) {
  const std::size_t colon = line.find(" : ");
  if (colon == std::string_view::npos) return std::nullopt;
  TResultLine result;
  if (!ReadList(line.substr(0, colon), false, result.Sources) ||
      !ReadList(line.substr(colon + 3), true, result.Targets))
    return std::nullopt;
  return result;
}

std::vector<std::int32_t> BlockOrder(std::int32_t count, const std::vector<std::int32_t>& chosen) {
  std::vector<char> isChosen(static_cast<std::size_t>(std::max(count, 0)), 0);
  for (const std::int32_t number : chosen)
    if (number >= 1 && number <= count) isChosen[static_cast<std::size_t>(number - 1)] = 1;
  std::vector<std::int32_t> order;
  order.reserve(isChosen.size());
  for (const char want : {1, 0})
    for (std::int32_t i = 0; i < count; ++i)
      if (isChosen[static_cast<std::size_t>(i)] == want) order.push_back(i);
  return order;
}

TPictureOrder PictureOrder(std::int32_t rows, std::int32_t columns, const TResultLine& chosen, bool block) {
  if (block) return {BlockOrder(rows, chosen.Sources), BlockOrder(columns, chosen.Targets)};
  TPictureOrder order;
  for (std::int32_t i = 0; i < rows; ++i)
    order.Rows.push_back(i);
  for (std::int32_t i = 0; i < columns; ++i)
    order.Columns.push_back(i);
  return order;
}

std::vector<TCell> PictureCells(const std::vector<std::string>& matrix, std::int32_t columns,
                                const TResultLine& chosen, bool block) {
  const auto rows = static_cast<std::int32_t>(matrix.size());
  std::vector<char> rowChosen(matrix.size(), 0), columnChosen(static_cast<std::size_t>(columns), 0);
  for (const std::int32_t u : chosen.Sources)
    if (u >= 1 && u <= rows) rowChosen[static_cast<std::size_t>(u - 1)] = 1;
  for (const std::int32_t v : chosen.Targets)
    if (v >= 1 && v <= columns) columnChosen[static_cast<std::size_t>(v - 1)] = 1;
  const TPictureOrder order = PictureOrder(rows, columns, chosen, block);
  std::vector<TCell> cells(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
  auto cell = cells.begin();
  for (const std::int32_t u : order.Rows) {
    const std::string& row = matrix[static_cast<std::size_t>(u)];
    const bool inRow = rowChosen[static_cast<std::size_t>(u)] != 0;
    for (const std::int32_t v : order.Columns) {
      const bool one = static_cast<std::size_t>(v) < row.size() && row[static_cast<std::size_t>(v)] == '1';
      const bool inColumn = columnChosen[static_cast<std::size_t>(v)] != 0;
      if (inRow && inColumn) {
        *cell++ = TCell::Chosen;
      } else if (inRow || inColumn) {
        *cell++ = one ? TCell::MarkedOne : TCell::MarkedZero;
      } else {
        *cell++ = one ? TCell::One : TCell::Zero;
      }
    }
  }
  return cells;
}
