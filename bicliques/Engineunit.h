// Engineunit: what every enumeration engine offers the run path. An engine is
// made for a graph of RowCount sources and ColumnCount targets, gets its rows
// with SetRow, runs once with a TRunConfig, and then hands out its results.
//
// Every engine lists the same results: every distinct intersection of the
// target sets of one or more sources (the target side), with the sources
// adjacent to all of it (the source side). The order of results is the
// engine's own; the set of results is not.
//
// The contract every engine keeps:
// - Ownership: the engine owns its rows and whatever Run keeps. A visitor
//   sees two TVertexSet views into the engine's or a worker's memory; they
//   are valid only during that call, and a visitor that wants to keep a set
//   copies it.
// - Threads: Run's Stream is called on the worker threads of the run (worker
//   0 is the thread that called Run), possibly at once on several, each call
//   with its own worker number; Progress only on the thread that called Run.
//   ForEachResult calls its visitor on the calling thread, as worker 0.
// - Failures: a visitor, Progress or an allocation may throw. Run then stops
//   every worker, frees what the run made and rethrows the first exception
//   thrown on any thread (TCancelled for a stop request); afterwards the
//   engine may only be destroyed. An exception from ForEachResult's visitor
//   leaves the engine as it was.
// - Streaming: with a Stream, Run hands out each result once, and keeps what
//   its method needs beyond that: the closure and sparse engines hand each
//   result out as they find it and keep none; the consensus engine needs
//   every set for its passes, keeps them all, and hands them out when the
//   passes end.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <stop_token>
#include <string>

// One side of a result, valid only during the call that hands it out: either
// packed words (Words not null; the layout of Wordsetunit, Size bits) or an
// ascending list of Count vertex numbers (Members).
struct TVertexSet {
  const std::uint64_t* Words = nullptr;
  const std::int32_t* Members = nullptr;
  std::int32_t Count = 0; // list length; unused for words
};

// Receives results. Called once per result, possibly from several threads at
// once, each with its own `worker` number in [0, threads).
using TResultVisitor =
    std::function<void(std::int32_t worker, const TVertexSet& sources, const TVertexSet& targets)>;

// What the run is doing, for progress reports.
enum class TPhase { Reading, Enumerating, Formatting };

struct TProgress {
  TPhase Phase = TPhase::Enumerating;
  std::int32_t Pass = 0; // consensus pass, counting from 1; 0 for engines without passes
  std::int64_t Sets = 0; // results found so far
  // Formatting: results formatted so far, of Sets; 0 in the other phases.
  std::int64_t Formatted = 0;
};

// Size bounds on the two sides of a result: a result is listed only when
// MinSources <= |sources| <= MaxSources and MinTargets <= |targets| <= MaxTargets.
struct TBounds {
  std::int32_t MinSources = 0;
  std::int32_t MaxSources = std::numeric_limits<std::int32_t>::max();
  std::int32_t MinTargets = 0;
  std::int32_t MaxTargets = std::numeric_limits<std::int32_t>::max();

  bool Unbounded() const {
    return MinSources <= 1 && MinTargets == 0 && MaxSources == std::numeric_limits<std::int32_t>::max() &&
           MaxTargets == std::numeric_limits<std::int32_t>::max();
  }
  bool Admits(std::int32_t sources, std::int32_t targets) const {
    return sources >= MinSources && sources <= MaxSources && targets >= MinTargets && targets <= MaxTargets;
  }
};

// A range of root branches, [First, Last); empty when First == Last.
struct TBranchRange {
  std::int64_t First = 0;
  std::int64_t Last = 0;
};

// What TBranchShare::Take hands a worker: a task another run gave, or (Task
// empty) branches as Next hands them out.
struct TTakenWork {
  std::string Task;
  TBranchRange Branches;
};

