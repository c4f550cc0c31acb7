#include "Sparseunit.h"

#include "Parallelunit.h"
#include "Runcontrolunit.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <numeric>

// The search lists closed item sets by prefix-preserving closure extension.
// Items are the vertices of the searched side, transactions those of the
// other side (a transaction holds the items it is adjacent to). A node is a
// closed item set P with its core c (the item that made it); its children
// add one item e > c, close the set, and are kept only when the closure adds
// no item below e (the prefix test), so every closed set is reached once.
//
// A node owns its conditional database: one entry per group of transactions
// of its occurrence that agree on their items above c that are frequent
// there and not in P (the entry's "high" items); groups whose high part is
// empty are dropped, since no descendant can occur in them. Each entry keeps
// the exact intersection of its transactions' full rows (for the prefix test
// below c), its weight (how many transactions) and their numbers.
//
// A node delivers its occurrences once: one pass over its entries gives every
// candidate item the list of entries holding it. A child then counts its
// entries' high items: those counting as many transactions as the child are
// its closure; one of them below e fails the prefix test; the ones left that
// are frequent enough form the child's database.

namespace {

// One entry of a conditional database.
struct TEntry {
  // Items below the node's core, outside its set, that every transaction of
  // the entry holds, ascending: what the prefix test must look at besides
  // the high items.
  const std::int32_t* Low = nullptr;
  const std::int32_t* High = nullptr; // items still to try, ascending
  const std::int32_t* Ids = nullptr;  // its transactions, Weight of them
  std::int32_t LowLength = 0;
  std::int32_t HighLength = 0;
  std::int32_t Weight = 0;
};

// A node: its item set, its core and its conditional database; after
// Deliver, the entries holding each candidate.
struct TLevel {
  std::vector<std::int32_t> Itemset; // ascending
  std::int32_t Core = -1;
  std::vector<TEntry> Entries;
  std::vector<std::int32_t> Items; // high parts
  std::vector<std::int32_t> Ids;
  std::vector<std::int32_t> Lows; // low parts
  // Candidates whose child is known to fail the prefix test, with the item
  // that fails it (the witness), as the parent learnt them; by item.
  std::vector<std::pair<std::int32_t, std::int32_t>> Blocked;
  std::vector<std::int32_t> Candidates; // ascending
  std::vector<std::int32_t> OccStarts;  // per candidate, into Occ; one more
  std::vector<std::int32_t> Occ;        // entry numbers
  std::vector<std::int32_t> OccPlace;   // per Occ: the candidate's place in the entry's high part
  // Per candidate: the witness of its failed child, else -1. Read and written
  // through atomic_ref, since the root's is shared by every thread.
  std::vector<std::int32_t> Witness;
  // The candidates known to fail, with their witnesses: the blocked ones and
  // the failed children so far (the root's are each worker's own).
  std::vector<std::pair<std::int32_t, std::int32_t>> Failed;
};

std::int32_t LoadWitness(const TLevel& level, std::size_t k) {
  return std::atomic_ref<const std::int32_t>(level.Witness[k]).load(std::memory_order_relaxed);
}

void StoreWitness(TLevel& level, std::size_t k, std::int32_t witness) {
  std::atomic_ref<std::int32_t>(level.Witness[k]).store(witness, std::memory_order_relaxed);
}

// Results kept for ForEachResult: per result its length and items; the
// offset of every 64th result.
struct TResultList {
  std::vector<std::int32_t> Data;
  std::vector<std::int64_t> Index;
  std::int64_t Count = 0;

  void Add(const std::vector<std::int32_t>& items) {
    if (Count % 64 == 0) Index.push_back(static_cast<std::int64_t>(Data.size()));
    Data.push_back(static_cast<std::int32_t>(items.size()));
    Data.insert(Data.end(), items.begin(), items.end());
    ++Count;
  }
};

// What every worker reads: the transactions and the run's settings.
struct TSearch {
  std::int32_t Transactions = 0;
  std::int32_t Items = 0;
  const std::int64_t* Starts = nullptr; // transaction t: Members[Starts[t] .. Starts[t + 1])
  const std::int32_t* Members = nullptr;
  // Item i of the search is vertex Original[i] of its side.
  const std::int32_t* Original = nullptr;
  bool Transposed = false;
  // Bounds on the item set (Items) and on its transactions (Support).
  std::int32_t MinSupport = 1;
  std::int32_t MaxSupport = 0;
  std::int32_t MinItems = 0;
  std::int32_t MaxItems = 0;
  std::int32_t SmallDatabase = 64; // entries of the largest bit-searched database
  const TResultVisitor* Stream = nullptr;
  bool CountOnly = false; // Stream ignores the results: only count them
  // The stop request and the progress reports (worker 0 only).
  TRunControl* Control = nullptr;
};

class TWorker;

// What Extend made of a child with children to search.
enum class TChild {
  None,  // nothing to search below it
  Lists, // a conditional database of lists, in the next level
  Bits,  // a database of at most 64 entries, in the first bit level
};

// A node of a small database, where entry i of the database is bit i: the
// masks say which entries hold an item. The node's own transactions are a
// mask its caller holds.
struct TBitLevel {
  std::vector<std::int32_t> Items;   // candidates, ascending
  std::vector<std::uint64_t> Masks;  // per candidate
  std::vector<std::uint64_t> Others; // per item below the core outside the set
};

// Whether one of `masks` holds every entry of `mask`.
bool HeldByOne(const std::vector<std::uint64_t>& masks, std::uint64_t mask) {
  return std::any_of(masks.begin(), masks.end(), [&](std::uint64_t wider) { return (mask & ~wider) == 0; });
}

// Leaves in `masks` only those that are no subset of another: a mask that
// holds a set of entries is one of them or holds it too, and so does its
// intersection with any set.
void KeepMaximal(std::vector<std::uint64_t>& masks, std::vector<std::uint64_t>& scratch) {
  // Widest first, by a counting sort on the number of bits.
  std::array<std::size_t, 66> at{};
  for (const std::uint64_t mask : masks)
    ++at[static_cast<std::size_t>(64 - std::popcount(mask)) + 1];
  for (std::size_t bits = 1; bits < at.size(); ++bits)
    at[bits] += at[bits - 1];
  scratch.resize(masks.size());
  for (const std::uint64_t mask : masks)
    scratch[at[static_cast<std::size_t>(64 - std::popcount(mask))]++] = mask;
  masks.clear();
  std::uint64_t seen = 0; // the union of the masks kept
  for (const std::uint64_t mask : scratch) {
    // A mask with a bit no kept one has is kept; one of a single seen bit is not.
    const bool covered = (mask & ~seen) == 0 && (std::has_single_bit(mask) || HeldByOne(masks, mask));
    if (!covered) {
      masks.push_back(mask);
      seen |= mask;
    }
  }
}

// Adds `mask` to the antichain `masks` unless one of them holds it; drops
// those it holds.
void AddMaximal(std::vector<std::uint64_t>& masks, std::uint64_t mask) {
  if (HeldByOne(masks, mask)) return;
  std::erase_if(masks, [&](std::uint64_t narrower) { return (narrower & ~mask) == 0; });
  masks.push_back(mask);
}

// Calls visit(i) for every entry i of `mask`.
template <typename TVisit> void ForEachEntry(std::uint64_t mask, TVisit&& visit) {
  for (; mask != 0; mask &= mask - 1)
    visit(static_cast<std::size_t>(std::countr_zero(mask)));
}

struct TShared {
  std::atomic<std::int32_t> Next{0}; // next root candidate, by Order
  std::vector<std::int32_t> Order;   // root candidates, biggest first
  std::atomic<bool> Abort{false};
  std::mutex Mutex;
  std::exception_ptr Error;
  std::vector<TWorker*> Workers;

