#include "Closuresearchunit.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "Parallelunit.h"

// The search is close-by-one: a node is a closed pair (extent, intent), the
// intent on the extension side. Its children add one extension vertex j past
// the node's start, close the pair, and are kept only when the closure added
// no vertex below j that the node lacked (the canonicity test), so every
// closed pair is reached exactly once. A failed test leaves a witness, a
// vertex below j in the closure but not in the intent; since descendants only
// shrink the extent, the witness stays in their closure too, and j is skipped
// there as long as the witness stays outside their intent. A witness below
// the node's start can never enter a descendant's intent, so j is then dead
// for the whole subtree, as it is when j meets no object of the extent.
//
// A stored result is kept as its intent only, plus a step: its depth below
// the last result whose extent must be found from the matrix, and the
// attribute whose column cut its extent from its parent's. Results are kept in
// search order, so a result's parent is the last earlier result one level up,
// and reading them in order costs one column per result. A streamed result is
// handed out with the extent the search holds anyway, and nothing is kept.
//
// Runs that hand each other subtree tasks (TBranchShare): a worker asked
// for work gives the children it has not reached of its shallowest open
// node, each as the task a thread hand-off makes, in bytes; the taker starts
// a chain of steps at each. When every thread of a run is idle, one takes
// work from the other runs for all of them.
//
// Size bounds cut the search where that is sound: an extent only shrinks and
// an intent only grows on the way down, so a child below the least extent or
// above the largest intent has no admitted descendant.

namespace closure {
namespace {

// Waiting workers look at the stop request and the progress this often.
constexpr std::chrono::milliseconds WaitSlice{50};
// Worker 0 reports progress after this many nodes.
constexpr std::uint32_t NodesPerReport = 1024;

// The fewest objects of a subtree handed to an idle thread.
constexpr std::int32_t MinHandOffObjects = 8;

// A subtree handed from one thread to another, with what its parent knew.
struct TTask {
  std::vector<std::uint64_t> Extent;
  std::vector<std::uint64_t> Intent;
  std::vector<std::uint64_t> Dead;
  std::vector<std::int32_t> Witness;
  std::int32_t Start = 0;
  std::int32_t ExtentSize = 0;
  bool Emit = true;
  bool Root = false; // the search's root, whose children are the branches a share hands out
  // For a root: search these branches rather than those the share hands out.
  TBranchRange Branches;
};

// The first byte of a list of tasks in bytes: the engine's, so that a task
// of another engine is refused.
constexpr char TaskKind = 'C';

void Append(std::string& bytes, const void* data, std::size_t size) {
  bytes.append(static_cast<const char*>(data), size);
}

// Tasks as bytes: the kind and their number, then per task its start and
// extent size and its four sets, in the machine's layout (every process of a
// job runs on the same kind of machine).
std::string EncodeTasks(const std::vector<TTask>& tasks) {
  std::string bytes(1, TaskKind);
  const auto count = static_cast<std::int32_t>(tasks.size());
  Append(bytes, &count, sizeof count);
  for (const TTask& task : tasks) {
    Append(bytes, &task.Start, sizeof task.Start);
    Append(bytes, &task.ExtentSize, sizeof task.ExtentSize);
    Append(bytes, task.Extent.data(), task.Extent.size() * sizeof(std::uint64_t));
    Append(bytes, task.Intent.data(), task.Intent.size() * sizeof(std::uint64_t));
    Append(bytes, task.Dead.data(), task.Dead.size() * sizeof(std::uint64_t));
    Append(bytes, task.Witness.data(), task.Witness.size() * sizeof(std::int32_t));
  }
  return bytes;
}

// The tasks EncodeTasks made for a search of `context`; throws
// std::runtime_error on other bytes.
std::vector<TTask> DecodeTasks(const std::string& bytes, const TContext& context) {
  const auto ow = static_cast<std::size_t>(context.ObjectWords);
  const auto aw = static_cast<std::size_t>(context.AttributeWords);
  const auto attributes = static_cast<std::size_t>(context.Attributes);
  const std::size_t each =
      2 * sizeof(std::int32_t) + (ow + 2 * aw) * sizeof(std::uint64_t) + attributes * sizeof(std::int32_t);
  std::int32_t count = -1;
  if (bytes.size() >= 1 + sizeof count) std::memcpy(&count, bytes.data() + 1, sizeof count);
  if (bytes.empty() || bytes[0] != TaskKind || count < 0 ||
      bytes.size() != 1 + sizeof count + static_cast<std::size_t>(count) * each)
    throw std::runtime_error("a subtree task from another run is not one of this search");
  std::vector<TTask> tasks(static_cast<std::size_t>(count));
  const char* at = bytes.data() + 1 + sizeof count;
  const auto take = [&](void* data, std::size_t size) {
    std::memcpy(data, at, size);
    at += size;
  };
  for (TTask& task : tasks) {
    take(&task.Start, sizeof task.Start);
    take(&task.ExtentSize, sizeof task.ExtentSize);
    task.Extent.resize(ow);
    task.Intent.resize(aw);
    task.Dead.resize(aw);
    task.Witness.resize(attributes);
    take(task.Extent.data(), ow * sizeof(std::uint64_t));
    take(task.Intent.data(), aw * sizeof(std::uint64_t));
    take(task.Dead.data(), aw * sizeof(std::uint64_t));
    take(task.Witness.data(), attributes * sizeof(std::int32_t));
    if (task.Start < 0 || task.Start > context.Attributes || task.ExtentSize < 0)
      throw std::runtime_error("a subtree task from another run is not one of this search");
  }
  return tasks;
}

TTask RootTask(const TContext& context);

// A worker's count of results, on a cache line of its own.
struct alignas(64) TFoundCount {
  std::atomic<std::int64_t> Value{0};
};

struct TSharedWork {
  std::mutex Mutex;
  std::condition_variable Wake;
  std::deque<TTask> Tasks;
  std::int32_t Threads = 1;
  std::int32_t Idle = 0;
  bool Done = false;
  std::atomic<std::int32_t> Waiting{0}; // threads waiting for a task
  std::atomic<bool> Failed{false};      // a worker threw: the others give up
  std::vector<TFoundCount> Found;       // per worker

