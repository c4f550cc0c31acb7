#include "Sparseunit.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <vector>

#include "Parallelunit.h"
#include "Runcontrolunit.h"
#include "Sparsebitsearchunit.h"
#include "Sparsedatabaseunit.h"
#include "Sparsegraphunit.h"
#include "Sparseprefixunit.h"
#include "Sparseresultsunit.h"
#include "Sparseteamunit.h"

// The search lists closed item sets by prefix-preserving closure extension.
// Items are the vertices of the searched side, transactions those of the
// other side (Sparsegraphunit). A node is a closed item set with its core
// (the item that made it) and its conditional database (Sparsedatabaseunit);
// its children add one candidate e above the core, close the set, and are
// kept only when the closure adds no item below e (the prefix test,
// Sparseprefixunit), so every closed set is reached once. A child whose
// database is small is searched on bit masks (Sparsebitsearchunit). The
// root's children are shared out among the workers (Sparseteamunit); every
// set found goes to its worker's result sink (Sparseresultsunit).
//
// Runs that hand each other subtree tasks: a worker asked for work gives the
// children it has not reached of its shallowest open node, as the items
// that lead to the node and the candidate it stopped at. The taker rebuilds
// the node from the root by those items, knowing none of the giver's failed
// candidates (they only prune: the prefix test rejects each again), so its
// databases may hold more items than the giver's, and it finds candidates by
// item rather than by place.

namespace sparse {

namespace {

// What every worker reads: the run's settings.
struct TSearch {
  std::int32_t Items = 0;
  TSearchBounds Bounds;
  std::int32_t SmallDatabase = 64; // entries of the largest bit-searched database
  std::size_t FailedScanRatio = 256;
  TResultSettings Results;
  bool ListsRoot = true;               // this run lists the root's own results
  const TBranchShare* Share = nullptr; // the root's children this run searches; null: all
};

// A node of the list search.
struct TLevel {
  std::vector<std::int32_t> Itemset; // ascending
  std::int32_t Core = -1;
  TDatabase Database;
  TDelivery Delivery; // its candidates, once delivered
  TFailures Failures;
  // While Expand searches its children: the candidate being searched, and
  // the lowest this worker is still to search (those below were given away).
  bool Open = false;
  std::size_t Next = 0;
  std::size_t Floor = 0;
};

// What Extend made of a child with children to search.
enum class TChildKind {
  None,  // nothing to search below it
  Lists, // a conditional database of lists, in the next level
  Bits,  // a database of at most 64 entries, in the bit search
};

class TWorker {
public:
  TResultSink Results;
  TTeamMember Member;

  TWorker(const TSearch& search, TSearchTeam& team, std::int32_t id)
      : Results(search.Results, id), Member(team, id, Results), Search(search), Team(team),
        Scan(search.Items, search.Bounds.MinSupport), Maker(search.Items),
        Bits(search.Items, search.Bounds, search.SmallDatabase, Results, Member) {}

  // Makes the root from `raw`, whose entries are the single transactions
  // `all`, into `root`, and emits it. Returns whether it has children to
  // search.
  bool MakeRoot(const TLevel& raw, const std::vector<std::int32_t>& all, TLevel& root) {
    std::int32_t witness = -1;
    return Extend(raw, {}, all.data(), nullptr, static_cast<std::int32_t>(all.size()), -1, root, witness) !=
           TChildKind::None;
  }

  // Gives `level` its candidates and their failures known so far.
  void Deliver(TLevel& level) {
    Maker.Deliver(level.Database, level.Delivery);
    level.Failures.Start(level.Delivery.Candidates);
  }

  // Takes the root's candidates from the team until none is left. The
  // root's failures are shared: each worker keeps the list of those it saw.
  // Then, when runs hand each other tasks, searches the tasks it is given
  // until none is left.
  void SearchRoot(TLevel& root) {
    Member.Begin();
    for (std::int32_t next = Team.Next(); next >= 0; next = Team.Next())
      SearchBranch(root, static_cast<std::size_t>(next));
    if (Team.Steals()) {
      for (std::optional<TSubtreeTask> task = Team.Take(); task; task = Team.Take())
        SearchTask(root, *task);
    }
    Member.Publish();
  }

private:
  const TSearch& Search;
  TSearchTeam& Team;
  std::vector<std::unique_ptr<TLevel>> Levels;
  TChildScan Scan;
  TDatabaseMaker Maker;
  TBitSearch Bits;
  std::vector<std::int32_t> Added;  // closure items above the extension
  std::vector<std::int32_t> Extent; // a result's transactions
  TFailedList RootFailed;           // the root's failed candidates seen here
  TBranchRange TaskBranches;        // root branches of a task, not started yet

