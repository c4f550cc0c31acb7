#include "Wordsetunit.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

std::int32_t PackedWordCount(std::int32_t bits) { return std::max<std::int32_t>(1, (bits + 63) / 64); }

void PackBytes(const TBitArray* array, std::uint64_t* words, std::int32_t wordCount) {
  const std::size_t byteCount = array->Bytes.size();
  assert(byteCount <= static_cast<std::size_t>(wordCount) * 8);
  for (std::size_t k = 0; k < static_cast<std::size_t>(wordCount); ++k) {
    std::uint64_t word = 0;
    for (std::size_t b = 0; b < 8; ++b) {
      const std::size_t at = 8 * k + b;
      const std::uint64_t byte = at < byteCount ? array->Bytes[at] : 0;
      word |= byte << (56 - 8 * b);
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
    std::uint64_t word = words[at / 8];
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    std::memcpy(bytes + at, &word, 8);
  }
  for (; at < byteCount; ++at)
    bytes[at] = static_cast<std::uint8_t>(words[at / 8] >> (56 - 8 * (at % 8)));
}

namespace {

bool SameWords(const std::uint64_t* a, const std::uint64_t* b, std::int32_t count) {
  std::uint64_t differ = 0;
  for (std::int32_t k = 0; k < count; ++k)
    differ |= a[k] ^ b[k];
  return differ == 0;
}

} // namespace

TWordSetTable::TWordSetTable(std::int32_t wordCount) : Words(wordCount) { Grow(16); }

void TWordSetTable::Reserve(std::int64_t count) {
  // Linear probing stays short below half load.
  std::size_t slots = Mask + 1;
  while (static_cast<std::size_t>(count) * 2 > slots)
    slots *= 2;
  if (slots != Mask + 1) Grow(slots);
}

void TWordSetTable::Clear() {
  std::fill(Slots.begin(), Slots.end(), 0);
  Used = 0;
}

bool TWordSetTable::Contains(const std::uint64_t* store, const std::uint64_t* key, std::uint64_t hash) const {
  const std::uint64_t high = hash >> 32;
  const auto words = static_cast<std::size_t>(Words);
  for (std::size_t at = Home(hash);; at = (at + 1) & Mask) {
    const std::uint64_t slot = Slots[at];
    if (slot == 0) return false;
    if (slot >> 32 == high && SameWords(key, store + ((slot & 0xFFFFFFFFull) - 1) * words, Words))
      return true;
  }
}

bool TWordSetTable::Insert(const std::uint64_t* store, const std::uint64_t* key, std::uint64_t hash,
                           std::uint32_t number) {
  if (static_cast<std::size_t>(Used + 1) * 2 > Mask + 1) Grow(2 * (Mask + 1));
  const std::uint64_t high = hash >> 32;
  const auto words = static_cast<std::size_t>(Words);
  for (std::size_t at = Home(hash);; at = (at + 1) & Mask) {
    const std::uint64_t slot = Slots[at];
    if (slot == 0) {
      Slots[at] = (high << 32) | (std::uint64_t{number} + 1);
      ++Used;
      return true;
    }
    if (slot >> 32 == high && SameWords(key, store + ((slot & 0xFFFFFFFFull) - 1) * words, Words))
      return false;
  }
}

void TWordSetTable::Renumber(const std::vector<std::uint32_t>& to) {
  constexpr std::uint64_t numberBits = 0xFFFFFFFFull;
  for (std::uint64_t& slot : Slots) {
    if (slot != 0) slot = (slot & ~numberBits) | (std::uint64_t{to[(slot & numberBits) - 1]} + 1);
  }
}

void TWordSetTable::Grow(std::size_t slotCount) {
  std::vector<std::uint64_t> old(slotCount, 0);
  old.swap(Slots);
  Mask = slotCount - 1;
  for (const std::uint64_t slot : old) {
    if (slot == 0) continue;
    std::size_t at = Home(slot, Mask);
    while (Slots[at] != 0)
      at = (at + 1) & Mask;
    Slots[at] = slot;
  }
}