  explicit TSharedWork(std::int32_t threads) : Threads(threads), Found(static_cast<std::size_t>(threads)) {}
  std::int64_t FoundSoFar() const {
    std::int64_t total = 0;
    for (const auto& count : Found)
      total += count.Value.load(std::memory_order_relaxed);
    return total;
  }
};

// Scratch of one search depth.
struct TLevel {
  std::vector<std::int32_t> Witness;   // per attribute, -1 for none
  std::vector<std::uint64_t> Dead;     // attributes skipped below this node
  std::vector<std::uint64_t> Children; // per kept child: extent, then intent
  std::vector<std::int32_t> ChildAttribute;
  std::vector<std::int32_t> ChildSize; // objects of each kept child
  std::vector<std::uint64_t> Reach;    // attributes of some object of a small extent
  // While its children are searched: the one being searched, and the end
  // of those this worker searches (the rest were given away).
  bool Open = false;
  std::size_t Next = 0;
  std::size_t End = 0;
};

// A node of the search: its sets, and what its parent learnt.
struct TNode {
  const std::uint64_t* Extent;
  const std::uint64_t* Intent;
  std::int32_t ExtentSize;
  std::int32_t Start;          // first attribute its children may add
  std::int32_t Added;          // the attribute that cut its extent from its parent's
  const std::int32_t* Witness; // per attribute: a vertex that blocks it, or -1
  const std::uint64_t* Dead;   // attributes no descendant may add
};

class TWorker {
public:
  std::vector<std::uint64_t> Sets; // stored intents
  std::vector<std::int32_t> Steps; // per stored intent: depth, attribute
  std::int64_t Count = 0;

  TWorker(const TContext& context, TSharedWork& shared, std::int32_t number, const TTeam& team,
          TRunControl& control, const TResultVisitor& stream, const TBranchShare& branches)
      : Context(context), Shared(shared), Number(number), Team(team), Control(control), Stream(stream),
        Branches(branches), Steals(branches.Steals()), LookMask(branches.LookEvery - 1) {}

