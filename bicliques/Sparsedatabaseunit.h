// Sparsedatabaseunit: the conditional databases of the sparse search and the
// passes a node makes over them.
//
// Items are the vertices of the searched side, transactions those of the
// other side (a transaction holds the items it is adjacent to). A node is a
// closed item set with its core, the item that made it. Its conditional
// database has one entry per group of transactions of its occurrence that
// agree on their items above the core that are frequent there and not in
// the set (the entry's high items); groups whose high part is empty are
// dropped, since no descendant can occur in them. Each entry keeps the exact
// intersection of its transactions' full rows below the core outside the
// set (its low items, for the prefix test), its weight (how many
// transactions) and their numbers.
//
// A node delivers its occurrences once (TDatabaseMaker::Deliver): one pass
// over its entries gives every candidate item the list of entries holding
// it. A child by candidate e starts from those entries (TChildScan::Start),
// counts their high items above e (CountAbove): those counting as many
// transactions as the child are its closure; the frequent ones left make
// its database (TDatabaseMaker::Build).
//
// Ownership: a TDatabase owns the arrays its entries point into (the root's
// raw entries point into the transactions' lists instead). A TChildScan
// points into its parent's database and is valid while that is unchanged.
// Makers and scans are one worker's scratch, used by one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sparse {

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

// A conditional database: its entries and the arrays their parts lie in.
struct TDatabase {
  std::vector<TEntry> Entries;
  std::vector<std::int32_t> Items; // high parts
  std::vector<std::int32_t> Ids;
  std::vector<std::int32_t> Lows; // low parts
};

// A database's candidates (every high item), each with the entries holding it.
struct TDelivery {
  std::vector<std::int32_t> Candidates; // ascending
  std::vector<std::int32_t> OccStarts;  // per candidate, into Occ; one more
  std::vector<std::int32_t> Occ;        // entry numbers
  std::vector<std::int32_t> OccPlace;   // per Occ: the candidate's place in the entry's high part
};

// Whether an item counted in a child is a candidate of the child's
// database: frequent, and not in the child's closure (which every one of
// the child's transactions holds).
struct TCandidateTest {
  std::int32_t MinSupport = 1;
  std::int32_t Support = 0; // the child's
  bool operator()(std::int32_t counted) const { return counted >= MinSupport && counted < Support; }
};

// Where a child by item e occurs: the parent's entries holding e, and how
// many of each one's high items lie below e. A plain value: loops take a
// copy, which stays in registers however much they write elsewhere.
struct TOccurrence {
  const TEntry* Entries = nullptr;     // the parent's
  const std::int32_t* Occ = nullptr;   // the entries holding e, by number, Count of them
  const std::int32_t* Below = nullptr; // per entry of Occ
  std::int32_t Count = 0;
  std::int32_t Item = -1; // e; -1 for the root, made from every raw transaction

  // Entry i of the occurrence.
  const TEntry& Entry(std::int32_t i) const { return Entries[static_cast<std::size_t>(Occ[i])]; }
  // The first high item above e of `entry`, entry i of the occurrence.
  const std::int32_t* Above(const TEntry& entry, std::int32_t i) const {
    return entry.High + Below[static_cast<std::size_t>(i)] + (Item >= 0 ? 1 : 0);
  }
};

// The child of a node by item e while it is made: where it occurs and what
// counting its entries found.
struct TChildScan {
  TOccurrence Where;
  std::int32_t ParentCore = -1; // the parent's items below it are in the entries' low parts
  std::int32_t Support = 0;
  std::int32_t MinSupport = 1;
  // Per entry of the occurrence: how many of its high items are below e.
  std::vector<std::int32_t> Below;
  // Per item: the weight counted by CountAbove (0 when not counted), or -1
  // once the item is known to be of no use in the child.
  std::vector<std::int32_t> Counted;
  std::vector<std::int32_t> Touched; // the items with a count

  // Scratch for a search of `items` items with the given least support.
  TChildScan(std::int32_t items, std::int32_t minSupport);
  // Where points into Below: a copy would point into the original's.
  TChildScan(const TChildScan&) = delete;
  TChildScan& operator=(const TChildScan&) = delete;

  // Starts the child by e of `parent` (core `parentCore`) whose entries are
  // occ[0..count), e at places[0..count) of their high parts (e < 0 and
  // places null: the root). Returns whether the child is frequent; only
  // then is the scan ready for the rest. Pre: no counts (ClearCounts).
  bool Start(const TDatabase& parent, std::int32_t parentCore, const std::int32_t* occ,
             const std::int32_t* places, std::int32_t count, std::int32_t e);
  TCandidateTest CandidateTest() const { return {MinSupport, Support}; }
  // Weighs the items above e in the occurrence into Counted and Touched.
  // Returns how many high items it went through.
  std::size_t CountAbove();
  // Leaves no item counted.
  void ClearCounts();
};

// Makes the deliveries of nodes and the databases of children; holds the
// scratch for both, sized for a search of `items` items.
class TDatabaseMaker {
public:
  explicit TDatabaseMaker(std::int32_t items);

  // The candidates of `database` with the entries holding each, into
  // `delivery`. The candidates are ascending, so that children can find
  // their parent's knowledge of an item by search.
  void Deliver(const TDatabase& database, TDelivery& delivery);
  // The database of the child `scan` describes, into `child`: the entries'
  // items above e that are candidates of the child, identical ones merged
  // (weights added, low parts intersected), empty ones dropped. Pre:
  // CountAbove has counted the scan, which went through `highs` items.
  void Build(const TChildScan& scan, std::size_t highs, TDatabase& child);

private:
  std::vector<std::int32_t> Slot;   // per item: candidate number during Deliver, else -1
  std::vector<std::int32_t> Counts; // per candidate during Deliver
  std::vector<std::int32_t> Table;  // hash table of groups
  // Per entry of the child's occurrence: its group, or -1 without one.
  std::vector<std::int32_t> GroupOf;
  // Per group: its hash, where its high part starts, its number of entries,
  // its first entry, where its transactions end, where its low part starts.
  std::vector<std::uint64_t> GroupHash;
  std::vector<std::int32_t> GroupStart;
  std::vector<std::int32_t> GroupMembers;
  std::vector<std::int32_t> GroupFirst;
  std::vector<std::int32_t> GroupAt;
  std::vector<std::int32_t> GroupLowAt;
  std::vector<std::int32_t> Common; // a merged group's low items

  // The steps of Build, defined in this unit only; inline, so that the
  // compiler may fold them into their one caller.
  inline void StartGroups(std::int32_t count, std::size_t highs, TDatabase& child);
  inline void GroupEntries(const TChildScan& scan, std::size_t highs, TDatabase& child);
  inline std::int32_t FindGroup(const TDatabase& child, std::uint64_t hash, std::size_t start,
                                std::size_t& slot) const;
  inline void PlaceIds(const TChildScan& scan, TDatabase& child);
  inline void PlaceLows(const TChildScan& scan, TDatabase& child);
  inline void KeepShared(const TEntry& entry);
};

} // namespace sparse
