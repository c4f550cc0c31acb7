// Wordsettableunit: a hash set of packed sets (Wordsetunit) that holds the
// sets themselves, for the consensus engine's lists and inner loops.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "Platformunit.h"
#include "Wordsetunit.h"

// An open-addressing hash set of sets of a fixed word count. It owns the
// sets, in blocks that never move: a pointer from Set stays valid until Clear
// or destruction. Each set has an id, its place in the blocks; a table that
// only inserts numbers its sets 0, 1, ... in the order they were added, and
// Adopt takes over another table's blocks whole, so that sets found elsewhere
// join without being copied. A slot holds only the id and the high half of
// the hash (8 bytes), so that the table stays small next to the sets. In a
// table of one-word sets a slot holds the whole hash instead: HashWords of
// one word is a bijection (each of its steps is), so the hash names the set
// and a lookup reads no set.
// Lookups may run on several threads at once while nobody changes the table.
class TWordSetTable {
public:
  explicit TWordSetTable(std::int32_t wordCount);

  std::int32_t Words() const { return WordsPerSet; }
  // Number of sets held.
  std::int64_t Count() const { return Used; }
  // The set of id `id`, Words() words. Pre: the table holds a set of that id.
  const std::uint64_t* Set(std::uint32_t id) const {
    return Blocks[id >> BlockShift].data() + (id & BlockMask) * static_cast<std::size_t>(WordsPerSet);
  }
  // Makes room for `count` sets in all without growing the slots again.
  void Reserve(std::int64_t count);
  // Forgets every set, keeping the slots' room.
  void Clear();

  // `hash` is HashWords(key, Words()) throughout.
  // Inline: the consensus scan calls it for every candidate.
  bool Contains(const std::uint64_t* key, std::uint64_t hash) const {
    if (WholeHash) return ContainsHash(hash);
    const std::uint64_t high = hash >> 32;
    for (std::size_t at = Home(hash);; at = (at + 1) & Mask) {
      const std::uint64_t slot = Slots[at];
      if (slot == 0) return false;
      if (slot >> 32 == high && SameWords(key, Set(static_cast<std::uint32_t>(slot - 1)))) return true;
    }
  }
  // Adds a copy of `key` unless an equal set is held; true when it was added.
  // Its id is then LastId(). Pre: the ids stay below 2^32 - 1.
  bool Insert(const std::uint64_t* key, std::uint64_t hash);
  std::uint32_t LastId() const { return NextId - 1; }
  // Takes every set of `other` (same Words(), no set equal to one held),
  // leaving `other` empty. Returns what other's ids have become: id + the
  // returned offset.
  std::uint32_t Adopt(TWordSetTable& other);
  // Asks the processor to fetch the slot where a lookup of `hash` starts.
  void Prefetch(std::uint64_t hash) const { PrefetchRead(&Slots[Home(hash)]); }
  // Asks the processor to fetch the set that the slot where a lookup of
  // `hash` starts names, if that slot may hold it.
  void PrefetchSet(std::uint64_t hash) const {
    if (WholeHash) return;
    const std::uint64_t slot = Slots[Home(hash)];
    if (slot != 0 && slot >> 32 == hash >> 32) PrefetchRead(Set(static_cast<std::uint32_t>(slot - 1)));
  }

private:
  std::int32_t WordsPerSet;
  // One word a set: slots hold whole hashes, and the set whose hash is 0
  // (free slots are 0) is marked by ZeroHashHeld instead of a slot.
  bool WholeHash;
  bool ZeroHashHeld = false;
  // Sets per block: a power of two, about 1 MiB of words.
  std::size_t BlockShift;
  std::size_t BlockMask;
  std::size_t Mask = 0;
  std::int64_t Used = 0;
  std::uint32_t NextId = 0; // the id the next insertion gets
  // Mask + 1 slots. Slot: the high 32 bits of the hash, then id + 1; 0 for a
  // free slot. From calloc, which leaves fresh pages to the kernel's zeroing.
  struct TFree {
    void operator()(std::uint64_t* slots) const { std::free(slots); }
  };
  std::unique_ptr<std::uint64_t[], TFree> Slots;
  // Each block's room is reserved whole when it is made, so sets never move;
  // pages a block has not reached yet are not touched.
  std::vector<std::vector<std::uint64_t>> Blocks;

  // The first slot to probe, from the hash bits that the slot keeps, so that
  // growing needs no set. Tables stay below 2^32 slots.
  static std::size_t Home(std::uint64_t hashOrSlot, std::size_t mask) {
    return static_cast<std::size_t>(hashOrSlot >> 32) & mask;
  }
  std::size_t Home(std::uint64_t hash) const { return Home(hash, Mask); }
  bool ContainsHash(std::uint64_t hash) const {
    if (hash == 0) return ZeroHashHeld;
    for (std::size_t at = Home(hash);; at = (at + 1) & Mask) {
      const std::uint64_t slot = Slots[at];
      if (slot == hash) return true;
      if (slot == 0) return false;
    }
  }
  bool SameWords(const std::uint64_t* a, const std::uint64_t* b) const {
    std::uint64_t differ = 0;
    for (std::int32_t k = 0; k < WordsPerSet; ++k)
      differ |= a[k] ^ b[k];
    return differ == 0;
  }
  void Grow(std::size_t slotCount);
  void Store(const std::uint64_t* key);
  // Slots for `count` keys, all free.
  static std::unique_ptr<std::uint64_t[], TFree> FreeSlots(std::size_t count);
};
