#include "Tbitarrayunit.h"

#include <algorithm>
#include <cassert>

#include "Mylib.h"

TBitArray::TBitArray(std::int32_t size) : Size(size) {
  assert(size >= 0);
  Bytes.resize(static_cast<std::size_t>((size + 7) / 8), 0);
}

bool TBitArray::Get(std::int32_t index) const {
  assert(index >= 0 && index < Size);
  return GetByteBit(index % 8, Bytes[static_cast<std::size_t>(index / 8)]) != 0;
}

void TBitArray::Set(std::int32_t index, bool value) {
  assert(index >= 0 && index < Size);
  SetByteBit(index % 8, value, &Bytes[static_cast<std::size_t>(index / 8)]);
}

void TBitArray::SetAll() {
  for (auto& byte : Bytes)
    byte = 255;
}

void TBitArray::CopyTo(TBitArray* dest) const {
  assert(dest->Bytes.size() >= Bytes.size());
  for (std::size_t k = 0; k < Bytes.size(); ++k)
    dest->Bytes[k] = Bytes[k];
}

void TBitArray::And(const TBitArray* other) {
  assert(other->Bytes.size() >= Bytes.size());
  for (std::size_t k = 0; k < Bytes.size(); ++k)
    Bytes[k] &= other->Bytes[k];
}

int TBitArray::Compare(const TBitArray* other) const {
  assert(other->Bytes.size() >= Bytes.size());
  if (Size >= 8) {
    for (std::size_t k = 0; k < Bytes.size(); ++k) {
      if (Bytes[k] != other->Bytes[k]) return Bytes[k] < other->Bytes[k] ? -1 : 1;
    }
    return 0;
  }
  const int r = Size % 8;
  if (r == 0) return 0;
  const int mine = Bytes[0] >> (8 - r);
  const int theirs = other->Bytes[0] >> (8 - r);
  return mine < theirs ? -1 : (mine > theirs ? 1 : 0);
}

bool TBitArray::FromBinStr(std::string text) {
  assert(text.size() <= 8 * Bytes.size());
  bool ok = true;
  // Walks the text by offset rather than cutting groups off its front, so a
  // long line costs linear time.
  for (std::size_t start = 0, k = 0; start < text.size(); start += 8, ++k) {
    if (ok) ok = BinStrToByte(text.substr(start, 8), Bytes[k]);
  }
  return ok;
}

std::string TBitArray::ToBinStr() const {
  std::string text;
  text.reserve(8 * Bytes.size());
  for (const auto byte : Bytes)
    text += ByteToBinStr(byte);
  text.resize(std::min(text.size(), static_cast<std::size_t>(Size)));
  return text;
}

std::string TBitArray::ToPosList() const {
  const std::string bits = ToBinStr();
  std::string list;
  for (std::size_t p = 0; p < bits.size(); ++p) {
    if (bits[p] != '1') continue;
    if (!list.empty()) list += ',';
    list += LongToStr(static_cast<std::int32_t>(p + 1));
  }
  return list;
}