  void Fail(std::exception_ptr error) {
    const std::lock_guard lock(Mutex);
    if (!Error) Error = error;
    Abort.store(true, std::memory_order_relaxed);
  }
};

class TWorker {
public:
  TResultList Results;
  std::atomic<std::int64_t> Found{0}; // results so far, published now and then

  TWorker(const TSearch& search, TShared& shared, std::int32_t id)
      : Search(search), Shared(shared), Id(id), Count(static_cast<std::size_t>(search.Items), 0),
        Slot(static_cast<std::size_t>(search.Items), -1), MaskOf(static_cast<std::size_t>(search.Items), 0) {}

  // Builds the root node from the raw transactions into `root`; emits it.
  // Returns whether it has children to search.
  bool MakeRoot(TLevel& raw, std::vector<std::int32_t>& all, TLevel& root) {
    std::int32_t witness = -1;
    return Extend(raw, {}, all.data(), nullptr, static_cast<std::int32_t>(all.size()), -1, root, witness) !=
           TChild::None;
  }

  void Deliver(TLevel& level) {
    level.Candidates.clear();
    std::vector<std::int32_t>& counts = Touched;
    counts.clear();
    for (const TEntry& entry : level.Entries) {
      for (std::int32_t i = 0; i < entry.HighLength; ++i) {
        const auto item = static_cast<std::size_t>(entry.High[i]);
        if (Slot[item] < 0) {
          Slot[item] = 0;
          level.Candidates.push_back(entry.High[i]);
        }
      }
    }
    // Ascending candidates, so that children can find their parent's
    // knowledge of an item by search.
    std::sort(level.Candidates.begin(), level.Candidates.end());
    const std::size_t candidates = level.Candidates.size();
    counts.assign(candidates, 0);
    for (std::size_t k = 0; k < candidates; ++k)
      Slot[static_cast<std::size_t>(level.Candidates[k])] = static_cast<std::int32_t>(k);
    for (const TEntry& entry : level.Entries) {
      for (std::int32_t i = 0; i < entry.HighLength; ++i)
        ++counts[static_cast<std::size_t>(Slot[static_cast<std::size_t>(entry.High[i])])];
    }
    level.OccStarts.resize(candidates + 1);
    std::int32_t total = 0;
    for (std::size_t k = 0; k < candidates; ++k) {
      level.OccStarts[k] = total;
      total += counts[k];
    }
    level.OccStarts[candidates] = total;
    level.Occ.resize(static_cast<std::size_t>(total));
    level.OccPlace.resize(static_cast<std::size_t>(total));
    std::copy(level.OccStarts.begin(), level.OccStarts.end() - 1, counts.begin());
    for (std::size_t e = 0; e < level.Entries.size(); ++e) {
      const TEntry& entry = level.Entries[e];
      for (std::int32_t i = 0; i < entry.HighLength; ++i) {
        const auto slot = static_cast<std::size_t>(Slot[static_cast<std::size_t>(entry.High[i])]);
        const auto at = static_cast<std::size_t>(counts[slot]++);
        level.Occ[at] = static_cast<std::int32_t>(e);
        level.OccPlace[at] = i;
      }
    }
    for (const std::int32_t item : level.Candidates)
      Slot[static_cast<std::size_t>(item)] = -1;
    Touched.clear();
    level.Witness.assign(candidates, -1);
    std::size_t k = 0;
    for (const auto& [item, witness] : level.Blocked) {
      while (k < candidates && level.Candidates[k] < item)
        ++k;
      if (k < candidates && level.Candidates[k] == item) level.Witness[k] = witness;
    }
    level.Failed = level.Blocked;
  }

  // Searches the children of the node at `depth`.
  void Expand(std::size_t depth) {
    TLevel& level = Level(depth);
    Deliver(level);
    // Highest first: a failed child tells its lower siblings' subtrees
    // which items fail there too.
    for (std::size_t k = level.Candidates.size(); k-- > 0;) {
      Tick();
      if (level.Witness[k] >= 0) continue;
      const std::int32_t witness = SearchChild(level, level.Failed, k, depth);
      if (witness >= 0) {
        level.Witness[k] = witness;
        level.Failed.emplace_back(level.Candidates[k], witness);
      }
    }
  }

  // Takes root candidates until none is left; the root is `root`.
  void SearchRoot(TLevel& root) {
    for (;;) {
      const std::int32_t next = Shared.Next.fetch_add(1, std::memory_order_relaxed);
      if (next >= static_cast<std::int32_t>(Shared.Order.size())) break;
      const auto k = static_cast<std::size_t>(Shared.Order[static_cast<std::size_t>(next)]);
      Tick();
      if (LoadWitness(root, k) >= 0) continue;
      const std::int32_t witness = SearchChild(root, RootFailed, k, 0);
      if (witness >= 0) {
        StoreWitness(root, k, witness);
        RootFailed.emplace_back(root.Candidates[k], witness);
      }
    }
    Found.store(Total(), std::memory_order_relaxed);
  }

  // Searches the child of the node at `depth` by its candidate k, and the
  // child's subtree; `failed` are the node's candidates known to fail.
  // Returns the witness of a failed prefix test, else -1.
  std::int32_t SearchChild(const TLevel& parent,
                           const std::vector<std::pair<std::int32_t, std::int32_t>>& failed, std::size_t k,
                           std::size_t depth) {
    const std::int32_t first = parent.OccStarts[k];
    std::int32_t witness = -1;
    switch (Extend(parent, failed, parent.Occ.data() + first, parent.OccPlace.data() + first,
                   parent.OccStarts[k + 1] - first, parent.Candidates[k], Level(depth + 1), witness)) {
    case TChild::None:
      break;
    case TChild::Lists:
      Expand(depth + 1);
      break;
    case TChild::Bits:
      ExpandBits(0, BitOccurrence);
      break;
    }
    return witness;
  }

