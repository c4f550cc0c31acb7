// Sparsebitsearchunit: the sparse search below a child whose database has
// few entries (at most 64). Entry i of that database is bit i: an item's
// mask says which entries hold it, a node's transactions are a mask, and a
// child's are its parent's ANDed with the mask of its item. The prefix test
// becomes: no item below the child's item outside the set holds every
// entry of the child. It lists the same sets as the list search would.
//
// The masks of the items below a node's item form an antichain (no mask a
// subset of another): a subset fails the test only where a wider mask does.
//
// Ownership and threads: a TBitSearch is one worker's; it borrows the
// result sink, the team member and the entries of the child it started
// from (which must stay unchanged while it searches).
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "Sparsedatabaseunit.h"
#include "Sparsegraphunit.h"
#include "Sparseresultsunit.h"
#include "Sparseteamunit.h"

namespace sparse {

// Whether one of `masks` holds every bit of `mask`.
inline bool HeldByOne(const std::vector<std::uint64_t>& masks, std::uint64_t mask) {
  return std::any_of(masks.begin(), masks.end(), [&](std::uint64_t wider) { return (mask & ~wider) == 0; });
}

// Leaves in `masks` only those that are no subset of another (of equal
// ones, one), widest first. `scratch` is room it may use.
void KeepMaximal(std::vector<std::uint64_t>& masks, std::vector<std::uint64_t>& scratch);

// Adds `mask` to the antichain `masks` unless one of them holds it; drops
// those it holds.
inline void AddMaximal(std::vector<std::uint64_t>& masks, std::uint64_t mask) {
  if (HeldByOne(masks, mask)) return;
  std::erase_if(masks, [&](std::uint64_t narrower) { return (narrower & ~mask) == 0; });
  masks.push_back(mask);
}

// Calls visit(i) for every bit i of `mask`, ascending.
template <typename TVisit> void ForEachEntry(std::uint64_t mask, TVisit&& visit) {
  for (; mask != 0; mask &= mask - 1)
    visit(static_cast<std::size_t>(std::countr_zero(mask)));
}

class TBitSearch {
public:
  // For a search of `items` items under `bounds`, whose bit databases have
  // at most `smallDatabase` entries (0 to 64).
  TBitSearch(std::int32_t items, const TSearchBounds& bounds, std::int32_t smallDatabase,
             TResultSink& results, TTeamMember& member);

  // Makes the first bit level from the child `scan` describes, counted, by
  // item e >= 0, with item set `itemset`: its candidates the items that
  // would go into its list database, its others every item below e that its
  // entries hold. Entries without a candidate are left out, as no
  // descendant occurs in them. False, with nothing made, when more entries
  // than the bit databases take are left.
  bool Start(const TChildScan& scan, const std::vector<std::int32_t>& itemset);
  // Whether the first level has a candidate, after Start.
  bool HasCandidates() const { return !Levels.front()->Items.empty(); }
  // Searches the children of the first level and their subtrees: emits
  // every set reached, as the list search would. Throws what the team
  // member's Step or the sink throws.
  void Search() { Expand(0, Occurrence); }

private:
  // A node: its candidates with their masks, and the masks of the items
  // below its item outside its set (an antichain). Its transactions are a
  // mask its caller holds.
  struct TBitLevel {
    std::vector<std::int32_t> Items;   // candidates, ascending
    std::vector<std::uint64_t> Masks;  // per candidate
    std::vector<std::uint64_t> Others; // the widest of the items below the core outside the set
  };

  const TSearchBounds Bounds;
  const std::int32_t SmallDatabase;
  TResultSink& Results;
  TTeamMember& Member;
  std::vector<std::unique_ptr<TBitLevel>> Levels;
  // The entry of every bit, whether every entry weighs 1, the first level's
  // transactions, and the current item set.
  std::array<const TEntry*, 64> Entries{};
  bool UnitWeights = true;
  std::uint64_t Occurrence = 0;
  std::vector<std::int32_t> Members;
  std::vector<std::uint64_t> MaskOf; // per item: its entries while the first level is made
  std::vector<std::int32_t> Masked;  // items with a mask
  std::vector<std::uint64_t> MaskScratch;
  std::vector<std::int32_t> Extent; // a result's transactions

  // The steps of Start and Expand, defined in this unit only; inline, so
  // that the compiler may fold them into their one caller, as the inner
  // loop of the search needs.
  inline std::int32_t MarkEntries(const TChildScan& scan);
  inline void MakeFirstLevel(std::int32_t e);
  void Expand(std::size_t depth, std::uint64_t occurrence);
  static inline void DropCovered(TBitLevel& level, std::uint64_t occurrence);
  static inline bool KeepsPrefix(const TBitLevel& level, std::uint64_t child, TBitLevel& next);
  inline void MakeNext(const TBitLevel& level, std::size_t k, std::uint64_t child, TBitLevel& next);
  void EmitSet(std::uint64_t child);
  inline std::int32_t Weight(std::uint64_t mask) const;
  inline TBitLevel& Level(std::size_t depth);
};

} // namespace sparse
