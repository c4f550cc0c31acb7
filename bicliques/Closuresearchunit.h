// Closuresearchunit: the search of the closure engine, close-by-one over bit
// sets on several threads, with subtrees handed to idle workers. The engine
// (Closureunit) prepares the matrix as a TContext and keeps what the search
// found for its read-back.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Engineunit.h"
#include "Runcontrolunit.h"
#include "Wordsetunit.h"

namespace closure {

inline constexpr std::uint64_t AllBits = ~std::uint64_t{0};
// Step depths of nodes that are no result (whose children start a chain),
// and of results whose extent is found from the matrix without touching the
// chain: those below a node that the bounds left out.
inline constexpr std::int32_t NoResult = -1;
inline constexpr std::int32_t Alone = -2;
// Sets the first `size` bits of `set`, and clears the spare bits of its last word.
inline void FillAll(std::uint64_t* set, std::int32_t size) {
  const std::int32_t words = WordCount(size);
  std::fill(set, set + words, AllBits);
  if (words > 0) set[words - 1] &= LastWordMask(size);
}

// The matrix as the search sees it: objects and attributes, the attributes
// being the extension side, and the size bounds on both.
struct TContext {
  std::int32_t Objects;
  std::int32_t Attributes;
  std::int32_t ObjectWords;
  std::int32_t AttributeWords;
  const std::uint64_t* ObjectSets;    // object o: its attributes
  const std::uint64_t* AttributeSets; // attribute j: its objects
  // On the transpose a child without objects is still a result: the set of
  // all sources with the empty target set.
  bool KeepEmptyExtent;
  bool Transposed;
  std::int32_t MinExtent;
  std::int32_t MaxIntent;
  TBounds Bounds; // on sources and targets
  bool Unbounded; // the bounds admit every result
};

// What a search found when it stored its results.
struct TFound {
  std::vector<std::uint64_t> Sets; // stored intents, AttributeWords words each
  std::vector<std::int32_t> Steps; // per stored intent: depth, attribute (see Closureunit.cpp)
  std::int64_t Count = 0;          // results, stored or streamed
};

// Searches every closed pair of `context` that its bounds admit, on
// config.Threads workers, and hands each to config.Stream or stores it.
// Throws TCancelled on a stop request, or the first exception of any worker,
// once every worker has ended. Borrows `context` and `control` for the call.
TFound Search(const TContext& context, const TRunConfig& config, TRunControl& control);

} // namespace closure
