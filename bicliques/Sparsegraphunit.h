// Sparsegraphunit: the graph made ready for the sparse search. The rows
// arrive as target lists in any order; the search wants both sides as
// compressed lists, one side as its transactions and the other as its
// items, the items numbered by frequency, and the run's bounds said in
// those terms.
//
// Plain functions on data the caller owns; no state of their own, any
// thread.
#pragma once

#include <cstdint>
#include <vector>

#include "Engineunit.h"

namespace sparse {

// The graph both ways as compressed lists: source s holds the targets
// RowMembers[RowStarts[s] .. RowStarts[s + 1]), target t the sources
// ColumnMembers[ColumnStarts[t] .. ColumnStarts[t + 1]), each ascending.
struct TGraphLists {
  std::vector<std::int64_t> RowStarts;
  std::vector<std::int32_t> RowMembers;
  std::vector<std::int64_t> ColumnStarts;
  std::vector<std::int32_t> ColumnMembers;
};

// The rows in source order, moved out of `adjacent`, and the columns. Source
// s has length[s] targets at adjacent[at[s]], or none when at[s] < 0. Pre:
// at and length have rowCount elements; every target is below columnCount.
// Frees `adjacent`.
TGraphLists TakeLists(std::int32_t rowCount, std::int32_t columnCount, std::vector<std::int32_t>& adjacent,
                      const std::vector<std::int64_t>& at, const std::vector<std::int32_t>& length);

// Whether the search costs less with the sources as its items. A node counts,
// for every candidate, the items of the transactions holding it: about the
// sum of the squared transaction lengths in all, so the side with the
// shorter lists is the better one to take as transactions.
bool SourcesCostLess(const TGraphLists& lists);

// Numbers the items by increasing frequency (ties by vertex number) and
// rewrites the `transactions` lists (transaction t: members[starts[t] ..
// starts[t + 1])) in the new numbers, each ascending again: rare items come
// first, so the items left above a core are the frequent ones. Returns the
// vertex of every new number. Pre: every member is below `items`.
std::vector<std::int32_t> RenumberItems(std::int32_t transactions, std::int32_t items,
                                        const std::vector<std::int64_t>& starts,
                                        std::vector<std::int32_t>& members);

// The run's bounds in the search's terms: an item set of Items items held
// by Support transactions.
struct TSearchBounds {
  std::int32_t MinSupport = 1;
  std::int32_t MaxSupport = 0;
  std::int32_t MinItems = 0;
  std::int32_t MaxItems = 0;

  // Whether a set of `size` items held by `support` transactions is listed;
  // support below MinSupport is cut before a set is made, so not tested.
  bool Lists(std::int32_t support, std::int64_t size) const {
    return support <= MaxSupport && size >= MinItems && size <= MaxItems;
  }
  // Whether a set of `size` items with `candidates` items left to add can
  // have a descendant worth searching.
  bool MayGrow(std::int64_t size, std::int64_t candidates) const {
    return candidates > 0 && size < MaxItems && size + candidates >= MinItems;
  }
};

// `bounds` with the sources as items when `transposed`, else as transactions.
// The support is at least 1: a set held by no transaction is no result.
TSearchBounds SearchBounds(const TBounds& bounds, bool transposed);

} // namespace sparse
