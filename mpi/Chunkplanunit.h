// Chunkplanunit: how rank 0 of a cluster job deals out the root branches:
// in the engine's order (its heaviest first), the first ones one at a time,
// in chunks that grow as the branches get lighter and shrink again as they
// run out, so that no chunk of heavy branches holds up one process and no
// process is left with a long tail while others idle.
#pragma once

#include <cstdint>

#include "Engineunit.h"

class TChunkPlan {
public:
  // Deals branches 0 .. branches-1 to `processes` processes, at most
  // `largest` at once (0: no cap). Pre: branches >= 0, processes >= 1,
  // largest >= 0.
  TChunkPlan(std::int64_t branches, std::int32_t processes, std::int64_t largest);

  // The next chunk: at most a sixteenth of each process's share of what is
  // left and a quarter of each process's share of what was dealt, at least
  // one branch and at most `largest`; empty once every branch is dealt.
  TBranchRange Next();
  std::int64_t Branches() const { return Total; }
  // Branches dealt so far.
  std::int64_t Dealt() const { return Handed; }

private:
  std::int64_t Total;
  std::int32_t Processes;
  std::int64_t Largest;
  std::int64_t Handed = 0;
};
