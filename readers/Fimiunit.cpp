#include "Fimiunit.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace {

constexpr std::string_view Expected = "a target number";

// Offset of the first byte of line[from..] that is neither a digit nor a
// blank, or npos.
std::size_t FindBad(std::string_view line, std::size_t from) {
  for (std::size_t i = from; i < line.size(); ++i)
    if (!IsDigit(line[i]) && !IsBlank(line[i])) return i;
  return std::string_view::npos;
}

class TFimiReader final : public TReader {
public:
  void Line(std::string_view line, std::int64_t number) override {
    if (number > INT32_MAX)
      throw TInputError(number, 0, "too many lines: more than " + std::to_string(INT32_MAX));
    // Characters first, then values: the same first fault whether or not
    // the line came in pieces (Part sees only characters).
    const std::size_t bad = FindBad(line, 0);
    if (bad != std::string_view::npos) RefuseChar(line, bad, number, true, Expected);
    const std::size_t rowStart = Ids.size();
    for (std::size_t i = 0; i < line.size();) {
      if (IsBlank(line[i])) {
        ++i;
        continue;
      }
      const std::size_t start = i;
      std::int64_t value = 0;
      for (; i < line.size() && IsDigit(line[i]); ++i) {
        const int digit = line[i] - '0';
        if (value > (INT64_MAX - digit) / 10) {
          std::size_t end = i;
          while (end < line.size() && IsDigit(line[end]))
            ++end;
          std::string shown(line.substr(start, std::min<std::size_t>(end - start, 40)));
          if (end - start > 40) shown += "...";
          RefuseAt(number, static_cast<std::int64_t>(start + 1), "target number too large: " + shown);
        }
        value = value * 10 + digit;
      }
      Ids.push_back(value);
      MaxId = std::max(MaxId, value);
    }
    // Transaction files mostly list their numbers ascending already.
    const auto row = Ids.begin() + static_cast<std::ptrdiff_t>(rowStart);
    if (!std::is_sorted(row, Ids.end())) std::sort(row, Ids.end());
    Ids.erase(std::unique(row, Ids.end()), Ids.end());
    RowStarts.push_back(static_cast<std::int64_t>(Ids.size()));
  }

  TMatrix Finish() override {
    TMatrix matrix;
    matrix.Sources = static_cast<std::int32_t>(RowStarts.size() - 1);
    matrix.RowStarts = std::move(RowStarts);
    // The numbers that occur, ascending; their ranks are the targets. A table
    // indexed by number when the numbers are not much larger than the input,
    // else a sorted copy searched per entry.
    std::vector<std::int64_t>& used = matrix.TargetIds;
    matrix.Adjacent.resize(Ids.size());
    if (MaxId < static_cast<std::int64_t>(4 * Ids.size() + (1 << 20))) {
      std::vector<std::int32_t> rank(static_cast<std::size_t>(MaxId + 1), -1);
      for (const std::int64_t id : Ids)
        rank[static_cast<std::size_t>(id)] = 0;
      for (std::int64_t id = 0; id <= MaxId; ++id) {
        if (rank[static_cast<std::size_t>(id)] < 0) continue;
        CheckTargets(used.size());
        rank[static_cast<std::size_t>(id)] = static_cast<std::int32_t>(used.size());
        used.push_back(id);
      }
      for (std::size_t k = 0; k < Ids.size(); ++k)
        matrix.Adjacent[k] = rank[static_cast<std::size_t>(Ids[k])];
    } else {
      used = Ids;
      std::sort(used.begin(), used.end());
      used.erase(std::unique(used.begin(), used.end()), used.end());
      if (!used.empty()) CheckTargets(used.size() - 1);
      for (std::size_t k = 0; k < Ids.size(); ++k)
        matrix.Adjacent[k] =
            static_cast<std::int32_t>(std::lower_bound(used.begin(), used.end(), Ids[k]) - used.begin());
    }
    matrix.Targets = static_cast<std::int32_t>(used.size());
    Ids = {};
    return matrix;
  }

protected:
  std::size_t CheckPart(std::string_view soFar, std::size_t from, std::int64_t number) override {
    const std::size_t bad = FindBad(soFar, from);
    return bad == std::string_view::npos ? soFar.size() : RefuseChar(soFar, bad, number, false, Expected);
  }

private:
  // Pre: `index` targets are already numbered.
  static void CheckTargets(std::size_t index) {
    if (index >= static_cast<std::size_t>(INT32_MAX))
      throw TInputError(0, 0, "too many distinct target numbers: more than " + std::to_string(INT32_MAX));
  }

  std::vector<std::int64_t> Ids; // as written, each row ascending and distinct
  std::vector<std::int64_t> RowStarts{0};
  std::int64_t MaxId = -1;
};

} // namespace

std::unique_ptr<TReader> MakeFimiReader() { return std::make_unique<TFimiReader>(); }