  // Searches the root's child by its candidate k, unless known to fail.
  void SearchBranch(TLevel& root, std::size_t k) {
    Member.Step();
    if (Member.GiveDue) GiveAway();
    if (root.Failures.LoadWitness(k) >= 0) return;
    const std::int32_t witness = SearchChild(root, RootFailed, k, 0);
    if (witness >= 0) {
      root.Failures.StoreWitness(k, witness);
      RootFailed.emplace_back(root.Delivery.Candidates[k], witness);
    }
  }

  // Searches the children of the node at `depth` by candidates below
  // `limit`, highest candidate first: a failed child tells its lower
  // siblings' subtrees which items fail there too.
  void Expand(std::size_t depth, std::int32_t limit = std::numeric_limits<std::int32_t>::max()) {
    TLevel& level = Level(depth);
    Deliver(level);
    TFailures& failures = level.Failures;
    const std::vector<std::int32_t>& candidates = level.Delivery.Candidates;
    level.Open = true;
    level.Floor = 0;
    for (auto k = static_cast<std::size_t>(std::lower_bound(candidates.begin(), candidates.end(), limit) -
                                           candidates.begin());
         k-- > level.Floor;) {
      level.Next = k;
      Member.Step();
      if (Member.GiveDue) GiveAway();
      if (failures.Witness[k] >= 0) continue;
      const std::int32_t witness = SearchChild(level, failures.Failed, k, depth);
      if (witness >= 0) {
        failures.Witness[k] = witness;
        failures.Failed.emplace_back(level.Delivery.Candidates[k], witness);
      }
    }
    level.Open = false;
  }

  // Gives another run work not started yet, unless another worker took
  // the want on first: half the root branches this run holds, else half
  // those of this worker's task, else the children not yet reached of the
  // shallowest open node that has any. Whole branches come first: they are
  // the larger and cost the taker no rebuilding.
  void GiveAway() {
    Member.GiveDue = false;
    if (!Team.ClaimWant()) return;
    TSubtreeTask task;
    if (Team.SplitBranches(task)) {
      Team.Give(task);
      return;
    }
    if (TaskBranches.First < TaskBranches.Last) {
      const std::int64_t middle = TaskBranches.First + (TaskBranches.Last - TaskBranches.First) / 2;
      task.FirstBranch = static_cast<std::int32_t>(middle);
      task.LastBranch = static_cast<std::int32_t>(TaskBranches.Last);
      TaskBranches.Last = middle;
      Team.Give(task);
      return;
    }
    for (std::size_t d = 1; d < Levels.size(); ++d) {
      TLevel& level = *Levels[d];
      if (!level.Open || level.Next == level.Floor) continue;
      for (std::size_t i = 1; i <= d; ++i)
        task.Path.push_back(Levels[i]->Core);
      task.Limit = level.Delivery.Candidates[level.Next];
      level.Floor = level.Next;
      Team.Give(task);
      return;
    }
    // Nothing to give: the want stays for another worker.
    Team.Unclaim();
  }

  // Searches a task another run gave: rebuilds the nodes on its path from
  // the root, then searches the last one's children below the limit.
  void SearchTask(TLevel& root, const TSubtreeTask& task) {
    if (task.Path.empty()) {
      const auto count = static_cast<std::int64_t>(root.Delivery.Candidates.size());
      if (task.LastBranch > count)
        throw std::runtime_error("a subtree task from another run is not one of this search");
      for (TaskBranches = {task.FirstBranch, task.LastBranch}; TaskBranches.First < TaskBranches.Last;)
        SearchBranch(root, static_cast<std::size_t>(count - 1 - TaskBranches.First++));
      return;
    }
    const TLevel* parent = &root;
    for (std::size_t d = 1; d <= task.Path.size(); ++d) {
      TLevel& node = Level(d);
      Rebuild(*parent, task.Path[d - 1], node);
      if (node.Database.Entries.empty()) return;
      if (d < task.Path.size()) Deliver(node);
      parent = &node;
    }
    Expand(task.Path.size(), task.Limit);
  }

