// Bitarraylistunit: TBitArrayList, a sorted set of bit arrays.
#pragma once

#include <cstdint>
#include <vector>

#include "Tbitarrayunit.h"

class TBitArrayList {
public:
  // Ascending in Compare order, no two equal. Borrows: the list never makes,
  // copies or releases an array, and one array may stand in several lists.
  std::vector<TBitArray*> Items;

  std::int32_t ItemCount() const;
  // True when an item equal to `probe` is present, `position` then being its
  // index; otherwise `position` is where `probe` would be inserted.
  bool Find(const TBitArray* probe, std::int32_t& position) const;
  // Index of the item equal to `probe`, or -1.
  std::int32_t IndexOf(const TBitArray* probe) const;
  // Inserts `item` at its sorted place unless an equal item is present.
  void AddUnique(TBitArray* item);
  // Inserts before the item at `position` (0..ItemCount()).
  void InsertAt(TBitArray* item, std::int32_t position);
};
