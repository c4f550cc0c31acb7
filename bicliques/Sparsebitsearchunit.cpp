#include "Sparsebitsearchunit.h"

namespace sparse {

// A mask that holds a set of bits is one of those kept or holds it too, and
// so does its intersection with any set: the narrower ones are never needed.
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

TBitSearch::TBitSearch(std::int32_t items, const TSearchBounds& bounds, std::int32_t smallDatabase,
                       TResultSink& results, TTeamMember& member)
    : Bounds(bounds), SmallDatabase(smallDatabase), Results(results), Member(member),
      MaskOf(static_cast<std::size_t>(items), 0) {}

bool TBitSearch::Start(const TChildScan& scan, const std::vector<std::int32_t>& itemset) {
  const std::int32_t used = MarkEntries(scan);
  if (used < 0) return false;
  MakeFirstLevel(scan.Where.Item);
  Members.assign(itemset.begin(), itemset.end());
  Occurrence = used == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << used) - 1;
  return true;
}

// Gives the entries with a candidate their bits, and marks in MaskOf the
// candidates and the items below e they hold. Returns how many entries it
// used, or -1, with no mark left, when more than SmallDatabase have one.
std::int32_t TBitSearch::MarkEntries(const TChildScan& scan) {
  Masked.clear();
  const auto mark = [&](std::int32_t item, std::uint64_t bit) {
    std::uint64_t& mask = MaskOf[static_cast<std::size_t>(item)];
    if (mask == 0) Masked.push_back(item);
    mask |= bit;
  };
  const TOccurrence where = scan.Where;
  const std::int32_t e = where.Item;
  const TCandidateTest test = scan.CandidateTest();
  const std::int32_t* const counted = scan.Counted.data();
  const auto isCandidate = [&](std::int32_t item) {
    return item > e && test(counted[static_cast<std::size_t>(item)]);
  };
  UnitWeights = true;
  std::int32_t used = 0;
  for (std::int32_t i = 0; i < where.Count; ++i) {
    const TEntry& entry = where.Entry(i);
    const std::int32_t* const end = entry.High + entry.HighLength;
    const std::int32_t* const above = where.Above(entry, i);
    if (std::none_of(above, end, isCandidate)) continue;
    if (used == SmallDatabase) {
      for (const std::int32_t item : Masked)
        MaskOf[static_cast<std::size_t>(item)] = 0;
      return -1;
    }
    Entries[static_cast<std::size_t>(used)] = &entry;
    UnitWeights = UnitWeights && entry.Weight == 1;
    const std::uint64_t bit = std::uint64_t{1} << used++;
    for (std::int32_t j = 0; j < entry.LowLength; ++j)
      mark(entry.Low[j], bit);
    for (const std::int32_t* h = entry.High; h != end; ++h) {
      if (h < above ? *h != e : isCandidate(*h)) mark(*h, bit);
    }
  }
  return used;
}

// The first level from the marks: items above e are its candidates, those
// below its others (only the widest of which matter). Clears the marks.
void TBitSearch::MakeFirstLevel(std::int32_t e) {
  TBitLevel& level = Level(0);
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
}

// Searches the children of the level at `depth`, whose transactions are
// `occurrence`, lowest candidate first: the candidates passed become the
// others of the next ones.
void TBitSearch::Expand(std::size_t depth, std::uint64_t occurrence) {
  TBitLevel& level = Level(depth);
  DropCovered(level, occurrence);
  for (std::size_t k = 0; k < level.Items.size(); ++k) {
    Member.Step();
    // Candidates before k are items below k outside the set.
    if (k > 0) AddMaximal(level.Others, level.Masks[k - 1]);
    const std::uint64_t child = occurrence & level.Masks[k];
    const std::int32_t support = Weight(child);
    if (support < Bounds.MinSupport) continue;
    TBitLevel& next = Level(depth + 1);
    if (!KeepsPrefix(level, child, next)) continue;
    const std::size_t outer = Members.size();
    Members.push_back(level.Items[k]);
    MakeNext(level, k, child, next);
    const auto size = static_cast<std::int64_t>(Members.size());
    if (Bounds.Lists(support, size)) EmitSet(child);
    if (Bounds.MayGrow(size, static_cast<std::int64_t>(next.Items.size()))) Expand(depth + 1, child);
    Members.resize(outer);
  }
}

// The child of `level` by candidate k, with transactions `child`: the
// higher candidates holding all of them join its set (its closure), the
// others holding enough of them are its candidates in `next`.
void TBitSearch::MakeNext(const TBitLevel& level, std::size_t k, std::uint64_t child, TBitLevel& next) {
  next.Items.clear();
  next.Masks.clear();
  // Copies the pushes below cannot change, kept out of memory.
  const std::int32_t minSupport = Bounds.MinSupport;
  const std::int32_t* const items = level.Items.data();
  const std::uint64_t* const masks = level.Masks.data();
  const std::size_t count = level.Items.size();
  for (std::size_t j = k + 1; j < count; ++j) {
    const std::uint64_t shared = masks[j] & child;
    if (shared == child) {
      Members.push_back(items[j]);
    } else if (shared != 0 && (minSupport == 1 || Weight(shared) >= minSupport)) {
      next.Items.push_back(items[j]);
      next.Masks.push_back(shared);
    }
  }
}

// Emits the current set, held by the transactions of the entries `child`.
void TBitSearch::EmitSet(std::uint64_t child) {
  Extent.clear();
  if (Results.WantsTransactions()) {
    ForEachEntry(child, [&](std::size_t bit) {
      const TEntry& entry = *Entries[bit];
      Extent.insert(Extent.end(), entry.Ids, entry.Ids + entry.Weight);
    });
    std::sort(Extent.begin(), Extent.end());
  }
  Results.Emit(Members, Extent);
}

// Leaves out the candidates whose transactions here all hold one of the
// level's others: their children fail the prefix test, here and in every
// subtree. Nor are they needed among the others of higher candidates or in
// a closure: whatever they would cover, the other covers too.
void TBitSearch::DropCovered(TBitLevel& level, std::uint64_t occurrence) {
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
// level's others are the widest masks of the items below the child's item
// outside the set. Keeps in `next.Others` their parts in the child's
// transactions.
bool TBitSearch::KeepsPrefix(const TBitLevel& level, std::uint64_t child, TBitLevel& next) {
  next.Others.clear();
  for (const std::uint64_t mask : level.Others) {
    const std::uint64_t shared = mask & child;
    if (shared == child) return false;
    if (shared != 0) next.Others.push_back(shared);
  }
  return true;
}

// How many transactions the entries of `mask` hold.
std::int32_t TBitSearch::Weight(std::uint64_t mask) const {
  if (UnitWeights) return std::popcount(mask);
  std::int32_t weight = 0;
  ForEachEntry(mask, [&](std::size_t bit) { weight += Entries[bit]->Weight; });
  return weight;
}

TBitSearch::TBitLevel& TBitSearch::Level(std::size_t depth) {
  while (Levels.size() <= depth)
    Levels.push_back(std::make_unique<TBitLevel>());
  return *Levels[depth];
}

} // namespace sparse
