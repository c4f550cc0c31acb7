// Wordsetunit: bit sets packed into 64-bit words for the engine's inner loops,
// and a hash set of such packed sets.
//
// Layout: bit i of a set lives in words[i / 64] under the mask
// 1ull << (63 - i % 64), which is the big-endian reading of a TBitArray's
// bytes. So for arrays whose spare bits are 0, comparing the words as unsigned
// numbers from word 0 up gives the same order as TBitArray::Compare.
#pragma once

#include <cstdint>
#include <vector>

#include "Tbitarrayunit.h"

// Number of words that hold `bits` bits; at least 1, so that even sets of no
// bits have a word to compare and hash (it stays 0).
std::int32_t PackedWordCount(std::int32_t bits);

// Same as: words[k] = bytes 8k .. 8k+7 of `array` read big-endian, missing
// bytes 0, for k from 0 to `words`-1. Spare bits are carried along.
void PackBytes(const TBitArray* array, std::uint64_t* words, std::int32_t wordCount);
// The reverse of PackBytes: writes every storage byte of `array` from `words`.
void UnpackWords(const std::uint64_t* words, TBitArray* array);

// -1, 0 or +1 as `a` sorts before, equals or sorts after `b`, both `count` words.
inline int CompareWords(const std::uint64_t* a, const std::uint64_t* b, std::int32_t count) {
  for (std::int32_t k = 0; k < count; ++k) {
    if (a[k] != b[k]) return a[k] < b[k] ? -1 : 1;
  }
  return 0;
}

// A well-mixed 64-bit hash of `count` words.
inline std::uint64_t HashWords(const std::uint64_t* words, std::int32_t count) {
  std::uint64_t h = 0x9E3779B97F4A7C15ull;
  for (std::int32_t k = 0; k < count; ++k) {
    h = (h ^ words[k]) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  h *= 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 29);
}

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
  void Prefetch(std::uint64_t hash) const { __builtin_prefetch(&Slots[Home(hash)]); }
  // Asks the processor to fetch the set in `store` that the slot where a
  // lookup of `hash` starts names, if that slot may hold it.
  void PrefetchSet(const std::uint64_t* store, std::uint64_t hash) const {
    const std::uint64_t slot = Slots[Home(hash)];
    if (slot != 0 && slot >> 32 == hash >> 32) {
      __builtin_prefetch(store + ((slot & 0xFFFFFFFFull) - 1) * static_cast<std::size_t>(Words));
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
