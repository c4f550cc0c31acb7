#include "Matrixtextunit.h"

#include <bit>
#include <climits>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint64_t ZeroBytes = 0x3030303030303030; // eight '0'
constexpr std::uint64_t LowBits = 0x0101010101010101;

// Offset of the first byte of line[from..] that is neither '0' nor '1', or
// npos. With Collect, appends the offset of every '1' before it to *ones.
// Eight bytes at a time: '0' ^ '0' is 0 and '1' ^ '0' is 1, so a word holds
// only good bytes exactly when nothing but the low bit of a byte is left.
template <bool Collect>
std::size_t Scan(std::string_view line, std::size_t from, std::vector<std::int32_t>* ones) {
  const char* data = line.data();
  const std::size_t size = line.size();
  std::size_t i = from;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= size; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, data + i, 8);
      const std::uint64_t bits = word ^ ZeroBytes;
      if ((bits & ~LowBits) != 0) break; // the byte loop below finds which
      if constexpr (Collect) {
        for (std::uint64_t left = bits; left != 0; left &= left - 1)
          ones->push_back(
              static_cast<std::int32_t>(i + static_cast<std::size_t>(std::countr_zero(left) / 8)));
      }
    }
  }
  for (; i < size; ++i) {
    const char c = data[i];
    if (c == '1') {
      if constexpr (Collect) ones->push_back(static_cast<std::int32_t>(i));
    } else if (c != '0') {
      return i;
    }
  }
  return std::string_view::npos;
}

std::string Characters(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " character" : " characters");
}

constexpr std::string_view Expected = "'0' or '1'";

class TMatrixTextReader final : public TReader {
public:
  void Line(std::string_view line, std::int64_t number) override {
    if (number > INT32_MAX)
      throw TInputError(number, 0, "too many lines: more than " + std::to_string(INT32_MAX));
    if (number == 1) {
      if (line.size() > static_cast<std::size_t>(INT32_MAX))
        throw TInputError(1, 0, "line 1 is too long: " + Characters(line.size()));
      Width = line.size();
    }
    // A line of another width is refused anyway, but a bad character in it
    // is named first, as it comes first in the line.
    const bool fits = line.size() == Width;
    const std::size_t bad = fits ? Scan<true>(line, 0, &Matrix.Adjacent) : Scan<false>(line, 0, nullptr);
    if (bad != std::string_view::npos) RefuseChar(line, bad, number, true, Expected);
    if (!fits) RefuseLine(number, "has " + Characters(line.size()) + ", line 1 has " + std::to_string(Width));
    Matrix.RowStarts.push_back(static_cast<std::int64_t>(Matrix.Adjacent.size()));
  }

  TMatrix Finish() override {
    Matrix.Sources = static_cast<std::int32_t>(Matrix.RowStarts.size() - 1);
    Matrix.Targets = static_cast<std::int32_t>(Width);
    return std::move(Matrix);
  }

protected:
  std::size_t CheckPart(std::string_view soFar, std::size_t from, std::int64_t number) override {
    const std::size_t bad = Scan<false>(soFar, from, nullptr);
    return bad == std::string_view::npos ? soFar.size() : RefuseChar(soFar, bad, number, false, Expected);
  }

private:
  TMatrix Matrix;
  std::size_t Width = 0;
};

} // namespace

std::unique_ptr<TReader> MakeMatrixTextReader() { return std::make_unique<TMatrixTextReader>(); }

std::string MatrixText(const TMatrix& matrix) {
  if (matrix.Sources == 0) return {};
  const auto width = static_cast<std::size_t>(matrix.Targets);
  std::string text(static_cast<std::size_t>(matrix.Sources) * (width + 1) - 1, '0');
  for (std::int32_t s = 0; s < matrix.Sources; ++s) {
    char* line = text.data() + static_cast<std::size_t>(s) * (width + 1);
    if (s + 1 < matrix.Sources) line[width] = '\n';
    for (const std::int32_t t : matrix.Row(s))
      line[t] = '1';
  }
  return text;
}