// Shares one search among several runs of the same engine on the same matrix
// with the same settings (one per process of a cluster job). The root's
// children are the branches, numbered in the order the engine would take them
// itself (its heaviest first, as far as it can tell); each run searches the
// branches it is given and lists their results only, and the results of the
// root itself are listed by the one run whose ListsRoot is set. Together the
// runs list every result once. The closure and sparse engines take part;
// the consensus engine, whose passes need every set, ignores the share.
//
// Runs may also hand parts of branches to each other (subtree tasks), when
// Wanted, Give and Take are all set (the closure and sparse engines do). A
// worker looks at *Wanted every LookEvery node expansions; when it is set
// and the worker holds work it has not started (the children not yet
// searched of an open node; with the sparse engine first the branches its
// run has not started), it clears the flag, passes part of that work to Give
// as a task (the sparse engine half its unstarted branches, else the rest of
// its shallowest open node) and searches it no more. A worker whose branches
// are done calls Take until it returns nothing, searching what each call
// returns: a task (whichever run gave it) or branches no run has started;
// Take returns nothing once the whole search is done. A task is bytes that
// only a run of the same engine on the same rows with the same settings can
// search. Give and Take are called on the run's worker threads, possibly at
// once; Take may block meanwhile (the run does not look at its stop token
// then).
struct TBranchShare {
  // Returns the next range of branches for this run, of `branches` in all
  // (the same number in every run); an empty range when none is left, after
  // which it is not called again. Called on the run's worker threads, one
  // call at a time. Empty: the run searches every branch itself.
  std::function<TBranchRange(std::int64_t branches)> Next;
  // This run lists the results that belong to no branch.
  bool ListsRoot = true;
  // Set when another run wants work; borrowed for the run.
  std::atomic<bool>* Wanted = nullptr;
  // Takes a task from this run.
  std::function<void(std::string task)> Give;
  // A task for this run, or nothing once every run is done. `workers`: how
  // many workers of this run call Take (the same at every call).
  std::function<std::optional<TTakenWork>(std::int32_t workers)> Take;
  // Node expansions between looks at Wanted; a power of two.
  std::uint32_t LookEvery = 256;
  // Give from every node, also from those an engine would search by a
  // method it cannot split (the sparse engine's bit masks for small
  // databases): for tests, whose small graphs have no other nodes to split.
  bool SplitSmall = false;

  // Whether runs hand each other subtree tasks.
  bool Steals() const { return Next && Wanted != nullptr && Give && Take; }
};

// How one run goes. The results never depend on Threads.
struct TRunConfig {
  // Threads the run may use, the calling thread included; 0 means every core.
  std::int32_t Threads = 0;
  // A stop request ends Run, within about 100 ms, with TCancelled.
  std::stop_token Stop;
  // Called on the thread that called Run, at most once per ProgressInterval.
  std::function<void(const TProgress&)> Progress;
  std::chrono::milliseconds ProgressInterval{250};
  TBounds Bounds;
  // When set, Run hands every result to it (see Streaming above; Count still
  // counts them); ForEachResult is then not to be called.
  TResultVisitor Stream;
  // Set when Stream ignores what it is given (the caller only counts): an
  // engine may then skip making the sets and calling Stream.
  bool CountOnly = false;
  // Set to search only the branches handed out (see TBranchShare).
  TBranchShare Branches;
};

// For the engines that extend sets of one side one vertex at a time (the
// other side is reached by closure): Targets keeps the matrix as given,
// Sources works on its transpose; Automatic lets Run pick the one it expects
// to be cheaper.
enum class TSearchSide { Automatic, Targets, Sources };

// Thrown by Run when the run was stopped; everything the run made is freed.
class TCancelled : public std::runtime_error {
public:
  TCancelled() : std::runtime_error("cancelled") {}
};

class TEngine {
public:
  virtual ~TEngine() = default;

  // Source `source` gets the targets listed (ascending, distinct, each below
  // ColumnCount). Pre: called before Run, at most once per source; sources
  // never set have no targets.
  virtual void SetRow(std::int32_t source, std::span<const std::int32_t> targets) = 0;
  // Enumerates the results that the bounds admit; returns their number.
  // Call once, after the rows.
  virtual std::int64_t Run(const TRunConfig& config) = 0;
  // Number of results of Run.
  virtual std::int64_t Count() const = 0;
  // Calls `visit` with results first..last-1 (worker 0), in the engine's
  // order; safe to call from several threads at once on ranges of their own.
  // Pre: Run has returned without a Stream; 0 <= first <= last <= Count().
  virtual void ForEachResult(std::int64_t first, std::int64_t last, const TResultVisitor& visit) const = 0;
  // Consensus passes the last Run made; 0 for an engine that makes none.
  virtual std::int32_t Passes() const { return 0; }
};
