// Sparseresultsunit: where the sparse search's results go, and how stored
// ones are read back.
//
// A worker hands every result it finds to its TResultSink, as the item set
// in search numbers and, when a stream wants them, its transactions. The
// sink counts it, streams it, or stores only its items (as vertex numbers)
// in a TResultList. After the run the lists go into a TResultStore, which
// reads results back in any range and finds each one's other side again:
// the transactions holding every item, from the item side's lists.
//
// Ownership and threads: a sink is one worker's (one thread), and borrows
// its settings for its life. A store owns its lists; once filled, any
// number of threads may read it at once.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "Engineunit.h"

namespace sparse {

// How results are handed on.
struct TResultSettings {
  const std::int32_t* Original = nullptr; // item i of the search is vertex Original[i] of its side
  bool Transposed = false;                // the items are sources (else targets)
  const TResultVisitor* Stream = nullptr; // null: store the results
  bool CountOnly = false;                 // Stream ignores the results: only count them
};

// The results one worker kept: per result its length and its items,
// ascending vertex numbers; the offset of every 64th result, so that
// reading can start anywhere.
class TResultList {
public:
  void Add(const std::vector<std::int32_t>& items);
  std::int64_t Count() const { return Stored; }
  // Where result `local` (0 <= local < Count()) starts in Data.
  std::int64_t Offset(std::int64_t local) const;
  // The length of the result at `offset`, then its items.
  const std::int32_t* At(std::int64_t offset) const { return Data.data() + offset; }

private:
  std::vector<std::int32_t> Data;
  std::vector<std::int64_t> Index;
  std::int64_t Stored = 0;
};

// One worker's way out for its results.
class TResultSink {
public:
  // Borrows `settings`; `worker` is the number a stream is called with.
  TResultSink(const TResultSettings& settings, std::int32_t worker) : Settings(settings), Worker(worker) {}

  // Whether Emit is to be given the transactions (only a stream gets them).
  bool WantsTransactions() const { return Settings.Stream != nullptr && !Settings.CountOnly; }
  // Counts one result and hands it on. `itemset`: every item, in search
  // numbers; `transactions`: ascending, when WantsTransactions().
  void Emit(const std::vector<std::int32_t>& itemset, const std::vector<std::int32_t>& transactions);
  // Results so far, stored or streamed.
  std::int64_t Total() const { return Stored.Count() + Streamed; }
  // The stored results, moved out; the sink is done then.
  TResultList TakeStored() { return std::move(Stored); }

private:
  const TResultSettings& Settings;
  std::int32_t Worker;
  TResultList Stored;
  std::int64_t Streamed = 0;
  std::vector<std::int32_t> Named; // a result's items as vertex numbers
};

// A run's stored results, the workers' lists one after another.
class TResultStore {
public:
  // For a run over `transactions` transactions; item i (a vertex number) is
  // held by the transactions itemMembers[itemStarts[i] .. itemStarts[i + 1]),
  // ascending. Both may be empty when nothing is to be read back.
  TResultStore(std::int32_t transactions, std::vector<std::int64_t> itemStarts,
               std::vector<std::int32_t> itemMembers);

  // Appends a worker's results.
  void Add(TResultList results);
  std::int64_t Count() const { return Firsts.back(); }
  // Calls visit(0, sources, targets) for results first..last-1, in the order
  // added; the items are the sources when `transposed`. Pre: 0 <= first <=
  // last <= Count().
  void ForEach(std::int64_t first, std::int64_t last, bool transposed, const TResultVisitor& visit) const;

private:
  std::int32_t Transactions;
  std::vector<std::int64_t> ItemStarts;
  std::vector<std::int32_t> ItemMembers;
  std::vector<TResultList> Lists;
  std::vector<std::int64_t> Firsts{0}; // per list: the number of its first result; one more

  void ForEachOf(const TResultList& results, std::int64_t from, std::int64_t to, bool transposed,
                 const TResultVisitor& visit, std::vector<std::int32_t>& occurrences) const;
  void Occurrences(const std::int32_t* items, std::int32_t length, std::vector<std::int32_t>& out) const;
  std::int64_t Frequency(std::int32_t item) const;
};

} // namespace sparse
