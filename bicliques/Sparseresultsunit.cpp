#include "Sparseresultsunit.h"

#include <algorithm>
#include <numeric>

namespace sparse {

void TResultList::Add(const std::vector<std::int32_t>& items) {
  if (Stored % 64 == 0) Index.push_back(static_cast<std::int64_t>(Data.size()));
  Data.push_back(static_cast<std::int32_t>(items.size()));
  Data.insert(Data.end(), items.begin(), items.end());
  ++Stored;
}

std::int64_t TResultList::Offset(std::int64_t local) const {
  std::int64_t at = Index[static_cast<std::size_t>(local / 64)];
  for (std::int64_t skip = local / 64 * 64; skip < local; ++skip)
    at += 1 + Data[static_cast<std::size_t>(at)];
  return at;
}

void TResultSink::Emit(const std::vector<std::int32_t>& itemset,
                       const std::vector<std::int32_t>& transactions) {
  if (Settings.CountOnly) {
    ++Streamed;
    return;
  }
  Named.clear();
  for (const std::int32_t item : itemset)
    Named.push_back(Settings.Original[static_cast<std::size_t>(item)]);
  std::sort(Named.begin(), Named.end());
  if (Settings.Stream == nullptr) {
    Stored.Add(Named);
    return;
  }
  ++Streamed;
  TVertexSet items;
  items.Members = Named.data();
  items.Count = static_cast<std::int32_t>(Named.size());
  TVertexSet holders;
  holders.Members = transactions.data();
  holders.Count = static_cast<std::int32_t>(transactions.size());
  if (Settings.Transposed) {
    (*Settings.Stream)(Worker, items, holders);
  } else {
    (*Settings.Stream)(Worker, holders, items);
  }
}

TResultStore::TResultStore(std::int32_t transactions, std::vector<std::int64_t> itemStarts,
                           std::vector<std::int32_t> itemMembers)
    : Transactions(transactions), ItemStarts(std::move(itemStarts)), ItemMembers(std::move(itemMembers)) {}

void TResultStore::Add(TResultList results) {
  Firsts.push_back(Firsts.back() + results.Count());
  Lists.push_back(std::move(results));
}

void TResultStore::ForEach(std::int64_t first, std::int64_t last, bool transposed,
                           const TResultVisitor& visit) const {
  std::vector<std::int32_t> occurrences;
  auto list =
      static_cast<std::size_t>(std::upper_bound(Firsts.begin(), Firsts.end(), first) - Firsts.begin() - 1);
  for (std::int64_t i = first; i < last;) {
    // Lists without results are passed over.
    while (i >= Firsts[list + 1])
      ++list;
    const std::int64_t end = std::min(last, Firsts[list + 1]);
    ForEachOf(Lists[list], i - Firsts[list], end - Firsts[list], transposed, visit, occurrences);
    i = end;
  }
}

// Results from..to-1 of one list.
void TResultStore::ForEachOf(const TResultList& results, std::int64_t from, std::int64_t to, bool transposed,
                             const TResultVisitor& visit, std::vector<std::int32_t>& occurrences) const {
  std::int64_t at = results.Offset(from);
  for (std::int64_t local = from; local < to; ++local) {
    const std::int32_t* const stored = results.At(at);
    const std::int32_t length = stored[0];
    at += 1 + length;
    Occurrences(stored + 1, length, occurrences);
    TVertexSet itemSet;
    itemSet.Members = stored + 1;
    itemSet.Count = length;
    TVertexSet occurrenceSet;
    occurrenceSet.Members = occurrences.data();
    occurrenceSet.Count = static_cast<std::int32_t>(occurrences.size());
    if (transposed) {
      visit(0, itemSet, occurrenceSet);
    } else {
      visit(0, occurrenceSet, itemSet);
    }
  }
}

// The transactions holding every one of items[0..length): the rarest
// item's list, cut by the others'.
void TResultStore::Occurrences(const std::int32_t* items, std::int32_t length,
                               std::vector<std::int32_t>& out) const {
  out.clear();
  if (length == 0) {
    out.resize(static_cast<std::size_t>(Transactions));
    std::iota(out.begin(), out.end(), 0);
    return;
  }
  const std::int32_t rarest = *std::min_element(
      items, items + length, [&](std::int32_t a, std::int32_t b) { return Frequency(a) < Frequency(b); });
  out.assign(ItemMembers.begin() + ItemStarts[static_cast<std::size_t>(rarest)],
             ItemMembers.begin() + ItemStarts[static_cast<std::size_t>(rarest) + 1]);
  for (std::int32_t k = 0; k < length && !out.empty(); ++k) {
    if (items[k] == rarest) continue;
    const auto begin = ItemMembers.begin() + ItemStarts[static_cast<std::size_t>(items[k])];
    const auto stop = ItemMembers.begin() + ItemStarts[static_cast<std::size_t>(items[k]) + 1];
    std::size_t kept = 0;
    auto from = begin;
    for (const std::int32_t t : out) {
      from = std::lower_bound(from, stop, t);
      if (from != stop && *from == t) out[kept++] = t;
    }
    out.resize(kept);
  }
}

// How many transactions hold `item`.
std::int64_t TResultStore::Frequency(std::int32_t item) const {
  return ItemStarts[static_cast<std::size_t>(item) + 1] - ItemStarts[static_cast<std::size_t>(item)];
}

} // namespace sparse
