// Wordsettableunit: a hash set of packed sets (Wordsetunit) for the consensus
// engine's inner loops.
#pragma once

#include <cstdint>
#include <vector>

#include "Platformunit.h"
#include "Wordsetunit.h"

// An open-addressing hash set of sets of a fixed word count, which live in
// the caller's store: set n at store + n * word count. A slot holds only the
// number and the high half of the hash (8 bytes), so that the table stays
// small next to the sets themselves. Lookups may run on several threads at
// once while nobody inserts.
class TWordSetTable {
public:
  explicit TWordSetTable(std::int32_t wordCount);

  std::int64_t Count() const { return Used; }
  // Makes room for `count` keys in all without growing again.
  void Reserve(std::int64_t count);
  // Forgets every key, keeping the room.
  void Clear();

  // `hash` is HashWords(key, word count) throughout, and `store` holds every
  // set added so far under its number.
  bool Contains(const std::uint64_t* store, const std::uint64_t* key, std::uint64_t hash) const;
  // Adds the set numbered `number` unless a set equal to `key` is present;
  // true when it was added. The caller puts `key` in the store under
  // `number` if it is not there yet. Pre: number < 2^32 - 1.
  bool Insert(const std::uint64_t* store, const std::uint64_t* key, std::uint64_t hash, std::uint32_t number);
  // Same as: every number n held becomes to[n]. Pre: `to` covers them all.
  void Renumber(const std::vector<std::uint32_t>& to);
  // Asks the processor to fetch the slot where a lookup of `hash` starts.
  void Prefetch(std::uint64_t hash) const { PrefetchRead(&Slots[Home(hash)]); }
  // Asks the processor to fetch the set in `store` that the slot where a
  // lookup of `hash` starts names, if that slot may hold it.
  void PrefetchSet(const std::uint64_t* store, std::uint64_t hash) const {
    const std::uint64_t slot = Slots[Home(hash)];
    if (slot != 0 && slot >> 32 == hash >> 32) {
      PrefetchRead(store + ((slot & 0xFFFFFFFFull) - 1) * static_cast<std::size_t>(Words));
    }
  }

private:
  std::int32_t Words;
  std::size_t Mask = 0;
  std::int64_t Used = 0;
  // Slot: the high 32 bits of the hash, then number + 1; 0 for a free slot.
  std::vector<std::uint64_t> Slots;

  // The first slot to probe, from the hash bits that the slot keeps, so that
  // growing needs no set. Tables stay below 2^32 slots.
  static std::size_t Home(std::uint64_t hashOrSlot, std::size_t mask) {
    return static_cast<std::size_t>(hashOrSlot >> 32) & mask;
  }
  std::size_t Home(std::uint64_t hash) const { return Home(hash, Mask); }
  void Grow(std::size_t slotCount);
};
