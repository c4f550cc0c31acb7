// Wordsetunit: vertex sets packed into 64-bit words, the form every fast path
// works on.
//
// Layout: a set of `size` bits is WordCount(size) words; bit i lives in
// words[i / 64] under WordBit(i) = 1 << (63 - i % 64), so the lowest index is
// the most significant bit. This is the big-endian reading of a TBitArray's
// bytes, and for sets whose bits at or beyond `size` are 0, comparing the
// words as unsigned numbers from word 0 up orders sets as TBitArray::Compare.
#pragma once

#include <bit>
#include <cassert>
#include <cstdint>

#include "Tbitarrayunit.h"

// Number of words holding `size` bits; 0 for 0 bits. Pre: size >= 0.
constexpr std::int32_t WordCount(std::int32_t size) {
  assert(size >= 0);
  return (size + 63) / 64;
}

// The word bit of index i. Pre: i >= 0.
constexpr std::uint64_t WordBit(std::int32_t i) { return std::uint64_t{1} << (63 - i % 64); }

// The bits of the last word of a `size`-bit set that belong to an index.
// Pre: size > 0.
constexpr std::uint64_t LastWordMask(std::int32_t size) {
  return size % 64 == 0 ? ~std::uint64_t{0} : ~(~std::uint64_t{0} >> (size % 64));
}

inline bool HasBit(const std::uint64_t* words, std::int32_t i) { return (words[i / 64] & WordBit(i)) != 0; }
inline void SetBit(std::uint64_t* words, std::int32_t i) { words[i / 64] |= WordBit(i); }

// Number of set bits in `count` words.
inline std::int32_t CountBits(const std::uint64_t* words, std::int32_t count) {
  std::int32_t bits = 0;
  for (std::int32_t w = 0; w < count; ++w)
    bits += std::popcount(words[w]);
  return bits;
}

// Calls visit(i) for every set bit i of words [from, to), ascending.
template <typename TVisit>
inline void ForEachBit(const std::uint64_t* words, std::int32_t from, std::int32_t to, TVisit&& visit) {
  for (std::int32_t w = from; w < to; ++w) {
    for (std::uint64_t word = words[w]; word != 0;) {
      const int zeros = std::countl_zero(word);
      word &= ~(std::uint64_t{1} << (63 - zeros));
      visit(w * 64 + zeros);
    }
  }
}

// Calls visit(i) for every set bit i of `count` words, ascending.
template <typename TVisit>
inline void ForEachBit(const std::uint64_t* words, std::int32_t count, TVisit&& visit) {
  ForEachBit(words, 0, count, visit);
}

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

// Same as: words[k] = bytes 8k .. 8k+7 of `array` read big-endian, missing
// bytes 0, for k from 0 to wordCount-1. Spare bits are carried along.
// Pre: wordCount * 8 >= the array's byte count.
void PackBytes(const TBitArray* array, std::uint64_t* words, std::int32_t wordCount);
// The reverse of PackBytes: writes every storage byte of `array` from `words`.
void UnpackWords(const std::uint64_t* words, TBitArray* array);
