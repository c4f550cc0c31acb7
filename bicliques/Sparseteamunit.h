// Sparseteamunit: the workers of one sparse search as a team. They share
// the root's candidates, handed out one at a time (only those a branch
// share gives this run, when the run has one), and, when the share lets
// runs hand each other subtree tasks, give and take those through it; a
// failure on one of them stops the others; the calling thread's member
// reports the progress of all.
//
// Ownership and threads: the team borrows the run's control, and each
// member its team and its result sink, for their lives. Members join before
// Run; during Run each member is used by its own thread only, and the team's
// calls are safe from any of them except where said.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Runcontrolunit.h"
#include "Sparseresultsunit.h"

namespace sparse {

class TTeamMember;

// Work handed between runs. With a Path: the node reached from the root by
// adding its items in turn (each a candidate of the node before; the node's
// core is the last), whose children by candidates below Limit are still to
// be searched; items in search numbers. Without: the root branches
// [FirstBranch, LastBranch), numbered as the branch share numbers them.
struct TSubtreeTask {
  std::vector<std::int32_t> Path;
  std::int32_t Limit = 0;
  std::int32_t FirstBranch = 0;
  std::int32_t LastBranch = 0;
};

// The task as bytes for TBranchShare::Give, and back. DecodeTask throws
// std::runtime_error on bytes EncodeTask did not make.
std::string EncodeTask(const TSubtreeTask& task);
TSubtreeTask DecodeTask(const std::string& bytes);

class TSearchTeam {
public:
  explicit TSearchTeam(TRunControl& control) : Control(control) {}

  // Adds `member`, the next in number (the first is member 0). Before Run.
  void Join(const TTeamMember& member) { Members.push_back(&member); }
  std::int32_t Size() const { return static_cast<std::int32_t>(Members.size()); }
  // From now on Next hands out count-1 down to 0, each once; with `share`
  // (its Next set; borrowed for the team's life), only the branches it
  // hands out, branch b being number count-1-b.
  void HandOut(std::int32_t count, const TBranchShare* share = nullptr);
  // The next number handed out, or -1 when none is left.
  std::int32_t Next();
  // Whether the share lets runs hand each other subtree tasks.
  bool Steals() const { return Share != nullptr && Share->Steals(); }
  // Node expansions between looks at whether another run wants work, less one.
  std::uint32_t LookMask() const { return Steals() ? Share->LookEvery - 1 : 255; }
  // Whether another run wants work. Pre: Steals().
  bool WorkWanted() const { return Share->Wanted->load(std::memory_order_relaxed); }
  // Takes the want on for this member: true for one caller per want. Pre: Steals().
  bool ClaimWant() { return Share->Wanted->exchange(false, std::memory_order_relaxed); }
  // Leaves a want claimed but not met for another member. Pre: Steals().
  void Unclaim() { Share->Wanted->store(true, std::memory_order_relaxed); }
  // Hands `task` to another run. Pre: Steals().
  void Give(const TSubtreeTask& task);
  // Takes the upper half (at least one) of the branches the share gave this
  // run that no member has started, into `task`; false when there are none.
  bool SplitBranches(TSubtreeTask& task);
  // A task from another run, or nothing once the search is done. Pre: Steals().
  std::optional<TSubtreeTask> Take();
  // Keeps the first failure and makes every member stop at its next step.
  void Fail(std::exception_ptr error);
  // Whether a member failed or a stop was requested: the search is to end.
  bool Ending() const { return Control.StopRequested() || Abort.load(std::memory_order_relaxed); }
  // Runs body(member) once for every member, member 0 on the calling thread,
  // which keeps reporting progress once it is done until the others end.
  // Rethrows the first failure once every thread has ended.
  void Run(const std::function<void(std::int32_t member)>& body);
  // Passes the results the members published on to the progress reports.
  // Only on the thread that runs member 0.
  void Report();

private:
  TRunControl& Control;
  std::vector<const TTeamMember*> Members;
  std::atomic<std::int32_t> Handed{0};
  std::int32_t Count = 0;
  const TBranchShare* Share = nullptr;
  std::mutex ShareMutex;  // one call of the share at a time
  TBranchRange Range;     // the share's branches not yet handed out here
  bool ShareDone = false; // the share has none left
  std::int32_t NextShared();
  std::atomic<bool> Abort{false};
  std::mutex Mutex;
  std::exception_ptr Error;
};

// One worker of the team: it counts its steps of search work and, every so
// often, publishes how many results it has and checks whether to end.
class TTeamMember {
public:
  // Member `id` of `team`, whose results `results` counts.
  TTeamMember(TSearchTeam& team, std::int32_t id, const TResultSink& results)
      : Team(team), Id(id), Results(results) {}

  // One step of search work. Every 256th (every LookEvery-th when runs
  // hand each other tasks) publishes the results so far, throws TCancelled
  // when the search is ending, on member 0 reports, and sets GiveDue when
  // another run wants work.
  void Step() {
    if ((++Steps & LookMask) != 0) return;
    Checkpoint();
  }
  // Set by Step when another run wants work; the member clears it.
  bool GiveDue = false;
  // Takes the team's interval of looks. Once the team hands out, before the first Step.
  void Begin() { LookMask = Team.LookMask(); }
  // Makes the results so far visible to the progress reports.
  void Publish() { Found.store(Results.Total(), std::memory_order_relaxed); }
  // The results last published. Any thread.
  std::int64_t Published() const { return Found.load(std::memory_order_relaxed); }

private:
  TSearchTeam& Team;
  std::int32_t Id;
  const TResultSink& Results;
  std::uint32_t Steps = 0;
  std::uint32_t LookMask = 255;
  std::atomic<std::int64_t> Found{0};

  void Checkpoint();
};

} // namespace sparse
