// Mylib: byte-level bit helpers and the small text conversions that the bit
// array's text forms rest on. Bits of a byte are numbered 0..7 from the most
// significant end: bit 0 has the value 128, bit 7 the value 1.
#pragma once

#include <cstdint>
#include <string>

// The bit `bit` (0..7) of `byte`, as 0 or 1.
int GetByteBit(int bit, std::uint8_t byte);

// Writes `value` into bit `bit` (0..7) of *byte; the other seven bits stay.
void SetByteBit(int bit, bool value, std::uint8_t* byte);

// Plain decimal text of `value` ("%ld"): "-" for negatives, no padding.
std::string LongToStr(std::int32_t value);

// The eight binary digits of `value`, most significant bit first.
std::string ByteToBinStr(std::uint8_t value);

// Packs up to eight characters "0"/"1" into `value`, the first character into
// the most significant bit, missing low bits 0. Returns false, leaving `value`
// untouched, for a text of more than eight characters. Any other character
// makes the result false, resets the byte and the walk goes on, so `value` then
// holds only the digits after the last bad character.
bool BinStrToByte(std::string text, std::uint8_t& value);
