#include "Wordsettableunit.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

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
