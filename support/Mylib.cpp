#include "Mylib.h"

#include <cstdio>

int GetByteBit(int bit, std::uint8_t byte) { return (byte >> (7 - bit)) & 1; }

void SetByteBit(int bit, bool value, std::uint8_t* byte) {
  const int current = GetByteBit(bit, *byte);
  if (current == static_cast<int>(value)) return;
  const auto mask = static_cast<std::uint8_t>(1u << (7 - bit));
  *byte = current ? static_cast<std::uint8_t>(*byte & ~mask) : static_cast<std::uint8_t>(*byte | mask);
}

std::string LongToStr(std::int32_t value) {
  char buffer[16];
  const int length = std::snprintf(buffer, sizeof buffer, "%ld", static_cast<long>(value));
  return std::string(buffer, static_cast<std::size_t>(length));
}

std::string ByteToBinStr(std::uint8_t value) {
  std::string text;
  for (int i = 0; i < 8; ++i) {
    text.insert(text.begin(), (value & 1) ? '1' : '0');
    value = static_cast<std::uint8_t>(value >> 1);
  }
  return text;
}

bool BinStrToByte(std::string text, std::uint8_t& value) {
  if (text.size() > 8) return false;
  bool ok = true;
  value = 0;
  for (const char c : text) {
    value = static_cast<std::uint8_t>(value << 1);
    if (c == '1') {
      value = static_cast<std::uint8_t>(value + 1);
    } else if (c != '0') {
      value = 0;
      ok = false;
    }
  }
  value = static_cast<std::uint8_t>(value << (8 - text.size()));
  return ok;
}