  // Searches the children of the bit level at `depth`, whose transactions
  // are `occurrence`. The same search as Expand, with sets of entries as
  // masks: a child's transactions are its parent's ANDed with the mask of
  // its item, and it fails the prefix test when an item below its item,
  // outside the set, holds all of them.
  void ExpandBits(std::size_t depth, std::uint64_t occurrence) {
    TBitLevel& level = BitLevel(depth);
    DropCovered(level, occurrence);
    for (std::size_t k = 0; k < level.Items.size(); ++k) {
      Tick();
      // Candidates before k are items below k outside the set.
      if (k > 0) AddMaximal(level.Others, level.Masks[k - 1]);
      const std::uint64_t child = occurrence & level.Masks[k];
      const std::int32_t support = Weight(child);
      if (support < Search.MinSupport) continue;
      TBitLevel& next = BitLevel(depth + 1);
      if (!KeepsPrefixBits(level, child, next)) continue;
      const std::size_t outer = Members.size();
      Members.push_back(level.Items[k]);
      next.Items.clear();
      next.Masks.clear();
      for (std::size_t j = k + 1; j < level.Items.size(); ++j) {
        const std::uint64_t shared = level.Masks[j] & child;
        if (shared == child) {
          Members.push_back(level.Items[j]); // in the closure
        } else if (shared != 0 && (Search.MinSupport == 1 || Weight(shared) >= Search.MinSupport)) {
          next.Items.push_back(level.Items[j]);
          next.Masks.push_back(shared);
        }
      }
      const auto size = static_cast<std::int64_t>(Members.size());
      if (support <= Search.MaxSupport && size >= Search.MinItems && size <= Search.MaxItems) {
        Extent.clear();
        if (Search.Stream != nullptr && !Search.CountOnly) {
          ForEachEntry(child, [&](std::size_t bit) {
            const TEntry& entry = *BitEntries[bit];
            Extent.insert(Extent.end(), entry.Ids, entry.Ids + entry.Weight);
          });
          std::sort(Extent.begin(), Extent.end());
        }
        Emit(Members, Extent);
      }
      if (!next.Items.empty() && size < Search.MaxItems &&
          size + static_cast<std::int64_t>(next.Items.size()) >= Search.MinItems)
        ExpandBits(depth + 1, child);
      Members.resize(outer);
    }
  }

  // Results so far, stored or streamed.
  std::int64_t Total() const { return Results.Count + Streamed; }

  // Counts one result and hands it on: stream or store. Pre: `itemset` is
  // every item.
  void EmitExtra(const std::vector<std::int32_t>& itemset, const std::vector<std::int32_t>& ids) {
    Emit(itemset, ids);
  }

  // Passes the results found so far on to the progress reports (worker 0 only).
  void Report() {
    std::int64_t sets = 0;
    for (const TWorker* worker : Shared.Workers)
      sets += worker->Found.load(std::memory_order_relaxed);
    Search.Control->Report(TPhase::Enumerating, 0, sets);
  }

private:
  const TSearch& Search;
  TShared& Shared;
  std::int32_t Id;
  std::vector<std::unique_ptr<TLevel>> Levels;
  std::vector<std::int32_t> Count;   // per item: weight counted in the current child
  std::vector<std::int32_t> Slot;    // per item: candidate number during Deliver, else -1
  std::vector<std::int32_t> Touched; // items with a count
  std::vector<std::int32_t> Added;   // closure items above the extension
  std::vector<std::int32_t> Extent;
  std::vector<std::int32_t> Named;  // a result's items as vertex numbers
  std::vector<std::int32_t> Common; // prefix test scratch
  std::vector<std::int32_t> Table;  // hash table of groups
  std::vector<std::int32_t> GroupOf;
  std::vector<std::uint64_t> GroupHash;
  std::vector<std::int32_t> GroupStart;
  std::vector<std::int32_t> GroupMembers;
  std::vector<std::int32_t> GroupFirst;
  std::vector<std::int32_t> GroupAt;
  std::vector<std::int32_t> GroupLowAt;
  std::vector<std::int32_t> Below; // per entry of the child's occurrence: its high items below e
  // The bit search: its levels, the entry of every bit, whether every entry
  // weighs 1, the first level's transactions and the current item set.
  std::vector<std::unique_ptr<TBitLevel>> BitLevels;
  std::array<const TEntry*, 64> BitEntries{};
  bool UnitWeights = true;
  std::uint64_t BitOccurrence = 0;
  std::vector<std::int32_t> Members;
  std::vector<std::uint64_t> MaskOf; // per item: its entries while the first bit level is made
  std::vector<std::int32_t> Masked;  // items with a mask
  std::vector<std::uint64_t> MaskScratch;
  std::vector<std::pair<std::int32_t, std::int32_t>> RootFailed; // the root's failed candidates seen here
  std::int64_t Streamed = 0;
  std::uint32_t Steps = 0;

  TBitLevel& BitLevel(std::size_t depth) {
    while (BitLevels.size() <= depth)
      BitLevels.push_back(std::make_unique<TBitLevel>());
    return *BitLevels[depth];
  }

  // Whether an item of weight `counted` in a child of weight `support` is a
  // candidate of the child's database: frequent, and not in its closure.
  bool IsCandidate(std::int32_t counted, std::int32_t support) const {
    return counted >= Search.MinSupport && counted < support;
  }

  // How many transactions the entries of `mask` hold.
  std::int32_t Weight(std::uint64_t mask) const {
    if (UnitWeights) return std::popcount(mask);
    std::int32_t weight = 0;
    ForEachEntry(mask, [&](std::size_t bit) { weight += BitEntries[bit]->Weight; });
    return weight;
  }

  // Leaves out the candidates whose transactions here all hold one of the
  // level's others: their children fail the prefix test, here and in every
  // subtree. Nor are they needed among the others of higher candidates or
  // in a closure: whatever they would cover, the other covers too.
  static void DropCovered(TBitLevel& level, std::uint64_t occurrence) {
    std::size_t kept = 0;
    for (std::size_t k = 0; k < level.Items.size(); ++k) {
      if (HeldByOne(level.Others, occurrence & level.Masks[k])) continue;
      level.Items[kept] = level.Items[k];
      level.Masks[kept] = level.Masks[k];
      ++kept;
    }
    level.Items.resize(kept);
    level.Masks.resize(kept);
  }

  // The prefix test of a child of `level` with transactions `child`: the
  // level's others are the widest masks of the items below the child's
  // item outside the set. Keeps in `next.Others` their parts in the child's
  // transactions.
  bool KeepsPrefixBits(const TBitLevel& level, std::uint64_t child, TBitLevel& next) {
    next.Others.clear();
    for (const std::uint64_t mask : level.Others) {
      const std::uint64_t shared = mask & child;
      if (shared == child) return false;
      if (shared != 0) next.Others.push_back(shared);
    }
    return true;
  }

