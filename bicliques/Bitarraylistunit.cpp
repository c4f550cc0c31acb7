#include "Bitarraylistunit.h"

#include <cassert>

std::int32_t TBitArrayList::ItemCount() const { return static_cast<std::int32_t>(Items.size()); }

bool TBitArrayList::Find(const TBitArray* probe, std::int32_t& position) const {
  std::int32_t lo = 0;
  std::int32_t hi = ItemCount() - 1;
  while (hi >= lo) {
    const std::int32_t mid = lo + (hi - lo) / 2;
    const int c = probe->Compare(Items[static_cast<std::size_t>(mid)]);
    if (c == 0) {
      position = mid;
      return true;
    }
    if (c < 0) {
      hi = mid - 1;
    } else {
      lo = mid + 1;
    }
  }
  position = lo;
  return false;
}

std::int32_t TBitArrayList::IndexOf(const TBitArray* probe) const {
  std::int32_t position = 0;
  return Find(probe, position) ? position : -1;
}

void TBitArrayList::AddUnique(TBitArray* item) {
  std::int32_t position = 0;
  if (!Find(item, position)) InsertAt(item, position);
}

void TBitArrayList::InsertAt(TBitArray* item, std::int32_t position) {
  assert(position >= 0 && position <= ItemCount());
  Items.insert(Items.begin() + position, item);
}
