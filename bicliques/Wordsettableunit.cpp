#include "Wordsettableunit.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

constexpr std::size_t BlockWords = std::size_t{1} << 17;

} // namespace

TWordSetTable::TWordSetTable(std::int32_t wordCount)
    : WordsPerSet(wordCount), WholeHash(wordCount == 1),
      BlockShift(static_cast<std::size_t>(std::countr_zero(std::bit_floor(std::max<std::size_t>(
          1, BlockWords / std::max<std::size_t>(1, static_cast<std::size_t>(wordCount))))))),
      BlockMask((std::size_t{1} << BlockShift) - 1) {
  Grow(16);
}

void TWordSetTable::Reserve(std::int64_t count) {
  // Linear probing stays short below half load.
  std::size_t slots = Mask + 1;
  while (static_cast<std::size_t>(count) * 2 > slots)
    slots *= 2;
  if (slots != Mask + 1) Grow(slots);
}

void TWordSetTable::Clear() {
  std::fill(Slots.get(), Slots.get() + Mask + 1, 0);
  Blocks.clear();
  Used = 0;
  NextId = 0;
  ZeroHashHeld = false;
}

bool TWordSetTable::Insert(const std::uint64_t* key, std::uint64_t hash) {
  assert(NextId < 0xFFFFFFFFu);
  if (static_cast<std::size_t>(Used + 1) * 2 > Mask + 1) Grow(2 * (Mask + 1));
  if (WholeHash) {
    if (hash == 0) {
      if (ZeroHashHeld) return false;
      ZeroHashHeld = true;
      Store(key);
      return true;
    }
    for (std::size_t at = Home(hash);; at = (at + 1) & Mask) {
      const std::uint64_t slot = Slots[at];
      if (slot == hash) return false;
      if (slot == 0) {
        Slots[at] = hash;
        Store(key);
        return true;
      }
    }
  }
  const std::uint64_t high = hash >> 32;
  for (std::size_t at = Home(hash);; at = (at + 1) & Mask) {
    const std::uint64_t slot = Slots[at];
    if (slot == 0) {
      Slots[at] = (high << 32) | (std::uint64_t{NextId} + 1);
      Store(key);
      return true;
    }
    if (slot >> 32 == high && SameWords(key, Set(static_cast<std::uint32_t>(slot - 1)))) return false;
  }
}

void TWordSetTable::Store(const std::uint64_t* key) {
  const auto words = static_cast<std::size_t>(WordsPerSet);
  if ((NextId & BlockMask) == 0) {
    Blocks.emplace_back();
    Blocks.back().reserve((BlockMask + 1) * words);
  }
  Blocks.back().insert(Blocks.back().end(), key, key + words);
  ++NextId;
  ++Used;
}

std::uint32_t TWordSetTable::Adopt(TWordSetTable& other) {
  assert(other.WordsPerSet == WordsPerSet);
  // The other's blocks follow ours; a partly filled last block of ours keeps
  // its unused ids.
  const auto offset = static_cast<std::uint32_t>(Blocks.size() << BlockShift);
  assert(other.Blocks.size() <= (std::size_t{0xFFFFFFFFu} >> BlockShift) - Blocks.size());
  Reserve(Used + other.Used);
  for (auto& block : other.Blocks)
    Blocks.push_back(std::move(block));
  for (std::size_t k = 0; k <= other.Mask; ++k) {
    const std::uint64_t slot = other.Slots[k];
    if (slot == 0) continue;
    // Whole hashes carry no id.
    const std::uint64_t moved = WholeHash ? slot : slot + offset;
    std::size_t at = Home(moved, Mask);
    while (Slots[at] != 0)
      at = (at + 1) & Mask;
    Slots[at] = moved;
  }
  Used += other.Used;
  NextId =
      other.NextId == 0 ? static_cast<std::uint32_t>(Blocks.size() << BlockShift) : other.NextId + offset;
  ZeroHashHeld = ZeroHashHeld || other.ZeroHashHeld;
  other.ZeroHashHeld = false;
  other.Blocks.clear();
  other.Used = 0;
  other.NextId = 0;
  other.Slots.reset();
  other.Grow(16);
  return offset;
}

std::unique_ptr<std::uint64_t[], TWordSetTable::TFree> TWordSetTable::FreeSlots(std::size_t count) {
  auto* slots = static_cast<std::uint64_t*>(std::calloc(count, sizeof(std::uint64_t)));
  if (slots == nullptr) throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
  // Slots are touched all over: large pages spare the kernel most of the
  // page faults. Only whole large pages inside the array are marked.
  constexpr std::uintptr_t large = std::uintptr_t{1} << 21;
  const auto begin = (reinterpret_cast<std::uintptr_t>(slots) + large - 1) & ~(large - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(slots + count)) & ~(large - 1);
  if (begin < end) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
  return std::unique_ptr<std::uint64_t[], TFree>(slots);
}

void TWordSetTable::Grow(std::size_t slotCount) {
  std::unique_ptr<std::uint64_t[], TFree> old = FreeSlots(slotCount);
  old.swap(Slots);
  const std::size_t oldCount = old ? Mask + 1 : 0;
  Mask = slotCount - 1;
  for (std::size_t k = 0; k < oldCount; ++k) {
    const std::uint64_t slot = old[k];
    if (slot == 0) continue;
    std::size_t at = Home(slot, Mask);
    while (Slots[at] != 0)
      at = (at + 1) & Mask;
    Slots[at] = slot;
  }
}