  // Takes tasks until every worker is idle and none is left.
  void Work() {
    try {
      TakeTasks();
    } catch (...) {
      Shared.Failed.store(true, std::memory_order_relaxed);
      const std::lock_guard lock(Shared.Mutex);
      Shared.Done = true;
      Shared.Wake.notify_all();
      throw;
    }
  }

private:
  const TContext& Context;
  TSharedWork& Shared;
  const std::int32_t Number;
  const TTeam& Team;
  TRunControl& Control;
  const TResultVisitor& Stream;
  const TBranchShare& Branches;
  const bool Steals; // the share lets runs hand each other tasks
  const std::uint32_t LookMask;
  std::vector<std::unique_ptr<TLevel>> Levels; // by depth below a task's node
  std::uint32_t Nodes = 0;
  std::uint32_t Looks = 0;

  bool Abandoned() const {
    return Shared.Failed.load(std::memory_order_relaxed) || Team.Stopping() || Control.StopRequested();
  }

  void TakeTasks() {
    std::unique_lock lock(Shared.Mutex);
    for (;;) {
      if (Shared.Done || Abandoned()) return;
      if (!Shared.Tasks.empty()) {
        const TTask task = std::move(Shared.Tasks.front());
        Shared.Tasks.pop_front();
        lock.unlock();
        RunTask(task);
        lock.lock();
        continue;
      }
      if (++Shared.Idle == Shared.Threads) {
        if (Steals && TakeFromOtherRuns(lock)) {
          --Shared.Idle;
          continue;
        }
        Shared.Done = true;
        Shared.Wake.notify_all();
        return;
      }
      Shared.Waiting.fetch_add(1, std::memory_order_relaxed);
      while (!Shared.Done && Shared.Tasks.empty() && !Abandoned()) {
        Shared.Wake.wait_for(lock, WaitSlice);
        if (Number == 0) {
          lock.unlock();
          Control.Report(TPhase::Enumerating, 0, Shared.FoundSoFar());
          lock.lock();
        }
      }
      Shared.Waiting.fetch_sub(1, std::memory_order_relaxed);
      if (Shared.Done || Abandoned()) return;
      --Shared.Idle;
    }
  }

  // Every thread idle: takes work from the other runs for the team, with
  // `lock` released meanwhile. False once the whole search is done.
  bool TakeFromOtherRuns(std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    const std::optional<TTakenWork> work = Branches.Take(1);
    std::vector<TTask> tasks;
    if (work && !work->Task.empty()) {
      tasks = DecodeTasks(work->Task, Context);
    } else if (work) {
      TTask root = RootTask(Context);
      root.Emit = false;
      root.Branches = work->Branches;
      tasks.push_back(std::move(root));
    }
    lock.lock();
    if (!work) return false;
    for (TTask& task : tasks)
      Shared.Tasks.push_back(std::move(task));
    Shared.Wake.notify_all();
    return true;
  }

  // Gives another run the children not reached yet of the shallowest node
  // above `depth` that has any, unless another worker took the want on first.
  void GiveAway(std::size_t depth) {
    for (std::size_t d = 0; d < depth; ++d) {
      TLevel& level = *Levels[d];
      if (!level.Open || level.Next + 1 >= level.End) continue;
      if (!Branches.Wanted->exchange(false, std::memory_order_relaxed)) return;
      const std::int32_t ow = Context.ObjectWords;
      const std::size_t stride = static_cast<std::size_t>(ow + Context.AttributeWords);
      std::vector<TTask> tasks;
      for (std::size_t c = level.Next + 1; c < level.End; ++c) {
        const std::uint64_t* child = level.Children.data() + c * stride;
        TTask& task = tasks.emplace_back();
        task.Extent.assign(child, child + ow);
        task.Intent.assign(child + ow, child + stride);
        task.Dead = level.Dead;
        task.Witness = level.Witness;
        task.Start = level.ChildAttribute[c] + 1;
        task.ExtentSize = level.ChildSize[c];
      }
      level.End = level.Next + 1;
      Branches.Give(EncodeTasks(tasks));
      return;
    }
  }

