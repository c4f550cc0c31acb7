#include "Sparseteamunit.h"

#include <chrono>

#include "Parallelunit.h"

namespace sparse {

void TSearchTeam::HandOut(std::int32_t count, const TBranchShare* share) {
  Count = count;
  Handed.store(0, std::memory_order_relaxed);
  Share = share != nullptr && share->Next ? share : nullptr;
  Range = {};
  ShareDone = false;
}

std::int32_t TSearchTeam::NextShared() {
  const std::lock_guard lock(ShareMutex);
  if (Range.First == Range.Last) {
    if (ShareDone) return -1;
    Range = Share->Next(Count);
    if (Range.First == Range.Last) {
      ShareDone = true;
      return -1;
    }
  }
  return Count - 1 - static_cast<std::int32_t>(Range.First++);
}

std::int32_t TSearchTeam::Next() {
  if (Share != nullptr) return NextShared();
  const std::int32_t handed = Handed.fetch_add(1, std::memory_order_relaxed);
  return handed < Count ? Count - 1 - handed : -1;
}

void TSearchTeam::Fail(std::exception_ptr error) {
  const std::lock_guard lock(Mutex);
  if (!Error) Error = error;
  Abort.store(true, std::memory_order_relaxed);
}

// Failures are kept in the team rather than left to RunTeam, so that the
// first one, not a stop it caused elsewhere, reaches the caller.
void TSearchTeam::Run(const std::function<void(std::int32_t member)>& body) {
  RunTeamWatched(
      Size(), std::chrono::milliseconds(100), [&] { Report(); },
      [&](std::int32_t member, const TTeam&) {
        try {
          body(member);
        } catch (...) {
          Fail(std::current_exception());
        }
      });
  if (Error) std::rethrow_exception(Error);
}

void TSearchTeam::Report() {
  std::int64_t sets = 0;
  for (const TTeamMember* member : Members)
    sets += member->Published();
  Control.Report(TPhase::Enumerating, 0, sets);
}

void TTeamMember::Checkpoint() {
  Publish();
  if (Team.Ending()) throw TCancelled();
  if (Id == 0) Team.Report();
}

} // namespace sparse