  // The first bit level from the child of `parent` by e, whose entries are
  // occ[0..count), with Count holding the weights of the items above e: its
  // candidates are the items that would go into its list database, its
  // others every item below e the entries hold. Entries without a candidate
  // are left out, as no descendant occurs in them. False, with nothing
  // made, when more entries than SmallDatabase are left.
  bool MakeBits(const TLevel& parent, const std::int32_t* occ, std::int32_t count, std::int32_t e,
                std::int32_t support, const std::vector<std::int32_t>& itemset) {
    Masked.clear();
    const auto mark = [&](std::int32_t item, std::uint64_t bit) {
      std::uint64_t& mask = MaskOf[static_cast<std::size_t>(item)];
      if (mask == 0) Masked.push_back(item);
      mask |= bit;
    };
    const auto isCandidate = [&](std::int32_t item) {
      return item > e && IsCandidate(Count[static_cast<std::size_t>(item)], support);
    };
    UnitWeights = true;
    std::int32_t used = 0;
    for (std::int32_t i = 0; i < count; ++i) {
      const TEntry& entry = parent.Entries[static_cast<std::size_t>(occ[i])];
      const std::int32_t* const end = entry.High + entry.HighLength;
      const std::int32_t* const above = Above(entry, i, e);
      if (std::none_of(above, end, isCandidate)) continue;
      if (used == Search.SmallDatabase) {
        for (const std::int32_t item : Masked)
          MaskOf[static_cast<std::size_t>(item)] = 0;
        return false;
      }
      BitEntries[static_cast<std::size_t>(used)] = &entry;
      UnitWeights = UnitWeights && entry.Weight == 1;
      const std::uint64_t bit = std::uint64_t{1} << used++;
      for (std::int32_t j = 0; j < entry.LowLength; ++j)
        mark(entry.Low[j], bit);
      for (const std::int32_t* h = entry.High; h != end; ++h) {
        if (h < above ? *h != e : isCandidate(*h)) mark(*h, bit);
      }
    }
    TBitLevel& level = BitLevel(0);
    level.Items.clear();
    level.Masks.clear();
    level.Others.clear();
    for (const std::int32_t item : Masked) {
      std::uint64_t& mask = MaskOf[static_cast<std::size_t>(item)];
      if (item < e) {
        level.Others.push_back(mask);
        mask = 0;
      } else {
        level.Items.push_back(item);
      }
    }
    std::sort(level.Items.begin(), level.Items.end());
    for (const std::int32_t item : level.Items) {
      level.Masks.push_back(MaskOf[static_cast<std::size_t>(item)]);
      MaskOf[static_cast<std::size_t>(item)] = 0;
    }
    KeepMaximal(level.Others, MaskScratch);
    Members.assign(itemset.begin(), itemset.end());
    BitOccurrence = used == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << used) - 1;
    return true;
  }

  TLevel& Level(std::size_t depth) {
    while (Levels.size() <= depth)
      Levels.push_back(std::make_unique<TLevel>());
    return *Levels[depth];
  }

  void Tick() {
    if ((++Steps & 255) != 0) return;
    Found.store(Total(), std::memory_order_relaxed);
    if (Search.Control->StopRequested() || Shared.Abort.load(std::memory_order_relaxed)) throw TCancelled();
    if (Id == 0) Report();
  }

  // Hands on a result given in search numbers.
  void Emit(const std::vector<std::int32_t>& itemset, const std::vector<std::int32_t>& ids) {
    if (Search.CountOnly) {
      ++Streamed;
      return;
    }
    Named.clear();
    for (const std::int32_t item : itemset)
      Named.push_back(Search.Original[static_cast<std::size_t>(item)]);
    std::sort(Named.begin(), Named.end());
    if (Search.Stream == nullptr) {
      Results.Add(Named);
      return;
    }
    ++Streamed;
    TVertexSet items;
    items.Members = Named.data();
    items.Count = static_cast<std::int32_t>(Named.size());
    TVertexSet transactions;
    transactions.Members = ids.data();
    transactions.Count = static_cast<std::int32_t>(ids.size());
    if (Search.Transposed) {
      (*Search.Stream)(Id, items, transactions);
    } else {
      (*Search.Stream)(Id, transactions, items);
    }
  }

  // Whether the entries `occ` of `parent`, which all hold e, share no item
  // below e outside the parent's set (the prefix test). If not, returns such
  // an item in `witness`. Such an item is in every entry's low part or among
  // its high items below e (Below tells how many).
  bool KeepsPrefix(const TLevel& parent, const std::int32_t* occ, std::int32_t count, std::int32_t& witness) {
    // Only the items of the entry with the fewest of them can be shared.
    std::int32_t base = -1;
    std::int32_t fewest = 0;
    for (std::int32_t i = 0; i < count; ++i) {
      const TEntry& entry = parent.Entries[static_cast<std::size_t>(occ[i])];
      const std::int32_t length = entry.LowLength + Below[static_cast<std::size_t>(i)];
      if (base < 0 || length < fewest) {
        base = i;
        fewest = length;
        if (length == 0) return true;
      }
    }
    // Frequent items (high numbers) are the likely shared ones: try them
    // first, each against the entry that refused the last one first.
    const TEntry& first = parent.Entries[static_cast<std::size_t>(occ[base])];
    std::int32_t refuser = base == 0 ? std::min(1, count - 1) : 0;
    for (std::int32_t k = 0; k < fewest; ++k) {
      const std::int32_t item = k < first.LowLength ? first.Low[k] : first.High[k - first.LowLength];
      if (Holds(parent.Entries[static_cast<std::size_t>(occ[refuser])], parent.Core, item) ||
          refuser == base) {
        std::int32_t i = 0;
        while (i < count &&
               (i == base || Holds(parent.Entries[static_cast<std::size_t>(occ[i])], parent.Core, item)))
          ++i;
        if (i == count) {
          witness = item;
          return false;
        }
        refuser = i;
      }
    }
    return true;
  }

  // Whether `entry` of a node with core `core` holds `item` in its low part
  // (items below the core) or among its high items (above it).
  static bool Holds(const TEntry& entry, std::int32_t core, std::int32_t item) {
    return item < core ? std::binary_search(entry.Low, entry.Low + entry.LowLength, item)
                       : std::binary_search(entry.High, entry.High + entry.HighLength, item);
  }

  // Leaves in Common the items `entry` holds in its low part or high items.
  void KeepShared(const TEntry& entry) {
    std::size_t kept = 0;
    const std::int32_t* low = entry.Low;
    const std::int32_t* const lowEnd = entry.Low + entry.LowLength;
    const std::int32_t* high = entry.High;
    const std::int32_t* const highEnd = entry.High + entry.HighLength;
    for (const std::int32_t item : Common) {
      low = std::lower_bound(low, lowEnd, item);
      if (low != lowEnd && *low == item) {
        Common[kept++] = item;
        continue;
      }
      high = std::lower_bound(high, highEnd, item);
      if (high != highEnd && *high == item) Common[kept++] = item;
    }
    Common.resize(kept);
  }

  // The first high item above e of `entry`, entry i of the child's occurrence.
  const std::int32_t* Above(const TEntry& entry, std::int32_t i, std::int32_t e) const {
    return entry.High + Below[static_cast<std::size_t>(i)] + (e >= 0 ? 1 : 0);
  }