  void RunTask(const TTask& task) {
    const TNode root{task.Extent.data(),  task.Intent.data(), task.ExtentSize, task.Start, -1,
                     task.Witness.data(), task.Dead.data()};
    // A task's root starts a new chain of steps; children of a root that is
    // no result start it themselves. A shared search's root is listed by one
    // run only.
    const bool shared = task.Root && Branches.Next;
    const bool emit = task.Emit && (!shared || Branches.ListsRoot);
    Expand(0, root, emit ? 0 : NoResult, shared,
           task.Branches.First < task.Branches.Last ? &task.Branches : nullptr);
  }

  TLevel& Level(std::size_t depth) {
    while (Levels.size() <= depth) {
      auto level = std::make_unique<TLevel>();
      level->Witness.assign(static_cast<std::size_t>(Context.Attributes), -1);
      level->Dead.assign(static_cast<std::size_t>(Context.AttributeWords), 0);
      level->Reach.assign(static_cast<std::size_t>(Context.AttributeWords), 0);
      Levels.push_back(std::move(level));
    }
    return *Levels[depth];
  }

  static bool IsSubset(const std::uint64_t* set, const std::uint64_t* of, std::int32_t from,
                       std::int32_t to) {
    for (std::int32_t w = from; w < to; ++w) {
      if ((set[w] & ~of[w]) != 0) return false;
    }
    return true;
  }

  // Closes `extent` (objects in words [from, to), `count` of them) into
  // `closure`, the node's `intent` plus attribute j and what the extent
  // forces. Returns -1 when the closure adds nothing below j to the intent,
  // else the lowest attribute it adds there (closure then unfinished).
  std::int32_t Close(const std::uint64_t* extent, std::int32_t count, std::int32_t from, std::int32_t to,
                     const std::uint64_t* intent, std::int32_t freeAttributes, std::int32_t j,
                     std::uint64_t* closure) const {
    const std::int32_t aw = Context.AttributeWords;
    // Intersecting the objects' rows costs a row per object; testing the
    // attributes' columns costs a few words per attribute outside the intent.
    if (static_cast<std::int64_t>(count) * aw <= static_cast<std::int64_t>(freeAttributes) * 2) {
      FillAll(closure, Context.Attributes);
      ForEachBit(extent, from, to, [&](std::int32_t o) {
        const std::uint64_t* row = Context.ObjectSets + static_cast<std::size_t>(o) * aw;
        for (std::int32_t a = 0; a < aw; ++a)
          closure[a] &= row[a];
      });
      const std::int32_t last = j / 64;
      for (std::int32_t w = 0; w <= last; ++w) {
        std::uint64_t added = closure[w] & ~intent[w];
        if (w == last) added &= ~(AllBits >> (j % 64));
        if (added != 0) return w * 64 + std::countl_zero(added);
      }
      return -1;
    }
    const std::int32_t ow = Context.ObjectWords;
    for (std::int32_t k = 0; k < j; ++k) {
      if (!HasBit(intent, k) &&
          IsSubset(extent, Context.AttributeSets + static_cast<std::size_t>(k) * ow, from, to))
        return k;
    }
    std::copy(intent, intent + aw, closure);
    SetBit(closure, j);
    for (std::int32_t k = j + 1; k < Context.Attributes; ++k) {
      if (!HasBit(intent, k) &&
          IsSubset(extent, Context.AttributeSets + static_cast<std::size_t>(k) * ow, from, to))
        SetBit(closure, k);
    }
    return -1;
  }

  // Whether more threads wait than tasks are queued for them.
  bool IdleWithoutTask() {
    const std::lock_guard lock(Shared.Mutex);
    return Shared.Tasks.size() < static_cast<std::size_t>(Shared.Waiting.load(std::memory_order_relaxed));
  }

  void HandOff(const std::uint64_t* extent, const std::uint64_t* intent, std::int32_t extentSize,
               std::int32_t start, const TLevel& level) {
    TTask task;
    task.Extent.assign(extent, extent + Context.ObjectWords);
    task.Intent.assign(intent, intent + Context.AttributeWords);
    task.Dead = level.Dead;
    task.Witness = level.Witness;
    task.Start = start;
    task.ExtentSize = extentSize;
    {
      const std::lock_guard lock(Shared.Mutex);
      Shared.Tasks.push_back(std::move(task));
    }
    Shared.Wake.notify_one();
  }