  // Makes the child of `parent` by its candidate `item` into `child`
  // again, as a database of lists, emitting nothing: a run searched it
  // before and gave away part of its subtree.
  void Rebuild(const TLevel& parent, std::int32_t item, TLevel& child) {
    const TDelivery& delivery = parent.Delivery;
    const auto at = std::lower_bound(delivery.Candidates.begin(), delivery.Candidates.end(), item);
    const auto k = static_cast<std::size_t>(at - delivery.Candidates.begin());
    std::int32_t witness = -1;
    if (at == delivery.Candidates.end() || *at != item ||
        !Scan.Start(parent.Database, parent.Core, delivery.Occ.data() + delivery.OccStarts[k],
                    delivery.OccPlace.data() + delivery.OccStarts[k],
                    delivery.OccStarts[k + 1] - delivery.OccStarts[k], item) ||
        !KeepsPrefix(Scan, witness))
      throw std::runtime_error("a subtree task from another run is not one of this search");
    const std::size_t highs = Scan.CountAbove();
    Close(parent, child);
    HandDownFailures(parent.Failures, {}, Search.FailedScanRatio, child.Itemset, Scan,
                     child.Failures.Blocked);
    Maker.Build(Scan, highs, child.Database);
    Scan.ClearCounts();
  }

  // Searches the child of the node `parent` at `depth` by its candidate k,
  // and the child's subtree; `failed` are the node's candidates known to
  // fail. Returns the witness of a failed prefix test, else -1.
  std::int32_t SearchChild(const TLevel& parent, const TFailedList& failed, std::size_t k,
                           std::size_t depth) {
    const TDelivery& delivery = parent.Delivery;
    const std::int32_t first = delivery.OccStarts[k];
    std::int32_t witness = -1;
    switch (Extend(parent, failed, delivery.Occ.data() + first, delivery.OccPlace.data() + first,
                   delivery.OccStarts[k + 1] - first, delivery.Candidates[k], Level(depth + 1), witness)) {
    case TChildKind::None:
      break;
    case TChildKind::Lists:
      Expand(depth + 1);
      break;
    case TChildKind::Bits:
      Bits.Search();
      break;
    }
    return witness;
  }

  // The child of `parent` by item e (e < 0: the root, made from every raw
  // transaction), whose entries in `parent` are occ[0..count), with e at
  // places[0..count) of their high parts (null for the root): closes it,
  // tests its prefix, emits it and makes its database into `child`. On a
  // failed prefix test, `witness` is set to an item below e in the closure
  // but not in the parent.
  TChildKind Extend(const TLevel& parent, const TFailedList& failed, const std::int32_t* occ,
                    const std::int32_t* places, std::int32_t count, std::int32_t e, TLevel& child,
                    std::int32_t& witness) {
    if (!Scan.Start(parent.Database, parent.Core, occ, places, count, e)) return TChildKind::None;
    // The lowest witness is the best: below a sibling's extension it fails
    // that sibling's whole subtree.
    if (!KeepsPrefix(Scan, witness)) return TChildKind::None;
    const std::size_t highs = Scan.CountAbove();
    Close(parent, child);
    const auto size = static_cast<std::int32_t>(child.Itemset.size());
    // On the transpose the root without items is every target with no
    // source: not the target set of a source.
    if (Search.Bounds.Lists(Scan.Support, size) && !(e < 0 && Search.Results.Transposed && size == 0) &&
        (e >= 0 || Search.ListsRoot))
      EmitChild(child);
    HandDownFailures(parent.Failures, failed, Search.FailedScanRatio, child.Itemset, Scan,
                     child.Failures.Blocked);
    const TChildKind kind = MakeDatabase(child, highs);
    Scan.ClearCounts();
    return kind;
  }

  // The child's item set: the parent's, e and the items above e that every
  // transaction of the occurrence holds (those counted as the child's
  // support).
  void Close(const TLevel& parent, TLevel& child) {
    Added.clear();
    for (const std::int32_t item : Scan.Touched) {
      if (Scan.Counted[static_cast<std::size_t>(item)] == Scan.Support) Added.push_back(item);
    }
    child.Itemset.assign(parent.Itemset.begin(), parent.Itemset.end());
    if (Scan.Where.Item >= 0) child.Itemset.push_back(Scan.Where.Item);
    child.Itemset.insert(child.Itemset.end(), Added.begin(), Added.end());
    std::sort(child.Itemset.begin(), child.Itemset.end());
    child.Core = Scan.Where.Item;
  }