  // Weights of the items above e in the entries occ[0..count): Count per
  // item, the items counted in Touched. Returns how many it counted.
  std::size_t CountAbove(const TLevel& parent, const std::int32_t* occ, std::int32_t count, std::int32_t e) {
    Touched.clear();
    std::size_t highs = 0;
    for (std::int32_t i = 0; i < count; ++i) {
      const TEntry& entry = parent.Entries[static_cast<std::size_t>(occ[i])];
      const std::int32_t* const end = entry.High + entry.HighLength;
      const std::int32_t* const above = Above(entry, i, e);
      highs += static_cast<std::size_t>(end - above);
      for (const std::int32_t* h = above; h != end; ++h) {
        std::int32_t& counted = Count[static_cast<std::size_t>(*h)];
        if (counted == 0) Touched.push_back(*h);
        counted += entry.Weight;
      }
    }
    return highs;
  }

  static std::size_t Mix(std::uint64_t hash) {
    hash ^= hash >> 29;
    hash *= 0xbf58476d1ce4e5b9ULL;
    hash ^= hash >> 32;
    return static_cast<std::size_t>(hash);
  }

  // The child of `parent` by item e (e < 0: the root, made from every raw
  // transaction), whose entries in `parent` are occ[0..count), with e at
  // places[0..count) of their high parts (null for the root): closes it,
  // tests its prefix, emits it and builds its database into `child`.
  // Returns what it made of the child's database. On a failed prefix test `witness` is set to an item below e
  // in the closure but not in the parent.
  TChild Extend(const TLevel& parent, const std::vector<std::pair<std::int32_t, std::int32_t>>& failed,
                const std::int32_t* occ, const std::int32_t* places, std::int32_t count, std::int32_t e,
                TLevel& child, std::int32_t& witness) {
    std::int32_t support = 0;
    for (std::int32_t i = 0; i < count; ++i)
      support += parent.Entries[static_cast<std::size_t>(occ[i])].Weight;
    if (support < Search.MinSupport) return TChild::None;
    // Every high item before e is below it.
    if (places != nullptr) {
      Below.assign(places, places + count);
    } else {
      Below.assign(static_cast<std::size_t>(count), 0);
    }

    // The lowest witness is the best: below a sibling's extension it fails
    // that sibling's whole subtree.
    if (!KeepsPrefix(parent, occ, count, witness)) return TChild::None;
    const std::size_t highs = CountAbove(parent, occ, count, e);
    Added.clear();
    for (const std::int32_t item : Touched) {
      if (Count[static_cast<std::size_t>(item)] == support) Added.push_back(item);
    }

    // The child's item set: the parent's, e and the closure above e.
    child.Itemset.assign(parent.Itemset.begin(), parent.Itemset.end());
    if (e >= 0) child.Itemset.push_back(e);
    child.Itemset.insert(child.Itemset.end(), Added.begin(), Added.end());
    std::sort(child.Itemset.begin(), child.Itemset.end());
    child.Core = e;
    const auto size = static_cast<std::int32_t>(child.Itemset.size());

    const bool isRoot = e < 0;
    if (support <= Search.MaxSupport && size >= Search.MinItems && size <= Search.MaxItems &&
        !(isRoot && Search.Transposed && size == 0)) {
      Extent.clear();
      if (Search.Stream != nullptr && !Search.CountOnly) {
        for (std::int32_t i = 0; i < count; ++i) {
          const TEntry& entry = parent.Entries[static_cast<std::size_t>(occ[i])];
          Extent.insert(Extent.end(), entry.Ids, entry.Ids + entry.Weight);
        }
        std::sort(Extent.begin(), Extent.end());
      }
      Emit(child.Itemset, Extent);
    }

    HandDownFailures(parent, failed, e, support, child);
    std::int32_t left = 0;
    for (const std::int32_t item : Touched) {
      if (IsCandidate(Count[static_cast<std::size_t>(item)], support)) ++left;
    }
    if (left == 0 || size >= Search.MaxItems || size + left < Search.MinItems) {
      ClearCounts();
      return TChild::None;
    }
    // Entries without a candidate do not count towards a bit database.
    if (e >= 0 && count <= 4 * Search.SmallDatabase &&
        MakeBits(parent, occ, count, e, support, child.Itemset)) {
      ClearCounts();
      return BitLevel(0).Items.empty() ? TChild::None : TChild::Bits;
    }
    Build(parent, occ, count, e, support, highs, child);
    ClearCounts();
    return child.Entries.empty() ? TChild::None : TChild::Lists;
  }

  // What the parent learnt of failed candidates above e: an item whose
  // witness is not in the child fails there too, and in the whole subtree
  // when the witness is below e (no descendant can gain it). Such items
  // leave the database (count -1); the others go to the child's Blocked.
  void HandDownFailures(const TLevel& parent,
                        const std::vector<std::pair<std::int32_t, std::int32_t>>& failed, std::int32_t e,
                        std::int32_t support, TLevel& child) {
    child.Blocked.clear();
    const auto handDown = [&](std::int32_t item, std::int32_t known) {
      std::int32_t& counted = Count[static_cast<std::size_t>(item)];
      // Items below e have no count.
      if (!IsCandidate(counted, support) ||
          std::binary_search(child.Itemset.begin(), child.Itemset.end(), known))
        return;
      if (known < e) {
        counted = -1;
      } else {
        child.Blocked.emplace_back(item, known);
      }
    };
    // The failed candidates, unless they are many more than the counted
    // items: then those are looked up among the parent's candidates.
    if (failed.size() <= 256 * Touched.size()) {
      for (const auto& [item, known] : failed)
        handDown(item, known);
    } else if (!parent.Witness.empty()) {
      for (const std::int32_t item : Touched) {
        const auto k = static_cast<std::size_t>(
            std::lower_bound(parent.Candidates.begin(), parent.Candidates.end(), item) -
            parent.Candidates.begin());
        const std::int32_t known = LoadWitness(parent, k);
        if (known >= 0) handDown(item, known);
      }
    }
    std::sort(child.Blocked.begin(), child.Blocked.end());
  }

  void ClearCounts() {
    for (const std::int32_t item : Touched)
      Count[static_cast<std::size_t>(item)] = 0;
    Touched.clear();
  }

  // The child's database: the entries' items above e that are frequent and
  // not in the closure, identical ones merged, empty ones dropped. The
  // entries hold `highs` items above e in all.
  void Build(const TLevel& parent, const std::int32_t* occ, std::int32_t count, std::int32_t e,
             std::int32_t support, std::size_t highs, TLevel& child) {
    child.Entries.clear();
    child.Items.clear();
    child.Ids.clear();
    child.Lows.clear();
    GroupEntries(parent, occ, count, e, support, highs, child);
    PlaceIds(parent, occ, count, child);
    PlaceLows(parent, occ, count, child);
    for (std::size_t g = 0; g < child.Entries.size(); ++g) {
      TEntry& made = child.Entries[g];
      made.High = child.Items.data() + GroupStart[g];
      made.Ids = child.Ids.data() + GroupAt[g] - made.Weight;
      made.Low = child.Lows.data() + GroupLowAt[g];
    }
  }

