// Sparseprefixunit: the prefix test of the sparse search on lists, and what
// the search learns from the children that fail it.
//
// The search reaches every closed item set once by prefix-preserving
// closure extension: the child of a node by item e closes the node's set
// with e, and is kept only when the closure adds no item below e. An item
// below e outside the node's set that the whole occurrence holds (the
// witness) makes the child fail. Failures are worth keeping: a node's
// candidates are tried highest first, and a candidate whose witness is not
// in a child fails in that child too, and in the child's whole subtree when
// the witness is below the child's item, as no descendant can gain it.
//
// Threads: a node's failures belong to the worker that searches it, except
// the root's Witness, which every worker reads and writes through
// LoadWitness and StoreWitness.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "Sparsedatabaseunit.h"

namespace sparse {

// Candidates whose children fail the prefix test, each with its witness.
using TFailedList = std::vector<std::pair<std::int32_t, std::int32_t>>;

// Whether the occurrence of the child `scan` describes shares no item below
// its item outside the parent's set (the prefix test). If it does, returns
// false with such an item in `witness`. Pre: scan started (frequent).
bool KeepsPrefix(const TChildScan& scan, std::int32_t& witness);

// A node's knowledge of its candidates whose children fail.
struct TFailures {
  // Handed down by the parent: (candidate, witness), ascending by candidate.
  TFailedList Blocked;
  // Per candidate: the witness of its failed child, else -1.
  std::vector<std::int32_t> Witness;
  // Blocked and the failed children found so far (at the root: each
  // worker keeps its own list instead).
  TFailedList Failed;
  const std::vector<std::int32_t>* Candidates = nullptr; // the node's, ascending

  // Sets Witness for the node's `candidates` from Blocked, and Failed to
  // Blocked. `candidates` must outlive every use of the failures.
  void Start(const std::vector<std::int32_t>& candidates);
  // The witness of candidate k through an atomic view, for the root's.
  std::int32_t LoadWitness(std::size_t k) const;
  void StoreWitness(std::size_t k, std::int32_t witness);
};

// Hands what a parent knows of failed candidates down to its child by e
// (`scan`, counted, with item set `childItemset`): a candidate of the child
// whose witness the child lacks fails there too. One with its witness below
// e leaves the child's database (its count becomes -1); the others go to
// `blocked`, ascending. `failed` is the parent's list of failures; when it
// is more than `scanRatio` times the child's counted items, each counted
// item is looked up among the parent's candidates instead.
void HandDownFailures(const TFailures& parent, const TFailedList& failed, std::size_t scanRatio,
                      const std::vector<std::int32_t>& childItemset, TChildScan& scan, TFailedList& blocked);

} // namespace sparse