  void EmitChild(const TLevel& child) {
    Extent.clear();
    if (Results.WantsTransactions()) {
      const TOccurrence where = Scan.Where;
      for (std::int32_t i = 0; i < where.Count; ++i) {
        const TEntry& entry = where.Entry(i);
        Extent.insert(Extent.end(), entry.Ids, entry.Ids + entry.Weight);
      }
      std::sort(Extent.begin(), Extent.end());
    }
    Results.Emit(child.Itemset, Extent);
  }

  // Makes the child's database, as bits when it is small, unless no
  // descendant of the child can be listed.
  TChildKind MakeDatabase(TLevel& child, std::size_t highs) {
    const TCandidateTest isCandidate = Scan.CandidateTest();
    std::int32_t left = 0;
    for (const std::int32_t item : Scan.Touched) {
      if (isCandidate(Scan.Counted[static_cast<std::size_t>(item)])) ++left;
    }
    if (!Search.Bounds.MayGrow(static_cast<std::int64_t>(child.Itemset.size()), left))
      return TChildKind::None;
    // Entries without a candidate do not count towards a bit database, so
    // more entries than it takes may still make one.
    if (Scan.Where.Item >= 0 && Scan.Where.Count <= 4 * Search.SmallDatabase &&
        Bits.Start(Scan, child.Itemset))
      return Bits.HasCandidates() ? TChildKind::Bits : TChildKind::None;
    Maker.Build(Scan, highs, child.Database);
    return child.Database.Entries.empty() ? TChildKind::None : TChildKind::Lists;
  }

  TLevel& Level(std::size_t depth) {
    while (Levels.size() <= depth)
      Levels.push_back(std::make_unique<TLevel>());
    return *Levels[depth];
  }
};

using TWorkers = std::vector<std::unique_ptr<TWorker>>;

void AddWorker(const TSearch& search, TSearchTeam& team, TWorkers& workers) {
  workers.push_back(std::make_unique<TWorker>(search, team, team.Size()));
  team.Join(workers.back()->Member);
}

// The store for a run's results. It keeps the item side's lists, to find
// a stored result's transactions again; a streamed run frees them, as its
// results are never read back.
std::unique_ptr<TResultStore> MakeStore(TGraphLists& lists, bool transposed, bool streamed,
                                        std::int32_t transactions) {
  auto& starts = transposed ? lists.RowStarts : lists.ColumnStarts;
  auto& members = transposed ? lists.RowMembers : lists.ColumnMembers;
  if (streamed) {
    std::vector<std::int64_t>().swap(starts);
    std::vector<std::int32_t>().swap(members);
  }
  return std::make_unique<TResultStore>(transactions, std::move(starts), std::move(members));
}

// The root, made by `main` from every transaction (transaction t: members
// [starts[t] .. starts[t + 1])) as a database of single rows. False when
// it has no child to search.
bool MakeRootLevel(std::int32_t transactions, const std::vector<std::int64_t>& starts,
                   const std::vector<std::int32_t>& members, TWorker& main, TLevel& root) {
  TLevel raw;
  std::vector<std::int32_t> all(static_cast<std::size_t>(transactions));
  std::iota(all.begin(), all.end(), 0);
  raw.Database.Entries.resize(all.size());
  for (std::size_t t = 0; t < all.size(); ++t) {
    TEntry& entry = raw.Database.Entries[t];
    entry.High = members.data() + starts[t];
    entry.HighLength = static_cast<std::int32_t>(starts[t + 1] - starts[t]);
    entry.Ids = all.data() + t;
    entry.Weight = 1;
  }
  return !all.empty() && main.MakeRoot(raw, all, root);
}

// On the transpose the item set of every source goes with the empty target
// set when no target has every source: not a closed set of the search.
// `columnStarts`: the targets' source lists.
void EmitAllSources(const TBounds& bounds, std::int32_t rowCount, std::int32_t columnCount,
                    const std::vector<std::int64_t>& columnStarts, TWorker& main) {
  if (rowCount == 0 || !bounds.Admits(rowCount, 0)) return;
  for (std::size_t t = 0; t < static_cast<std::size_t>(columnCount); ++t) {
    if (columnStarts[t + 1] - columnStarts[t] == rowCount) return;
  }
  std::vector<std::int32_t> every(static_cast<std::size_t>(rowCount));
  std::iota(every.begin(), every.end(), 0);
  main.Results.Emit(every, {});
}

// Searches the root's children: delivers them, and hands them out, highest
// first as below the root, to up to `threads` workers.
void SearchRootChildren(TLevel& root, const TSearch& search, TSearchTeam& team, TWorkers& workers,
                        std::int32_t threads) {
  workers.front()->Deliver(root);
  const auto candidates = static_cast<std::int32_t>(root.Delivery.Candidates.size());
  team.HandOut(candidates, search.Share);
  for (std::int32_t t = std::min(threads, candidates); team.Size() < t;)
    AddWorker(search, team, workers);
  team.Run([&](std::int32_t member) { workers[static_cast<std::size_t>(member)]->SearchRoot(root); });
}

} // namespace

} // namespace sparse

