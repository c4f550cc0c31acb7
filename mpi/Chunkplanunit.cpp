#include "Chunkplanunit.h"

#include <algorithm>
#include <cassert>

namespace {

// A chunk is at most this fraction of a process's share of the branches
// left: small enough that the last chunks even out the ends, large enough
// that a run of light branches does not cost a message each.
constexpr std::int64_t ShareParts = 16;
// and at most this fraction of the branches dealt so far per process: the
// heaviest branches come first and go out one at a time, and chunks grow
// only as the branches get lighter.
constexpr std::int64_t DealtParts = 4;

} // namespace

TChunkPlan::TChunkPlan(std::int64_t branches, std::int32_t processes, std::int64_t largest)
    : Total(branches), Processes(processes), Largest(largest) {
  assert(branches >= 0 && processes >= 1 && largest >= 0);
}

TBranchRange TChunkPlan::Next() {
  const std::int64_t left = Total - Handed;
  if (left == 0) return {Handed, Handed};
  std::int64_t size =
      std::max<std::int64_t>(1, std::min(left / (ShareParts * Processes), Handed / (DealtParts * Processes)));
  if (Largest > 0) size = std::min(size, Largest);
  const TBranchRange range{Handed, Handed + size};
  Handed += size;
  return range;
}
