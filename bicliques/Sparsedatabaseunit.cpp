#include "Sparsedatabaseunit.h"

#include <algorithm>

namespace sparse {

namespace {

std::size_t Mix(std::uint64_t hash) {
  hash ^= hash >> 29;
  hash *= 0xbf58476d1ce4e5b9ULL;
  hash ^= hash >> 32;
  return static_cast<std::size_t>(hash);
}

} // namespace

TChildScan::TChildScan(std::int32_t items, std::int32_t minSupport)
    : MinSupport(minSupport), Counted(static_cast<std::size_t>(items), 0) {}

bool TChildScan::Start(const TDatabase& parent, std::int32_t parentCore, const std::int32_t* occ,
                       const std::int32_t* places, std::int32_t count, std::int32_t e) {
  ParentCore = parentCore;
  Support = 0;
  for (std::int32_t i = 0; i < count; ++i)
    Support += parent.Entries[static_cast<std::size_t>(occ[i])].Weight;
  if (Support < MinSupport) return false;
  // Every high item before e is below it.
  if (places != nullptr) {
    Below.assign(places, places + count);
  } else {
    Below.assign(static_cast<std::size_t>(count), 0);
  }
  Where = {parent.Entries.data(), occ, Below.data(), count, e};
  return true;
}

std::size_t TChildScan::CountAbove() {
  Touched.clear();
  const TOccurrence where = Where;
  std::size_t highs = 0;
  for (std::int32_t i = 0; i < where.Count; ++i) {
    const TEntry& entry = where.Entry(i);
    const std::int32_t* const end = entry.High + entry.HighLength;
    const std::int32_t* const above = where.Above(entry, i);
    highs += static_cast<std::size_t>(end - above);
    for (const std::int32_t* h = above; h != end; ++h) {
      std::int32_t& counted = Counted[static_cast<std::size_t>(*h)];
      if (counted == 0) Touched.push_back(*h);
      counted += entry.Weight;
    }
  }
  return highs;
}

void TChildScan::ClearCounts() {
  for (const std::int32_t item : Touched)
    Counted[static_cast<std::size_t>(item)] = 0;
  Touched.clear();
}

TDatabaseMaker::TDatabaseMaker(std::int32_t items) : Slot(static_cast<std::size_t>(items), -1) {}

void TDatabaseMaker::Deliver(const TDatabase& database, TDelivery& delivery) {
  std::vector<std::int32_t>& candidates = delivery.Candidates;
  candidates.clear();
  for (const TEntry& entry : database.Entries) {
    for (std::int32_t i = 0; i < entry.HighLength; ++i) {
      const auto item = static_cast<std::size_t>(entry.High[i]);
      if (Slot[item] < 0) {
        Slot[item] = 0;
        candidates.push_back(entry.High[i]);
      }
    }
  }
  std::sort(candidates.begin(), candidates.end());
  // Counting sort of the (entry, place) pairs by candidate.
  const std::size_t count = candidates.size();
  Counts.assign(count, 0);
  for (std::size_t k = 0; k < count; ++k)
    Slot[static_cast<std::size_t>(candidates[k])] = static_cast<std::int32_t>(k);
  for (const TEntry& entry : database.Entries) {
    for (std::int32_t i = 0; i < entry.HighLength; ++i)
      ++Counts[static_cast<std::size_t>(Slot[static_cast<std::size_t>(entry.High[i])])];
  }
  delivery.OccStarts.resize(count + 1);
  std::int32_t total = 0;
  for (std::size_t k = 0; k < count; ++k) {
    delivery.OccStarts[k] = total;
    total += Counts[k];
  }
  delivery.OccStarts[count] = total;
  delivery.Occ.resize(static_cast<std::size_t>(total));
  delivery.OccPlace.resize(static_cast<std::size_t>(total));
  std::copy(delivery.OccStarts.begin(), delivery.OccStarts.end() - 1, Counts.begin());
  for (std::size_t e = 0; e < database.Entries.size(); ++e) {
    const TEntry& entry = database.Entries[e];
    for (std::int32_t i = 0; i < entry.HighLength; ++i) {
      const auto slot = static_cast<std::size_t>(Slot[static_cast<std::size_t>(entry.High[i])]);
      const auto at = static_cast<std::size_t>(Counts[slot]++);
      delivery.Occ[at] = static_cast<std::int32_t>(e);
      delivery.OccPlace[at] = i;
    }
  }
  for (const std::int32_t item : candidates)
    Slot[static_cast<std::size_t>(item)] = -1;
}

void TDatabaseMaker::Build(const TChildScan& scan, std::size_t highs, TDatabase& child) {
  child.Entries.clear();
  child.Items.clear();
  child.Ids.clear();
  child.Lows.clear();
  GroupEntries(scan, highs, child);
  PlaceIds(scan, child);
  PlaceLows(scan, child);
  for (std::size_t g = 0; g < child.Entries.size(); ++g) {
    TEntry& made = child.Entries[g];
    made.High = child.Items.data() + GroupStart[g];
    made.Ids = child.Ids.data() + GroupAt[g] - made.Weight;
    made.Low = child.Lows.data() + GroupLowAt[g];
  }
}

// The high parts of the child's entries (in Items from GroupStart), with
// their weights; GroupOf tells the group of every entry of the occurrence.
// Identical high parts are found by a hash table (Table).
void TDatabaseMaker::GroupEntries(const TChildScan& scan, std::size_t highs, TDatabase& child) {
  const TOccurrence where = scan.Where;
  const std::int32_t count = where.Count;
  StartGroups(count, highs, child);
  const TCandidateTest isCandidate = scan.CandidateTest();
  const std::int32_t* const counted = scan.Counted.data();
  for (std::int32_t i = 0; i < count; ++i) {
    const TEntry& entry = where.Entry(i);
    const std::size_t start = child.Items.size();
    std::uint64_t hash = 0x9e3779b97f4a7c15ULL;
    for (const std::int32_t* h = where.Above(entry, i); h != entry.High + entry.HighLength; ++h) {
      if (isCandidate(counted[*h])) {
        child.Items.push_back(*h);
        hash = (hash ^ static_cast<std::uint64_t>(*h)) * 0x100000001b3ULL;
      }
    }
    if (child.Items.size() == start) continue;
    std::size_t slot = 0;
    std::int32_t group = count > 1 ? FindGroup(child, hash, start, slot) : -1;
    if (group >= 0) {
      child.Items.resize(start);
      child.Entries[static_cast<std::size_t>(group)].Weight += entry.Weight;
      ++GroupMembers[static_cast<std::size_t>(group)];
    } else {
      group = static_cast<std::int32_t>(child.Entries.size());
      if (count > 1) Table[slot] = group;
      TEntry made;
      made.HighLength = static_cast<std::int32_t>(child.Items.size() - start);
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

// No groups yet, with room for `count` entries of `highs` high items.
void TDatabaseMaker::StartGroups(std::int32_t count, std::size_t highs, TDatabase& child) {
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
  // A single entry needs no table.
  if (count > 1) {
    std::size_t capacity = 4;
    while (capacity < 2 * static_cast<std::size_t>(count))
      capacity *= 2;
    Table.assign(capacity, -1);
  }
}

// The group whose high part equals child.Items[start..) (of hash `hash`), or
// -1 with `slot` the free place for a new one.
std::int32_t TDatabaseMaker::FindGroup(const TDatabase& child, std::uint64_t hash, std::size_t start,
                                       std::size_t& slot) const {
  const std::size_t length = child.Items.size() - start;
  const std::size_t mask = Table.size() - 1;
  for (slot = Mix(hash + length) & mask; Table[slot] >= 0; slot = (slot + 1) & mask) {
    const auto g = static_cast<std::size_t>(Table[slot]);
    if (GroupHash[g] == hash && static_cast<std::size_t>(child.Entries[g].HighLength) == length &&
        std::equal(child.Items.begin() + GroupStart[g], child.Items.begin() + GroupStart[g] + length,
                   child.Items.begin() + static_cast<std::ptrdiff_t>(start)))
      return Table[slot];
  }
  return -1;
}

// Numbers of the transactions, group by group; GroupAt ends at each
// group's end.
void TDatabaseMaker::PlaceIds(const TChildScan& scan, TDatabase& child) {
  const std::size_t groups = child.Entries.size();
  GroupAt.resize(groups);
  std::int32_t ids = 0;
  for (std::size_t g = 0; g < groups; ++g) {
    GroupAt[g] = ids;
    ids += child.Entries[g].Weight;
  }
  child.Ids.resize(static_cast<std::size_t>(ids));
  const TOccurrence where = scan.Where;
  for (std::int32_t i = 0; i < where.Count; ++i) {
    const std::int32_t group = GroupOf[static_cast<std::size_t>(i)];
    if (group < 0) continue;
    const auto g = static_cast<std::size_t>(group);
    const TEntry& entry = where.Entry(i);
    std::copy(entry.Ids, entry.Ids + entry.Weight, child.Ids.begin() + GroupAt[g]);
    GroupAt[g] += entry.Weight;
  }
}

// Low parts of the child's entries (in Lows from GroupLowAt): an entry's
// low part and its high items below e, as the child's core is e; merged
// groups keep what all their members share.
void TDatabaseMaker::PlaceLows(const TChildScan& scan, TDatabase& child) {
  const std::size_t groups = child.Entries.size();
  GroupLowAt.resize(groups);
  const TOccurrence where = scan.Where;
  std::int32_t lows = 0;
  for (std::size_t g = 0; g < groups; ++g) {
    const auto first = static_cast<std::size_t>(GroupFirst[g]);
    GroupLowAt[g] = lows;
    lows += where.Entry(GroupFirst[g]).LowLength + where.Below[first];
  }
  child.Lows.resize(static_cast<std::size_t>(lows));
  for (std::int32_t i = 0; i < where.Count; ++i) {
    const std::int32_t group = GroupOf[static_cast<std::size_t>(i)];
    if (group < 0) continue;
    const auto g = static_cast<std::size_t>(group);
    const TEntry& entry = where.Entry(i);
    const std::int32_t below = where.Below[i];
    std::int32_t* low = child.Lows.data() + GroupLowAt[g];
    TEntry& made = child.Entries[g];
    if (GroupFirst[g] == i) {
      std::copy(entry.High, entry.High + below, std::copy(entry.Low, entry.Low + entry.LowLength, low));
      made.LowLength = entry.LowLength + below;
      continue;
    }
    Common.assign(low, low + made.LowLength);
    KeepShared(entry);
    std::copy(Common.begin(), Common.end(), low);
    made.LowLength = static_cast<std::int32_t>(Common.size());
  }
}

// Leaves in Common the items `entry` holds in its low part or high items.
void TDatabaseMaker::KeepShared(const TEntry& entry) {
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

} // namespace sparse
