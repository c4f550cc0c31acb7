#include "Sparseprefixunit.h"

#include <algorithm>
#include <atomic>

namespace sparse {

namespace {

// Whether `entry` of a node with core `core` holds `item` in its low part
// (items below the core) or among its high items (above it).
bool Holds(const TEntry& entry, std::int32_t core, std::int32_t item) {
  return item < core ? std::binary_search(entry.Low, entry.Low + entry.LowLength, item)
                     : std::binary_search(entry.High, entry.High + entry.HighLength, item);
}

} // namespace

// A shared item is in every entry's low part or among its high items below
// e (Below tells how many), so only those of the entry with the fewest of
// them need to be tried.
bool KeepsPrefix(const TChildScan& scan, std::int32_t& witness) {
  const TOccurrence where = scan.Where;
  const std::int32_t count = where.Count;
  std::int32_t base = -1;
  std::int32_t fewest = 0;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t length = where.Entry(i).LowLength + where.Below[i];
    if (base < 0 || length < fewest) {
      base = i;
      fewest = length;
      if (length == 0) return true;
    }
  }
  // Each item is tried first against the entry that refused the last one:
  // the likeliest to refuse the next one too.
  const TEntry& first = where.Entry(base);
  const std::int32_t core = scan.ParentCore;
  std::int32_t refuser = base == 0 ? std::min(1, count - 1) : 0;
  for (std::int32_t k = 0; k < fewest; ++k) {
    const std::int32_t item = k < first.LowLength ? first.Low[k] : first.High[k - first.LowLength];
    if (Holds(where.Entry(refuser), core, item) || refuser == base) {
      std::int32_t i = 0;
      while (i < count && (i == base || Holds(where.Entry(i), core, item)))
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

void TFailures::Start(const std::vector<std::int32_t>& candidates) {
  Candidates = &candidates;
  Witness.assign(candidates.size(), -1);
  std::size_t k = 0;
  for (const auto& [item, witness] : Blocked) {
    while (k < candidates.size() && candidates[k] < item)
      ++k;
    if (k < candidates.size() && candidates[k] == item) Witness[k] = witness;
  }
  Failed = Blocked;
}

std::int32_t TFailures::LoadWitness(std::size_t k) const {
  return std::atomic_ref<const std::int32_t>(Witness[k]).load(std::memory_order_relaxed);
}

void TFailures::StoreWitness(std::size_t k, std::int32_t witness) {
  std::atomic_ref<std::int32_t>(Witness[k]).store(witness, std::memory_order_relaxed);
}

void HandDownFailures(const TFailures& parent, const TFailedList& failed, std::size_t scanRatio,
                      const std::vector<std::int32_t>& childItemset, TChildScan& scan, TFailedList& blocked) {
  blocked.clear();
  const TCandidateTest isCandidate = scan.CandidateTest();
  const std::int32_t e = scan.Where.Item;
  const auto handDown = [&](std::int32_t item, std::int32_t known) {
    std::int32_t& counted = scan.Counted[static_cast<std::size_t>(item)];
    // Items below e have no count.
    if (!isCandidate(counted) || std::binary_search(childItemset.begin(), childItemset.end(), known)) return;
    if (known < e) {
      counted = -1;
    } else {
      blocked.emplace_back(item, known);
    }
  };
  if (failed.size() <= scanRatio * scan.Touched.size()) {
    for (const auto& [item, known] : failed)
      handDown(item, known);
  } else if (!parent.Witness.empty()) {
    const std::vector<std::int32_t>& candidates = *parent.Candidates;
    for (const std::int32_t item : scan.Touched) {
      const auto k = static_cast<std::size_t>(std::lower_bound(candidates.begin(), candidates.end(), item) -
                                              candidates.begin());
      const std::int32_t known = parent.LoadWitness(k);
      if (known >= 0) handDown(item, known);
    }
  }
  std::sort(blocked.begin(), blocked.end());
}

} // namespace sparse