  // Hands the node out when it is a result and the bounds admit it; false
  // when it is not handed out. `chain` is its step depth for storing.
  bool Emit(const TNode& node, std::int32_t chain) {
    if (chain == NoResult) return false;
    // Without bounds every node is a result: no need to count its intent.
    if (!Context.Unbounded) {
      const std::int32_t intentSize = CountBits(node.Intent, Context.AttributeWords);
      const std::int32_t sources = Context.Transposed ? intentSize : node.ExtentSize;
      const std::int32_t targets = Context.Transposed ? node.ExtentSize : intentSize;
      if (!Context.Bounds.Admits(sources, targets)) return false;
    }
    ++Count;
    Shared.Found[static_cast<std::size_t>(Number)].Value.store(Count, std::memory_order_relaxed);
    if (Stream) {
      const TVertexSet extent{node.Extent, nullptr, 0};
      const TVertexSet intent{node.Intent, nullptr, 0};
      Context.Transposed ? Stream(Number, intent, extent) : Stream(Number, extent, intent);
      return true;
    }
    Sets.insert(Sets.end(), node.Intent, node.Intent + Context.AttributeWords);
    Steps.push_back(chain);
    Steps.push_back(node.Added);
    return true;
  }

  // The attributes that meet an object of a small extent, in level.Reach;
  // false when the extent is too large for that to pay. Attributes a small
  // extent misses need no intersection.
  bool FindReach(const TNode& node, std::int32_t from, std::int32_t to, TLevel& level) const {
    const std::int32_t aw = Context.AttributeWords;
    if (static_cast<std::int64_t>(node.ExtentSize) * aw >= Context.Attributes - node.Start) return false;
    std::fill(level.Reach.begin(), level.Reach.end(), 0);
    ForEachBit(node.Extent, from, to, [&](std::int32_t o) {
      const std::uint64_t* row = Context.ObjectSets + static_cast<std::size_t>(o) * aw;
      for (std::int32_t a = 0; a < aw; ++a)
        level.Reach[static_cast<std::size_t>(a)] |= row[a];
    });
    return true;
  }

  // Takes the candidates of word w that the extent misses out of
  // `candidates`: without objects the closure is every attribute, which adds
  // the lowest one outside the intent (`firstFree`).
  void DropMissed(const TNode& node, std::int32_t w, std::int32_t firstFree, TLevel& level,
                  std::uint64_t& candidates) const {
    std::uint64_t missed = candidates & ~level.Reach[static_cast<std::size_t>(w)];
    if (Context.KeepEmptyExtent && firstFree / 64 == w) missed &= ~WordBit(firstFree);
    candidates &= ~missed;
    if (!Context.KeepEmptyExtent || firstFree < node.Start) {
      level.Dead[static_cast<std::size_t>(w)] |= missed;
    } else {
      ForEachBit(&missed, 1,
                 [&](std::int32_t j) { level.Witness[static_cast<std::size_t>(w * 64 + j)] = firstFree; });
    }
  }