  // The high parts of the child's entries (in Items from GroupStart), with
  // their weights; GroupOf tells the group of every entry of occ, or -1.
  void GroupEntries(const TLevel& parent, const std::int32_t* occ, std::int32_t count, std::int32_t e,
                    std::int32_t support, std::size_t highs, TLevel& child) {
    GroupOf.assign(static_cast<std::size_t>(count), -1);
    GroupHash.clear();
    GroupStart.clear();
    GroupMembers.clear();
    GroupFirst.clear();
    // Room for the most there can be: at the root these hold the whole
    // graph, and growing them step by step would touch twice the memory.
    child.Items.reserve(highs);
    for (auto* groups : {&GroupStart, &GroupMembers, &GroupFirst})
      groups->reserve(static_cast<std::size_t>(count));
    GroupHash.reserve(static_cast<std::size_t>(count));
    child.Entries.reserve(static_cast<std::size_t>(count));
    std::size_t mask = 0;
    if (count > 1) {
      std::size_t capacity = 4;
      while (capacity < 2 * static_cast<std::size_t>(count))
        capacity *= 2;
      Table.assign(capacity, -1);
      mask = capacity - 1;
    }
    for (std::int32_t i = 0; i < count; ++i) {
      const TEntry& entry = parent.Entries[static_cast<std::size_t>(occ[i])];
      const std::size_t start = child.Items.size();
      std::uint64_t hash = 0x9e3779b97f4a7c15ULL;
      const std::int32_t* from = Above(entry, i, e);
      for (const std::int32_t* h = from; h != entry.High + entry.HighLength; ++h) {
        if (IsCandidate(Count[static_cast<std::size_t>(*h)], support)) {
          child.Items.push_back(*h);
          hash = (hash ^ static_cast<std::uint64_t>(*h)) * 0x100000001b3ULL;
        }
      }
      const std::size_t length = child.Items.size() - start;
      if (length == 0) continue;
      std::int32_t group = -1;
      std::size_t slot = 0;
      if (count > 1) {
        slot = Mix(hash + length) & mask;
        while (Table[slot] >= 0) {
          const auto g = static_cast<std::size_t>(Table[slot]);
          if (GroupHash[g] == hash && static_cast<std::size_t>(child.Entries[g].HighLength) == length &&
              std::equal(child.Items.begin() + GroupStart[g], child.Items.begin() + GroupStart[g] + length,
                         child.Items.begin() + static_cast<std::ptrdiff_t>(start))) {
            group = Table[slot];
            break;
          }
          slot = (slot + 1) & mask;
        }
      }
      if (group >= 0) {
        child.Items.resize(start);
        child.Entries[static_cast<std::size_t>(group)].Weight += entry.Weight;
        ++GroupMembers[static_cast<std::size_t>(group)];
      } else {
        group = static_cast<std::int32_t>(child.Entries.size());
        if (count > 1) Table[slot] = group;
        TEntry made;
        made.HighLength = static_cast<std::int32_t>(length);
        made.Weight = entry.Weight;
        child.Entries.push_back(made);
        GroupHash.push_back(hash);
        GroupStart.push_back(static_cast<std::int32_t>(start));
        GroupMembers.push_back(1);
        GroupFirst.push_back(i);
      }
      GroupOf[static_cast<std::size_t>(i)] = group;
    }
  }

  // Numbers of the transactions, group by group; GroupAt ends at each
  // group's end.
  void PlaceIds(const TLevel& parent, const std::int32_t* occ, std::int32_t count, TLevel& child) {
    const std::size_t groups = child.Entries.size();
    GroupAt.resize(groups);
    std::int32_t ids = 0;
    for (std::size_t g = 0; g < groups; ++g) {
      GroupAt[g] = ids;
      ids += child.Entries[g].Weight;
    }
    child.Ids.resize(static_cast<std::size_t>(ids));
    for (std::int32_t i = 0; i < count; ++i) {
      const std::int32_t group = GroupOf[static_cast<std::size_t>(i)];
      if (group < 0) continue;
      const auto g = static_cast<std::size_t>(group);
      const TEntry& entry = parent.Entries[static_cast<std::size_t>(occ[i])];
      std::copy(entry.Ids, entry.Ids + entry.Weight, child.Ids.begin() + GroupAt[g]);
      GroupAt[g] += entry.Weight;
    }
  }

  // Low parts of the child's entries (in Lows from GroupLowAt): an entry's
  // low part and its high items below e, as the child's core is e; merged
  // groups keep what all their members share.
  void PlaceLows(const TLevel& parent, const std::int32_t* occ, std::int32_t count, TLevel& child) {
    const std::size_t groups = child.Entries.size();
    GroupLowAt.resize(groups);
    std::int32_t lows = 0;
    for (std::size_t g = 0; g < groups; ++g) {
      const auto first = static_cast<std::size_t>(GroupFirst[g]);
      GroupLowAt[g] = lows;
      lows += parent.Entries[static_cast<std::size_t>(occ[first])].LowLength + Below[first];
    }
    child.Lows.resize(static_cast<std::size_t>(lows));
    for (std::int32_t i = 0; i < count; ++i) {
      const std::int32_t group = GroupOf[static_cast<std::size_t>(i)];
      if (group < 0) continue;
      const auto g = static_cast<std::size_t>(group);
      const TEntry& entry = parent.Entries[static_cast<std::size_t>(occ[i])];
      std::int32_t* low = child.Lows.data() + GroupLowAt[g];
      TEntry& made = child.Entries[g];
      if (GroupFirst[g] == i) {
        std::copy(entry.High, entry.High + Below[static_cast<std::size_t>(i)],
                  std::copy(entry.Low, entry.Low + entry.LowLength, low));
        made.LowLength = entry.LowLength + Below[static_cast<std::size_t>(i)];
        continue;
      }
      Common.assign(low, low + made.LowLength);
      KeepShared(entry);
      std::copy(Common.begin(), Common.end(), low);
      made.LowLength = static_cast<std::int32_t>(Common.size());
    }
  }
};

} // namespace

struct TSparseBicliques::TStore {
  std::int32_t Transactions = 0;
  // Item i: the transactions holding it, ItemMembers[ItemStarts[i] .. ItemStarts[i + 1]).
  std::vector<std::int64_t> ItemStarts;
  std::vector<std::int32_t> ItemMembers;
  std::vector<TResultList> Lists;   // per worker
  std::vector<std::int64_t> Firsts; // per worker: number of its first result; one more
};

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

