#include "Chunkplanunit.h"

#include <algorithm>
#include <cassert>

namespace {

// A chunk is this fraction of a process's share of the branches left: small
// enough that a chunk of heavy branches does not dominate a process's work,
// large enough that a run of light ones does not cost a message each.
constexpr std::int64_t ShareParts = 16;

} // namespace

TChunkPlan::TChunkPlan(std::int64_t branches, std::int32_t processes, std::int64_t largest)
    : Total(branches), Processes(processes), Largest(largest) {
  assert(branches >= 0 && processes >= 1 && largest >= 0);
}

TBranchRange TChunkPlan::Next() {
  const std::int64_t left = Total - Handed;
  if (left == 0) return {Handed, Handed};
  std::int64_t size = std::max<std::int64_t>(1, left / (ShareParts * Processes));
  if (Largest > 0) size = std::min(size, Largest);
  const TBranchRange range{Handed, Handed + size};
  Handed += size;
  return range;
}
