// Platformunit: the few processor-specific steps of the inner loops, each with
// a plain fallback, so that the core builds for any target. CPU features are
// detected once.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BICLIQUES_X86 1
#else
#define BICLIQUES_X86 0
#endif

// Asks the processor to fetch the cache line at `address` for reading; does
// nothing where there is no such hint.
inline void PrefetchRead(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

// The bytes of `word` in reverse order.
inline std::uint64_t ByteSwap(std::uint64_t word) {
#if defined(__GNUC__)
  return __builtin_bswap64(word);
#else
  std::uint64_t swapped = 0;
  for (int k = 0; k < 8; ++k, word >>= 8)
    swapped = swapped << 8 | (word & 0xFF);
  return swapped;
#endif
}

// `word` read as if its bytes were stored most significant first.
inline std::uint64_t BigEndianWord(std::uint64_t word) {
  if constexpr (std::endian::native == std::endian::little) return ByteSwap(word);
  return word;
}

// True when the processor gathers bits in one instruction (BMI2 pext).
inline bool HasBitGather() {
#if BICLIQUES_X86 && defined(__GNUC__)
  static const bool has = __builtin_cpu_supports("bmi2");
  return has;
#else
  return false;
#endif
}

// The bits of `value` under `mask`, packed towards bit 0 in their order: the
// plain form of pext, for targets without it.
inline std::uint64_t GatherBitsPlain(std::uint64_t value, std::uint64_t mask) {
  std::uint64_t gathered = 0;
  std::uint64_t out = 1;
  for (; mask != 0; mask &= mask - 1, out <<= 1) {
    if ((value & mask & -mask) != 0) gathered |= out;
  }
  return gathered;
}

// Marks a function whose body may use GatherBits on processors with BMI2;
// callers make sure HasBitGather() before they call it.
#if BICLIQUES_X86 && defined(__GNUC__)
#define BICLIQUES_BIT_GATHER_TARGET __attribute__((target("bmi2")))
inline BICLIQUES_BIT_GATHER_TARGET std::uint64_t GatherBits(std::uint64_t value, std::uint64_t mask) {
  return _pext_u64(value, mask);
}
#else
#define BICLIQUES_BIT_GATHER_TARGET
inline std::uint64_t GatherBits(std::uint64_t value, std::uint64_t mask) {
  return GatherBitsPlain(value, mask);
}
#endif