namespace {

// Compressed lists of one side from those of the other: list v of the
// result holds every u whose list holds v, ascending.
void Transpose(std::int32_t count, const std::vector<std::int64_t>& starts,
               const std::vector<std::int32_t>& members, std::int32_t otherCount,
               std::vector<std::int64_t>& outStarts, std::vector<std::int32_t>& outMembers) {
  outStarts.assign(static_cast<std::size_t>(otherCount) + 1, 0);
  for (const std::int32_t v : members)
    ++outStarts[static_cast<std::size_t>(v) + 1];
  for (std::size_t v = 0; v < static_cast<std::size_t>(otherCount); ++v)
    outStarts[v + 1] += outStarts[v];
  outMembers.resize(members.size());
  std::vector<std::int64_t> at(outStarts.begin(), outStarts.end() - 1);
  for (std::int32_t u = 0; u < count; ++u) {
    for (std::int64_t i = starts[static_cast<std::size_t>(u)]; i < starts[static_cast<std::size_t>(u) + 1];
         ++i)
      outMembers[static_cast<std::size_t>(
          at[static_cast<std::size_t>(members[static_cast<std::size_t>(i)])]++)] = u;
  }
}

// Numbers the items by increasing frequency (ties by vertex number) and
// rewrites the transactions in the new numbers, each ascending again: rare
// items come first, so the items left above a core are the frequent ones.
// Returns the vertex of every new number.
std::vector<std::int32_t> RenumberItems(std::int32_t transactions, std::int32_t items,
                                        const std::vector<std::int64_t>& starts,
                                        std::vector<std::int32_t>& members) {
  std::vector<std::int32_t> frequency(static_cast<std::size_t>(items), 0);
  for (const std::int32_t item : members)
    ++frequency[static_cast<std::size_t>(item)];
  std::vector<std::int32_t> original(static_cast<std::size_t>(items));
  std::iota(original.begin(), original.end(), 0);
  std::stable_sort(original.begin(), original.end(), [&](std::int32_t a, std::int32_t b) {
    return frequency[static_cast<std::size_t>(a)] < frequency[static_cast<std::size_t>(b)];
  });
  std::vector<std::int32_t>& rank = frequency; // reused: vertex -> new number
  for (std::size_t i = 0; i < original.size(); ++i)
    rank[static_cast<std::size_t>(original[i])] = static_cast<std::int32_t>(i);
  for (std::int32_t& item : members)
    item = rank[static_cast<std::size_t>(item)];
  for (std::int32_t t = 0; t < transactions; ++t)
    std::sort(members.begin() + starts[static_cast<std::size_t>(t)],
              members.begin() + starts[static_cast<std::size_t>(t) + 1]);
  return original;
}

} // namespace

namespace {

// The graph both ways: rows (sources with their targets) and columns.
struct TLists {
  std::vector<std::int64_t> RowStarts;
  std::vector<std::int32_t> RowMembers;
  std::vector<std::int64_t> ColumnStarts;
  std::vector<std::int32_t> ColumnMembers;
};

// A node counts, for every candidate, the items of the transactions holding
// it: about the sum of the squared transaction lengths in all. True when the
// columns as transactions cost less, so that the sources are the items.
bool SourcesCostLess(const TLists& lists) {
  const auto squares = [](const std::vector<std::int64_t>& starts) {
    double sum = 0;
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
      const auto length = static_cast<double>(starts[i + 1] - starts[i]);
      sum += length * length;
    }
    return sum;
  };
  return squares(lists.ColumnStarts) < squares(lists.RowStarts);
}

// Points `search` at the side searched as transactions, with the bounds in
// its terms, and gives `store` the other side's lists.
void SetUpSides(TLists& lists, bool transposed, const TBounds& bounds, TSearch& search,
                std::vector<std::int64_t>& itemStarts, std::vector<std::int32_t>& itemMembers,
                std::int32_t rowCount, std::int32_t columnCount) {
  search.Transposed = transposed;
  auto& starts = transposed ? lists.ColumnStarts : lists.RowStarts;
  auto& members = transposed ? lists.ColumnMembers : lists.RowMembers;
  search.Transactions = transposed ? columnCount : rowCount;
  search.Items = transposed ? rowCount : columnCount;
  search.Starts = starts.data();
  search.Members = members.data();
  search.MinSupport = std::max(1, transposed ? bounds.MinTargets : bounds.MinSources);
  search.MaxSupport = transposed ? bounds.MaxTargets : bounds.MaxSources;
  search.MinItems = transposed ? bounds.MinSources : bounds.MinTargets;
  search.MaxItems = transposed ? bounds.MaxSources : bounds.MaxTargets;
  itemStarts = std::move(transposed ? lists.RowStarts : lists.ColumnStarts);
  itemMembers = std::move(transposed ? lists.RowMembers : lists.ColumnMembers);
}

// The root: every transaction, as a database of single rows. False when it
// has no child to search.
bool MakeRootLevel(const TSearch& search, TWorker& main, TLevel& root) {
  TLevel raw;
  std::vector<std::int32_t> all(static_cast<std::size_t>(search.Transactions));
  std::iota(all.begin(), all.end(), 0);
  raw.Entries.resize(all.size());
  for (std::size_t t = 0; t < all.size(); ++t) {
    TEntry& entry = raw.Entries[t];
    entry.High = search.Members + search.Starts[t];
    entry.HighLength = static_cast<std::int32_t>(search.Starts[t + 1] - search.Starts[t]);
    entry.Ids = all.data() + t;
    entry.Weight = 1;
  }
  return !all.empty() && main.MakeRoot(raw, all, root);
}

// Searches the root's children on `threads` workers. Worker 0 is the calling
// thread: once its share is done it keeps reporting until the others end.
// Failures are kept in `shared`, so that the first one, not a stop it caused
// elsewhere, reaches the caller.
void SearchChildren(TLevel& root, std::vector<std::unique_ptr<TWorker>>& workers, TShared& shared,
                    const TRunConfig& config) {
  const auto threads = static_cast<std::int32_t>(workers.size());
  std::mutex doneMutex;
  std::condition_variable doneWake;
  std::int32_t running = threads;
  RunTeam(threads, [&](std::int32_t t, const TTeam& team) {
    try {
      workers[static_cast<std::size_t>(t)]->SearchRoot(root);
    } catch (...) {
      shared.Fail(std::current_exception());
    }
    std::unique_lock lock(doneMutex);
    --running;
    doneWake.notify_all();
    while (t == 0 && running > 0 && !team.Stopping()) {
      doneWake.wait_for(lock, std::chrono::milliseconds(100));
      lock.unlock();
      if (config.Stop.stop_requested()) shared.Abort.store(true, std::memory_order_relaxed);
      workers.front()->Report();
      lock.lock();
    }
  });
  if (shared.Error) std::rethrow_exception(shared.Error);
}

// The rows in source order, moved out of `adjacent` (source s: length[s]
// targets at adjacent[at[s]]), and the columns.
TLists TakeLists(std::int32_t rowCount, std::int32_t columnCount, std::vector<std::int32_t>& adjacent,
                 const std::vector<std::int64_t>& at, const std::vector<std::int32_t>& length) {
  TLists lists;
  lists.RowStarts.assign(static_cast<std::size_t>(rowCount) + 1, 0);
  for (std::size_t s = 0; s < static_cast<std::size_t>(rowCount); ++s)
    lists.RowStarts[s + 1] = lists.RowStarts[s] + length[s];
  lists.RowMembers.resize(static_cast<std::size_t>(lists.RowStarts.back()));
  for (std::size_t s = 0; s < static_cast<std::size_t>(rowCount); ++s) {
    if (at[s] >= 0)
      std::copy_n(adjacent.begin() + at[s], length[s], lists.RowMembers.begin() + lists.RowStarts[s]);
  }
  std::vector<std::int32_t>().swap(adjacent);
  Transpose(rowCount, lists.RowStarts, lists.RowMembers, columnCount, lists.ColumnStarts,
            lists.ColumnMembers);
  return lists;
}