  // Tries the child that adds attribute j; keeps it in level.Children when it
  // is canonical and within the bounds, else records why j fails below.
  void TryChild(const TNode& node, std::int32_t j, std::int32_t from, std::int32_t to,
                std::int32_t freeAttributes, TLevel& level) {
    const std::int32_t ow = Context.ObjectWords;
    const std::size_t w = static_cast<std::size_t>(j / 64);
    const std::uint64_t bit = WordBit(j);
    const std::int32_t known = node.Witness[j];
    if (known >= 0 && !HasBit(node.Intent, known)) {
      if (known < node.Start) {
        level.Dead[w] |= bit;
      } else {
        level.Witness[static_cast<std::size_t>(j)] = known;
      }
      return;
    }
    const std::size_t slot = level.Children.size();
    level.Children.resize(slot + static_cast<std::size_t>(ow + Context.AttributeWords));
    std::uint64_t* child = level.Children.data() + slot;
    const std::uint64_t* column = Context.AttributeSets + static_cast<std::size_t>(j) * ow;
    std::int32_t count = 0;
    std::int32_t childFrom = to;
    std::int32_t childTo = from;
    for (std::int32_t o = from; o < to; ++o) {
      child[o] = node.Extent[o] & column[o];
      if (child[o] != 0) {
        count += std::popcount(child[o]);
        childFrom = std::min(childFrom, o);
        childTo = o + 1;
      }
    }
    if ((count == 0 && !Context.KeepEmptyExtent) || count < Context.MinExtent) {
      level.Children.resize(slot);
      level.Dead[w] |= bit;
      return;
    }
    const std::int32_t added = Close(child, count, childFrom, std::max(childFrom, childTo), node.Intent,
                                     freeAttributes, j, child + ow);
    if (added >= 0) {
      level.Children.resize(slot);
      if (added < node.Start) {
        level.Dead[w] |= bit;
      } else {
        level.Witness[static_cast<std::size_t>(j)] = added;
      }
      return;
    }
    level.Witness[static_cast<std::size_t>(j)] = -1;
    if (!Context.Unbounded && CountBits(child + ow, Context.AttributeWords) > Context.MaxIntent) {
      level.Children.resize(slot);
      return;
    }
    level.ChildAttribute.push_back(j);
    level.ChildSize.push_back(count);
  }