TSparseBicliques::TSparseBicliques(std::int32_t rowCount, std::int32_t columnCount)
    : RowCount(rowCount), ColumnCount(columnCount), RowAt(static_cast<std::size_t>(rowCount), -1),
      RowLength(static_cast<std::size_t>(rowCount), 0) {
  assert(rowCount >= 0 && columnCount >= 0);
}

TSparseBicliques::~TSparseBicliques() = default;

void TSparseBicliques::SetRow(std::int32_t source, std::span<const std::int32_t> targets) {
  assert(source >= 0 && source < RowCount);
  assert(std::is_sorted(targets.begin(), targets.end()));
  RowAt[static_cast<std::size_t>(source)] = static_cast<std::int64_t>(Adjacent.size());
  RowLength[static_cast<std::size_t>(source)] = static_cast<std::int32_t>(targets.size());
  Adjacent.insert(Adjacent.end(), targets.begin(), targets.end());
}

std::int64_t TSparseBicliques::Run(const TRunConfig& config) {
  using namespace sparse;
  ResultCount = 0;
  Store.reset();
  TGraphLists lists = TakeLists(RowCount, ColumnCount, Adjacent, RowAt, RowLength);
  Transposed = Side == TSearchSide::Sources ||
               (Side == TSearchSide::Automatic && RowCount > 0 && ColumnCount > 0 && SourcesCostLess(lists));
  const std::int32_t transactions = Transposed ? ColumnCount : RowCount;
  auto store = MakeStore(lists, Transposed, static_cast<bool>(config.Stream), transactions);
  auto& starts = Transposed ? lists.ColumnStarts : lists.RowStarts;
  auto& members = Transposed ? lists.ColumnMembers : lists.RowMembers;
  TSearch search;
  search.Items = Transposed ? RowCount : ColumnCount;
  const std::vector<std::int32_t> original = RenumberItems(transactions, search.Items, starts, members);
  search.Bounds = SearchBounds(config.Bounds, Transposed);
  search.SmallDatabase =
      config.Branches.Steals() && config.Branches.SplitSmall ? 0 : std::clamp(SmallDatabase, 0, 64);
  search.FailedScanRatio = static_cast<std::size_t>(std::max(0, FailedScanRatio));
  search.Results = {original.data(), Transposed, config.Stream ? &config.Stream : nullptr,
                    config.Stream && config.CountOnly};
  search.ListsRoot = !config.Branches.Next || config.Branches.ListsRoot;
  search.Share = config.Branches.Next ? &config.Branches : nullptr;
  TRunControl control(config);
  TSearchTeam team(control);
  TWorkers workers;
  AddWorker(search, team, workers);
  TLevel root;
  const bool children = MakeRootLevel(transactions, starts, members, *workers.front(), root);
  // The root holds its own copy of the transactions' items.
  std::vector<std::int32_t>().swap(members);
  if (Transposed && search.ListsRoot)
    EmitAllSources(config.Bounds, RowCount, ColumnCount, starts, *workers.front());
  if (children) SearchRootChildren(root, search, team, workers, ThreadCount(config.Threads));
  control.CheckStop();

  for (auto& worker : workers) {
    ResultCount += worker->Results.Total();
    store->Add(worker->Results.TakeStored());
  }
  Store = std::move(store);
  return ResultCount;
}

std::int64_t TSparseBicliques::Count() const { return ResultCount; }

TSearchSide TSparseBicliques::UsedSide() const {
  return Transposed ? TSearchSide::Sources : TSearchSide::Targets;
}

void TSparseBicliques::ForEachResult(std::int64_t first, std::int64_t last,
                                     const TResultVisitor& visit) const {
  assert(0 <= first && first <= last && last <= ResultCount);
  if (first == last) return;
  Store->ForEach(first, last, Transposed, visit);
}
