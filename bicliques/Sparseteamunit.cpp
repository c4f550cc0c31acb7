#include "Sparseteamunit.h"

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "Parallelunit.h"

namespace sparse {

namespace {

// The first byte of a task: the engine's, so that a task from another engine is refused.
constexpr char TaskKind = 'S';

} // namespace

// Bytes: the kind, then the path's length, its items, the limit and the
// branches, each as the machine's int32 (every process of a job runs on the
// same kind of machine).
std::string EncodeTask(const TSubtreeTask& task) {
  std::vector<std::int32_t> words{static_cast<std::int32_t>(task.Path.size())};
  words.insert(words.end(), task.Path.begin(), task.Path.end());
  words.push_back(task.Limit);
  words.push_back(task.FirstBranch);
  words.push_back(task.LastBranch);
  std::string bytes(1 + words.size() * sizeof(std::int32_t), TaskKind);
  std::memcpy(bytes.data() + 1, words.data(), words.size() * sizeof(std::int32_t));
  return bytes;
}

TSubtreeTask DecodeTask(const std::string& bytes) {
  const auto wrong = [] {
    return std::runtime_error("a subtree task from another run is not one of this search");
  };
  if (bytes.size() < 1 + 4 * sizeof(std::int32_t) || bytes[0] != TaskKind ||
      (bytes.size() - 1) % sizeof(std::int32_t) != 0)
    throw wrong();
  std::vector<std::int32_t> words((bytes.size() - 1) / sizeof(std::int32_t));
  std::memcpy(words.data(), bytes.data() + 1, words.size() * sizeof(std::int32_t));
  if (words[0] < 0 || static_cast<std::size_t>(words[0]) + 4 != words.size()) throw wrong();
  TSubtreeTask task;
  task.Path.assign(words.begin() + 1, words.end() - 3);
  task.Limit = words[words.size() - 3];
  task.FirstBranch = words[words.size() - 2];
  task.LastBranch = words.back();
  if (task.Path.empty() && !(0 <= task.FirstBranch && task.FirstBranch < task.LastBranch)) throw wrong();
  return task;
}

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

void TSearchTeam::Give(const TSubtreeTask& task) { Share->Give(EncodeTask(task)); }

bool TSearchTeam::SplitBranches(TSubtreeTask& task) {
  const std::lock_guard lock(ShareMutex);
  if (Range.First == Range.Last) return false;
  const std::int64_t middle = Range.First + (Range.Last - Range.First) / 2;
  task.Path.clear();
  task.FirstBranch = static_cast<std::int32_t>(middle);
  task.LastBranch = static_cast<std::int32_t>(Range.Last);
  Range.Last = middle;
  return true;
}

std::optional<TSubtreeTask> TSearchTeam::Take() {
  const std::optional<TTakenWork> work = Share->Take(Size());
  if (!work) return std::nullopt;
  if (!work->Task.empty()) return DecodeTask(work->Task);
  TSubtreeTask task;
  task.FirstBranch = static_cast<std::int32_t>(work->Branches.First);
  task.LastBranch = static_cast<std::int32_t>(work->Branches.Last);
  if (!(0 <= task.FirstBranch && task.FirstBranch < task.LastBranch))
    throw std::runtime_error("branches handed on without a branch");
  return task;
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
  GiveDue = Team.Steals() && Team.WorkWanted();
}

} // namespace sparse
