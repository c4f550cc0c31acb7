#include "Poslistunit.h"

#include <bit>
#include <cstring>

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

// Writes `value` in decimal ending just before `end`, two digits per step;
// returns the first written character.
char* WriteDecimalBackwards(char* end, std::uint32_t value) {
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
  return end;
}

} // namespace

void AppendPosList(std::string& out, const std::uint64_t* words, std::int32_t size) {
  const std::int32_t wordCount = WordCount(size);
  std::size_t bits = 0;
  for (std::int32_t w = 0; w < wordCount; ++w)
    bits += static_cast<std::size_t>(std::popcount(words[w]));
  if (bits == 0) return;

  // Room for the longest possible text, trimmed afterwards: one resize and
  // no per-number allocation.
  const std::size_t start = out.size();
  const auto widest = static_cast<std::size_t>(DigitCount(static_cast<std::uint32_t>(size)));
  out.resize(start + bits * (widest + 1));
  char* const first = out.data() + start;
  char* next = first;
  char digits[16];
  char* const digitsEnd = digits + sizeof digits;
  for (std::int32_t w = 0; w < wordCount; ++w) {
    std::uint64_t word = words[w];
    while (word != 0) {
      const int zeros = std::countl_zero(word);
      word &= ~(std::uint64_t{1} << (63 - zeros));
      const auto position = static_cast<std::uint32_t>(w) * 64 + static_cast<std::uint32_t>(zeros) + 1;
      const char* text = WriteDecimalBackwards(digitsEnd, position);
      const auto length = static_cast<std::size_t>(digitsEnd - text);
      std::memcpy(next, text, length);
      next += length;
      *next++ = ',';
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
