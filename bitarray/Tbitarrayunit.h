// Tbitarrayunit: TBitArray, the fixed-length bit array that holds one matrix
// row, one matrix column or one candidate set.
//
// Layout: bit i lives in Bytes[i / 8] under the mask 128 >> (i % 8), so bit 0
// is the most significant bit of byte 0. The low 8 * Bytes.size() - Size bits
// of the last byte ("spare bits") belong to no index: they are 0 after
// construction and after FromBinStr, 1 after SetAll, and carried along by And
// and CopyTo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TBitArray {
public:
  std::int32_t Size;               // length in bits, fixed at construction
  std::int32_t Tag = -1;           // kept for the array's user; no operation here reads it
  std::vector<std::uint8_t> Bytes; // (Size + 7) / 8 storage bytes, owned

  // All bits 0, Tag -1. Pre: size >= 0.
  explicit TBitArray(std::int32_t size);
  // A copy is made on purpose: a new array of the same Size, then CopyTo.
  TBitArray(const TBitArray&) = delete;
  TBitArray& operator=(const TBitArray&) = delete;

  // Pre: 0 <= index < Size.
  bool Get(std::int32_t index) const;
  void Set(std::int32_t index, bool value);

  // Every storage byte becomes 255, spare bits included.
  void SetAll();
  // Same as: dest->Bytes[k] = Bytes[k] for every byte k of this array; dest's
  // Size and Tag stay. Pre: dest has at least as many bytes.
  void CopyTo(TBitArray* dest) const;
  // Same as: Bytes[k] &= other->Bytes[k] for every byte k, spare bits
  // included. Pre: other has at least as many bytes.
  void And(const TBitArray* other);
  // -1, 0 or +1: for equal sizes with spare bits 0, the lexicographic order of
  // the bits from bit 0 up, 0 before 1. Arrays of 8 bits or more compare whole
  // bytes, spare bits included; shorter ones only their Size bits.
  // Pre: other has at least as many bytes.
  int Compare(const TBitArray* other) const;

  // Fills the bytes from groups of eight "0"/"1" characters. After the first
  // invalid group nothing more is converted and the result is false. Size
  // never changes. Pre: text has at most 8 * Bytes.size() characters.
  bool FromBinStr(std::string text);
  // Size characters "0"/"1", bit 0 first.
  std::string ToBinStr() const;
  // 1-based positions of the set bits, ascending, joined by ","; "" if none.
  std::string ToPosList() const;
};