  // Emits the node when it is a result and the bounds admit it, then
  // searches its children: when `shared`, the branches `fixed` names or
  // else those the share hands out; else all.
  void Expand(std::size_t depth, const TNode& node, std::int32_t chain, bool shared = false,
              const TBranchRange* fixed = nullptr) {
    if (Number == 0 && ++Nodes % NodesPerReport == 0)
      Control.Report(TPhase::Enumerating, 0, Shared.FoundSoFar());
    if (Steals && (++Looks & LookMask) == 0 && Branches.Wanted->load(std::memory_order_relaxed))
      GiveAway(depth);
    if (Abandoned()) return;
    const bool emitted = Emit(node, chain);
    const std::int32_t childChain = chain == NoResult ? 0 : chain == Alone || !emitted ? Alone : chain + 1;
    if (node.Start >= Context.Attributes) return;

    const std::int32_t ow = Context.ObjectWords;
    const std::int32_t aw = Context.AttributeWords;
    TLevel& level = Level(depth);
    std::copy(node.Dead, node.Dead + aw, level.Dead.begin());
    level.Children.clear();
    level.ChildAttribute.clear();
    level.ChildSize.clear();
    std::int32_t from = 0;
    std::int32_t to = ow;
    while (from < to && node.Extent[from] == 0)
      ++from;
    while (to > from && node.Extent[to - 1] == 0)
      --to;
    const std::int32_t freeAttributes = Context.Attributes - CountBits(node.Intent, aw);
    const bool reachKnown = FindReach(node, from, to, level);
    std::int32_t firstFree = 0;
    while (reachKnown && firstFree < Context.Attributes && HasBit(node.Intent, firstFree))
      ++firstFree;

    for (std::int32_t w = node.Start / 64; w < aw; ++w) {
      std::uint64_t candidates = ~(node.Intent[w] | node.Dead[w]);
      if (w == node.Start / 64) candidates &= AllBits >> (node.Start % 64);
      if (w == aw - 1) candidates &= LastWordMask(Context.Attributes);
      if (reachKnown) DropMissed(node, w, firstFree, level, candidates);
      ForEachBit(&candidates, 1,
                 [&](std::int32_t j) { TryChild(node, w * 64 + j, from, to, freeAttributes, level); });
    }

    const std::size_t stride = static_cast<std::size_t>(ow + aw);
    const auto searchChild = [&](std::size_t c) {
      const std::uint64_t* child = level.Children.data() + c * stride;
      const std::int32_t childStart = level.ChildAttribute[c] + 1;
      // A child of few objects has a small subtree: handing it over would
      // cost more than it saves, and keep the idle thread coming back. The
      // root of a shared search hands over no more than the idle threads
      // take, leaving the rest of its branches to the other runs.
      if (childStart < Context.Attributes && level.ChildSize[c] >= MinHandOffObjects &&
          Shared.Waiting.load(std::memory_order_relaxed) > 0 && (!shared || IdleWithoutTask())) {
        HandOff(child, child + ow, level.ChildSize[c], childStart, level);
        return;
      }
      const TNode next{child,          child + ow,           level.ChildSize[c], childStart,
                       childStart - 1, level.Witness.data(), level.Dead.data()};
      Expand(depth + 1, next, childChain);
    };
    const std::size_t children = level.ChildAttribute.size();
    const auto searchRange = [&](std::size_t first, std::size_t last) {
      level.Open = true;
      for (level.Next = first, level.End = last; level.Next < level.End; ++level.Next)
        searchChild(level.Next);
      level.Open = false;
    };
    if (!shared) {
      searchRange(0, children);
      return;
    }
    // Every run finds the same children in the same order: child c is branch c.
    const auto branches = static_cast<std::int64_t>(children);
    if (fixed != nullptr) {
      if (fixed->First < 0 || fixed->Last > branches)
        throw std::runtime_error("branches handed on that this search does not have");
      searchRange(static_cast<std::size_t>(fixed->First), static_cast<std::size_t>(fixed->Last));
      return;
    }
    for (TBranchRange range = Branches.Next(branches); range.First < range.Last && !Abandoned();
         range = Branches.Next(branches))
      searchRange(static_cast<std::size_t>(range.First), static_cast<std::size_t>(range.Last));
  }
};

// The root: every object, and the attributes they all share. On the
// transpose it has no source when no source has every target.
TTask RootTask(const TContext& context) {
  TTask root;
  root.Extent.resize(static_cast<std::size_t>(context.ObjectWords));
  FillAll(root.Extent.data(), context.Objects);
  root.ExtentSize = context.Objects;
  root.Intent.resize(static_cast<std::size_t>(context.AttributeWords));
  FillAll(root.Intent.data(), context.Attributes);
  for (std::int32_t o = 0; o < context.Objects; ++o) {
    const std::uint64_t* row =
        context.ObjectSets + static_cast<std::size_t>(o) * static_cast<std::size_t>(context.AttributeWords);
    for (std::int32_t a = 0; a < context.AttributeWords; ++a)
      root.Intent[static_cast<std::size_t>(a)] &= row[a];
  }
  root.Dead.assign(static_cast<std::size_t>(context.AttributeWords), 0);
  root.Witness.assign(static_cast<std::size_t>(context.Attributes), -1);
  root.Emit = !context.Transposed || CountBits(root.Intent.data(), context.AttributeWords) > 0;
  root.Root = true;
  return root;
}

} // namespace

TFound Search(const TContext& context, const TRunConfig& config, TRunControl& control) {
  TFound found;
  TTask root = RootTask(context);
  if (root.ExtentSize < context.MinExtent ||
      CountBits(root.Intent.data(), context.AttributeWords) > context.MaxIntent)
    return found;

  const std::int32_t threads = ThreadCount(config.Threads);
  TSharedWork shared(threads);
  shared.Tasks.push_back(std::move(root));
  std::vector<std::unique_ptr<TWorker>> workers(static_cast<std::size_t>(threads));
  RunTeam(threads, [&](std::int32_t number, const TTeam& team) {
    auto& worker = workers[static_cast<std::size_t>(number)];
    worker =
        std::make_unique<TWorker>(context, shared, number, team, control, config.Stream, config.Branches);
    worker->Work();
  });
  control.CheckStop();

  std::size_t total = 0;
  for (const auto& worker : workers)
    total += worker->Sets.size();
  found.Sets.reserve(total);
  for (auto& worker : workers) {
    found.Sets.insert(found.Sets.end(), worker->Sets.begin(), worker->Sets.end());
    found.Steps.insert(found.Steps.end(), worker->Steps.begin(), worker->Steps.end());
    found.Count += worker->Count;
    worker.reset();
  }
  return found;
}

} // namespace closure
