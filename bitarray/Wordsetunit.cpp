#include "Wordsetunit.h"

#include <cstring>

#include "Platformunit.h"

void PackBytes(const TBitArray* array, std::uint64_t* words, std::int32_t wordCount) {
  const std::size_t byteCount = array->Bytes.size();
  assert(byteCount <= static_cast<std::size_t>(wordCount) * 8);
  const std::uint8_t* bytes = array->Bytes.data();
  std::size_t at = 0;
  for (; at + 8 <= byteCount; at += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + at, 8);
    words[at / 8] = BigEndianWord(word);
  }
  for (std::size_t k = at / 8; k < static_cast<std::size_t>(wordCount); ++k) {
    std::uint64_t word = 0;
    for (std::size_t b = 0; b < 8; ++b) {
      const std::size_t byte = 8 * k + b;
      if (byte < byteCount) word |= std::uint64_t{bytes[byte]} << (56 - 8 * b);
    }
    words[k] = word;
  }
}

void UnpackWords(const std::uint64_t* words, TBitArray* array) {
  std::uint8_t* bytes = array->Bytes.data();
  const std::size_t byteCount = array->Bytes.size();
  std::size_t at = 0;
  // Whole words at once: a word's bytes from the most significant down.
  for (; at + 8 <= byteCount; at += 8) {
    const std::uint64_t word = BigEndianWord(words[at / 8]);
    std::memcpy(bytes + at, &word, 8);
  }
  for (; at < byteCount; ++at)
    bytes[at] = static_cast<std::uint8_t>(words[at / 8] >> (56 - 8 * (at % 8)));
}
