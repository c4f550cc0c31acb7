// Poslistunit: fast text of packed sets (Wordsetunit), for result lines. Bits
// at or beyond a set's size in its last word are 0.
#pragma once

#include <cstdint>
#include <string>

#include "Engineunit.h"
#include "Wordsetunit.h"

// Appends the 1-based positions of the set bits of `words` (`size` bits),
// ascending, joined by ","; nothing for the empty set. Same text as
// TBitArray::ToPosList of the same set.
void AppendPosList(std::string& out, const std::uint64_t* words, std::int32_t size);

// Calls visit(v) for every member v of `set`, a set of `size` vertices,
// ascending, whichever form the set has.
template <typename TVisit> void ForEachMember(const TVertexSet& set, std::int32_t size, TVisit&& visit) {
  if (set.Words != nullptr) {
    ForEachBit(set.Words, WordCount(size), visit);
    return;
  }
  for (std::int32_t k = 0; k < set.Count; ++k)
    visit(set.Members[k]);
}

// How the vertices of one side are shown: vertex v as Ids[v] when Ids is not
// null, else as v + 1.
struct TSideNumbers {
  std::int32_t Size = 0;             // vertices on the side
  const std::int64_t* Ids = nullptr; // borrowed
};

// Appends the shown numbers of the members of `set`, ascending, joined by ",";
// nothing for the empty set.
void AppendSide(std::string& out, const TVertexSet& set, const TSideNumbers& side);

// Appends one result line without its line break: the sources' list, " : ",
// the targets' list.
void AppendResultLine(std::string& out, const TVertexSet& sources, const TSideNumbers& sourceSide,
                      const TVertexSet& targets, const TSideNumbers& targetSide);
