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

std::int32_t DigitCount(std::uint64_t value) {
  std::int32_t digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

// Writes `value` in decimal with its last digit just before `end`, two digits
// per step.
void WriteDecimal(char* end, std::uint64_t value) {
  while (value >= 100) {
    const auto pair = static_cast<std::size_t>(value % 100) * 2;
    value /= 100;
    *--end = DigitPairs[pair + 1];
    *--end = DigitPairs[pair];
  }
  if (value >= 10) {
    *--end = DigitPairs[static_cast<std::size_t>(value) * 2 + 1];
    *--end = DigitPairs[static_cast<std::size_t>(value) * 2];
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
    for (std::uint32_t position = 0; position < TabledPositions; ++position) {
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

// Writes position `position` and a "," at `next`; returns the end. There is
// room for a table store of eight bytes.
char* WritePosition(char* next, std::uint64_t position, const TPositionTable& table) {
  if (position < TabledPositions) {
    std::memcpy(next, &table.Text[position], sizeof(std::uint64_t));
    return next + table.Length[position];
  }
  const std::int32_t digits = DigitCount(position);
  WriteDecimal(next + digits, position);
  next[digits] = ',';
  return next + digits + 1;
}

} // namespace

void AppendPosList(std::string& out, const std::uint64_t* words, std::int32_t size) {
  const std::int32_t wordCount = WordCount(size);
  const auto bits = static_cast<std::size_t>(CountBits(words, wordCount));
  if (bits == 0) return;

  // Room for the longest possible text and one table store past it, trimmed
  // afterwards: one resize and no per-number allocation.
  const std::size_t start = out.size();
  const auto widest = static_cast<std::size_t>(DigitCount(static_cast<std::uint64_t>(size)));
  out.resize(start + bits * (widest + 1) + sizeof(std::uint64_t));
  char* const first = out.data() + start;
  char* next = first;
  const TPositionTable& table = PositionTable();
  ForEachBit(words, wordCount,
             [&](std::int32_t i) { next = WritePosition(next, static_cast<std::uint64_t>(i) + 1, table); });
  out.resize(start + static_cast<std::size_t>(next - first) - 1);
}

void AppendSide(std::string& out, const TVertexSet& set, const TSideNumbers& side) {
  if (set.Words != nullptr && side.Ids == nullptr) {
    AppendPosList(out, set.Words, side.Size);
    return;
  }
  const std::size_t start = out.size();
  const TPositionTable& table = PositionTable();
  // Numbers are written into a local buffer and appended a few kilobytes at
  // a time: one append per number costs more than writing it. A shown
  // number has at most 20 digits; a table store writes eight bytes.
  constexpr std::size_t Room = 4096;
  constexpr std::size_t Widest = 32;
  char buffer[Room];
  char* next = buffer;
  auto write = [&](std::int32_t v) {
    if (next > buffer + Room - Widest) {
      out.append(buffer, static_cast<std::size_t>(next - buffer));
      next = buffer;
    }
    const std::uint64_t shown =
        side.Ids != nullptr ? static_cast<std::uint64_t>(side.Ids[v]) : static_cast<std::uint64_t>(v) + 1;
    next = WritePosition(next, shown, table);
  };
  ForEachMember(set, side.Size, write);
  out.append(buffer, static_cast<std::size_t>(next - buffer));
  if (out.size() > start) out.pop_back(); // the last ","
}

void AppendResultLine(std::string& out, const TVertexSet& sources, const TSideNumbers& sourceSide,
                      const TVertexSet& targets, const TSideNumbers& targetSide) {
  AppendSide(out, sources, sourceSide);
  out += " : ";
  AppendSide(out, targets, targetSide);
}