// On the transpose the item set of every source goes with the empty target
// set when no target has every source: not a closed set of the search.
void EmitAllSources(const TSearch& search, const TBounds& bounds, std::int32_t rowCount,
                    std::int32_t columnCount, TWorker& main) {
  if (!search.Transposed || rowCount == 0 || !bounds.Admits(rowCount, 0)) return;
  for (std::int32_t t = 0; t < columnCount; ++t) {
    if (search.Starts[t + 1] - search.Starts[t] == rowCount) return;
  }
  std::vector<std::int32_t> every(static_cast<std::size_t>(rowCount));
  std::iota(every.begin(), every.end(), 0);
  main.EmitExtra(every, {});
}

} // namespace

std::int64_t TSparseBicliques::Run(const TRunConfig& config) {
  ResultCount = 0;
  Store.reset();
  auto store = std::make_unique<TStore>();
  TLists lists = TakeLists(RowCount, ColumnCount, Adjacent, RowAt, RowLength);
  Transposed = Side == TSearchSide::Sources ||
               (Side == TSearchSide::Automatic && RowCount > 0 && ColumnCount > 0 && SourcesCostLess(lists));
  TSearch search;
  SetUpSides(lists, Transposed, config.Bounds, search, store->ItemStarts, store->ItemMembers, RowCount,
             ColumnCount);
  store->Transactions = search.Transactions;
  if (config.Stream) {
    // Streamed results are never read back from the item side's lists.
    std::vector<std::int64_t>().swap(store->ItemStarts);
    std::vector<std::int32_t>().swap(store->ItemMembers);
  }
  const std::vector<std::int32_t> original =
      Transposed ? RenumberItems(ColumnCount, RowCount, lists.ColumnStarts, lists.ColumnMembers)
                 : RenumberItems(RowCount, ColumnCount, lists.RowStarts, lists.RowMembers);
  search.Original = original.data();
  search.SmallDatabase = std::clamp(SmallDatabase, 0, 64);
  search.Stream = config.Stream ? &config.Stream : nullptr;
  search.CountOnly = config.Stream && config.CountOnly;
  TRunControl control(config);
  search.Control = &control;

  TShared shared;
  std::vector<std::unique_ptr<TWorker>> workers;
  workers.push_back(std::make_unique<TWorker>(search, shared, 0));
  shared.Workers.push_back(workers.front().get());
  TWorker& main = *workers.front();
  TLevel root;
  const bool children = MakeRootLevel(search, main, root);
  // The root holds its own copy of the transactions' items.
  std::vector<std::int32_t>().swap(Transposed ? lists.ColumnMembers : lists.RowMembers);
  search.Members = nullptr;
  EmitAllSources(search, config.Bounds, RowCount, ColumnCount, main);

  if (children) {
    main.Deliver(root);
    // Highest first, as below the root.
    shared.Order.resize(root.Candidates.size());
    std::iota(shared.Order.rbegin(), shared.Order.rend(), 0);
    const std::int32_t threads = std::min<std::int32_t>(ThreadCount(config.Threads),
                                                        static_cast<std::int32_t>(root.Candidates.size()));
    for (std::int32_t t = 1; t < threads; ++t) {
      workers.push_back(std::make_unique<TWorker>(search, shared, t));
      shared.Workers.push_back(workers.back().get());
    }
    SearchChildren(root, workers, shared, config);
  }
  control.CheckStop();

  store->Firsts.push_back(0);
  for (auto& worker : workers) {
    ResultCount += worker->Total();
    store->Lists.push_back(std::move(worker->Results));
    store->Firsts.push_back(store->Firsts.back() + store->Lists.back().Count);
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
  const TStore& store = *Store;
  std::vector<std::int32_t> occurrences;
  std::size_t list = static_cast<std::size_t>(
      std::upper_bound(store.Firsts.begin(), store.Firsts.end(), first) - store.Firsts.begin() - 1);
  for (std::int64_t i = first; i < last;) {
    while (i >= store.Firsts[list + 1])
      ++list;
    const TResultList& results = store.Lists[list];
    std::int64_t local = i - store.Firsts[list];
    std::int64_t at = results.Index[static_cast<std::size_t>(local / 64)];
    for (std::int64_t skip = local / 64 * 64; skip < local; ++skip)
      at += 1 + results.Data[static_cast<std::size_t>(at)];
    const std::int64_t end = std::min(last, store.Firsts[list + 1]);
    for (; i < end; ++i) {
      const std::int32_t length = results.Data[static_cast<std::size_t>(at)];
      const std::int32_t* items = results.Data.data() + at + 1;
      at += 1 + length;
      // The transactions holding every item: the shortest item list, cut by the others.
      occurrences.clear();
      if (length == 0) {
        occurrences.resize(static_cast<std::size_t>(store.Transactions));
        std::iota(occurrences.begin(), occurrences.end(), 0);
      } else {
        std::int32_t rarest = items[0];
        for (std::int32_t k = 1; k < length; ++k) {
          const auto item = static_cast<std::size_t>(items[k]);
          if (store.ItemStarts[item + 1] - store.ItemStarts[item] <
              store.ItemStarts[static_cast<std::size_t>(rarest) + 1] -
                  store.ItemStarts[static_cast<std::size_t>(rarest)])
            rarest = items[k];
        }
        occurrences.assign(store.ItemMembers.begin() + store.ItemStarts[static_cast<std::size_t>(rarest)],
                           store.ItemMembers.begin() +
                               store.ItemStarts[static_cast<std::size_t>(rarest) + 1]);
        for (std::int32_t k = 0; k < length && !occurrences.empty(); ++k) {
          if (items[k] == rarest) continue;
          const auto begin = store.ItemMembers.begin() + store.ItemStarts[static_cast<std::size_t>(items[k])];
          const auto stop =
              store.ItemMembers.begin() + store.ItemStarts[static_cast<std::size_t>(items[k]) + 1];
          std::size_t kept = 0;
          auto from = begin;
          for (const std::int32_t t : occurrences) {
            from = std::lower_bound(from, stop, t);
            if (from != stop && *from == t) occurrences[kept++] = t;
          }
          occurrences.resize(kept);
        }
      }
      TVertexSet itemSet;
      itemSet.Members = items;
      itemSet.Count = length;
      TVertexSet occurrenceSet;
      occurrenceSet.Members = occurrences.data();
      occurrenceSet.Count = static_cast<std::int32_t>(occurrences.size());
      if (Transposed) {
        visit(0, itemSet, occurrenceSet);
      } else {
        visit(0, occurrenceSet, itemSet);
      }
    }
  }
}
