#include "Poslistunit.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

constexpr char DigitPairs[] = "00010203040506070809"
                              "10111213141516171819"
                              "20212223242526272829"
                              "30313233343536373839"
                              "40414243444546474849"
                              "50515253545556575859"
                              "60616263646566676869"
                              "70717273747576777879"
                              "80818283848586878889"
                              "90919293949596979899";

std::int32_t DigitCount(std::uint32_t value) {
  std::int32_t digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

// Writes `value` in decimal with its last digit just before `end`, two digits
// per step.
void WriteDecimal(char* end, std::uint32_t value) {
  while (value >= 100) {
    const std::uint32_t pair = (value % 100) * 2;
    value /= 100;
    *--end = DigitPairs[pair + 1];
    *--end = DigitPairs[pair];
  }
  if (value >= 10) {
    *--end = DigitPairs[value * 2 + 1];
    *--end = DigitPairs[value * 2];
  } else {
    *--end = static_cast<char>('0' + value);
  }
}

// The text of every small position with its trailing ",", eight bytes each
// so that one store writes it.
constexpr std::uint32_t TabledPositions = 1u << 16;
struct TPositionTable {
  std::uint64_t Text[TabledPositions];
  std::uint8_t Length[TabledPositions];
};

const TPositionTable& PositionTable() {
  static const std::unique_ptr<const TPositionTable> table = [] {
    auto built = std::make_unique<TPositionTable>();
    for (std::uint32_t position = 1; position < TabledPositions; ++position) {
      char text[8] = {};
      const std::int32_t digits = DigitCount(position);
      WriteDecimal(text + digits, position);
      text[digits] = ',';
      std::memcpy(&built->Text[position], text, sizeof text);
      built->Length[position] = static_cast<std::uint8_t>(digits + 1);
    }
    return built;
  }();
  return *table;
}

} // namespace

void AppendPosList(std::string& out, const std::uint64_t* words, std::int32_t size) {
  const std::int32_t wordCount = WordCount(size);
  std::size_t bits = 0;
  for (std::int32_t w = 0; w < wordCount; ++w)
    bits += static_cast<std::size_t>(std::popcount(words[w]));
  if (bits == 0) return;

  // Room for the longest possible text and one table store past it, trimmed
  // afterwards: one resize and no per-number allocation.
  const std::size_t start = out.size();
  const auto widest = static_cast<std::size_t>(DigitCount(static_cast<std::uint32_t>(size)));
  out.resize(start + bits * (widest + 1) + sizeof(std::uint64_t));
  char* const first = out.data() + start;
  char* next = first;
  const TPositionTable& table = PositionTable();
  for (std::int32_t w = 0; w < wordCount; ++w) {
    std::uint64_t word = words[w];
    while (word != 0) {
      const int zeros = std::countl_zero(word);
      word &= ~(std::uint64_t{1} << (63 - zeros));
      const auto position = static_cast<std::uint32_t>(w) * 64 + static_cast<std::uint32_t>(zeros) + 1;
      if (position < TabledPositions) {
        std::memcpy(next, &table.Text[position], sizeof(std::uint64_t));
        next += table.Length[position];
      } else {
        next += DigitCount(position);
        WriteDecimal(next, position);
        *next++ = ',';
      }
    }
  }
  out.resize(start + static_cast<std::size_t>(next - first) - 1);
}

void AppendResultLine(std::string& out, const std::uint64_t* sources, std::int32_t rowCount,
                      const std::uint64_t* targets, std::int32_t columnCount) {
  AppendPosList(out, sources, rowCount);
  out += " : ";
  AppendPosList(out, targets, columnCount);
}
