// Poslistunit: fast text of bit sets held as 64-bit words, for result lines.
//
// Word layout used by every fast unit: a set of `size` bits is
// (size + 63) / 64 words, bit i at words[i / 64] & (std::uint64_t{1} << (63 - i % 64)),
// so the lowest index is the most significant bit and comparing words as
// unsigned integers orders sets as TBitArray::Compare does. Bits at or beyond
// `size` in the last word are 0.
#pragma once

#include <cstdint>
#include <string>

// Number of words holding `size` bits. Pre: size >= 0.
constexpr std::int32_t WordCount(std::int32_t size) { return (size + 63) / 64; }

// The word bit of index i. Pre: i >= 0.
constexpr std::uint64_t WordBit(std::int32_t i) { return std::uint64_t{1} << (63 - i % 64); }

// Appends the 1-based positions of the set bits of `words` (`size` bits),
// ascending, joined by ","; nothing for the empty set. Same text as
// TBitArray::ToPosList of the same set.
void AppendPosList(std::string& out, const std::uint64_t* words, std::int32_t size);

// Appends one result line without its line break: the sources' position list,
// " : ", the targets' position list.
void AppendResultLine(std::string& out, const std::uint64_t* sources, std::int32_t rowCount,
                      const std::uint64_t* targets, std::int32_t columnCount);
