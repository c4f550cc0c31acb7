#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "Sparseresultsunit.h"

using namespace sparse;

namespace {

using TList = std::vector<std::int32_t>;

TList Members(const TVertexSet& set) { return TList(set.Members, set.Members + set.Count); }

// A random item set of vertex numbers below `items`, ascending; some empty.
TList RandomItems(std::mt19937_64& random, std::int32_t items) {
  TList set;
  const auto chance = random() % 4;
  for (std::int32_t item = 0; item < items; ++item) {
    if (random() % 8 < chance) set.push_back(item);
  }
  return set;
}

// A bipartite graph by item: the ascending transactions holding each item,
// as the compressed lists a store reads.
struct TItemLists {
  std::int32_t Transactions = 0;
  std::vector<TList> Holders; // per item
  std::vector<std::int64_t> Starts;
  TList Members;
};

TItemLists RandomGraph(std::mt19937_64& random, std::int32_t transactions, std::int32_t items) {
  TItemLists graph;
  graph.Transactions = transactions;
  graph.Starts.push_back(0);
  for (std::int32_t item = 0; item < items; ++item) {
    TList holders;
    for (std::int32_t t = 0; t < transactions; ++t) {
      if (random() % 3 != 0) holders.push_back(t);
    }
    graph.Members.insert(graph.Members.end(), holders.begin(), holders.end());
    graph.Starts.push_back(static_cast<std::int64_t>(graph.Members.size()));
    graph.Holders.push_back(holders);
  }
  return graph;
}

// The transactions holding every item of `items`, by brute force.
TList HoldersOfAll(const TItemLists& graph, const TList& items) {
  TList all;
  for (std::int32_t t = 0; t < graph.Transactions; ++t) {
    const bool holds = std::all_of(items.begin(), items.end(), [&](std::int32_t item) {
      const TList& holders = graph.Holders[static_cast<std::size_t>(item)];
      return std::binary_search(holders.begin(), holders.end(), t);
    });
    if (holds) all.push_back(t);
  }
  return all;
}

} // namespace

TEST(Sparseresultsunit, ResultListFindsEveryResult) {
  std::mt19937_64 random(21);
  std::vector<TList> added;
  TResultList list;
  // Past several groups of 64, so that reading starts from each index entry.
  for (int i = 0; i < 300; ++i) {
    added.push_back(RandomItems(random, 9));
    list.Add(added.back());
  }
  ASSERT_EQ(list.Count(), 300);
  for (std::int64_t local = 0; local < list.Count(); ++local) {
    const std::int32_t* stored = list.At(list.Offset(local));
    EXPECT_EQ(TList(stored + 1, stored + 1 + stored[0]), added[static_cast<std::size_t>(local)]) << local;
  }
}

// Lists stored by several workers, some with no result, read back in every
// range: each result once, in order, with the transactions holding it.
TEST(Sparseresultsunit, StoreReadsBackAnyRangeWithItsTransactions) {
  std::mt19937_64 random(22);
  const TItemLists graph = RandomGraph(random, 25, 10);
  const std::size_t sizes[] = {0, 70, 0, 1, 130, 0};
  std::vector<TList> expected;
  TResultStore store(graph.Transactions, graph.Starts, graph.Members);
  for (const std::size_t size : sizes) {
    TResultList list;
    for (std::size_t i = 0; i < size; ++i) {
      expected.push_back(RandomItems(random, 10));
      list.Add(expected.back());
    }
    store.Add(std::move(list));
  }
  ASSERT_EQ(store.Count(), static_cast<std::int64_t>(expected.size()));
  for (const bool transposed : {false, true}) {
    for (std::int64_t first = 0; first <= store.Count(); first += 3) {
      for (std::int64_t last = first; last <= store.Count(); last += 1 + last / 4) {
        std::int64_t next = first;
        store.ForEach(first, last, transposed,
                      [&](std::int32_t worker, const TVertexSet& sources, const TVertexSet& targets) {
                        ASSERT_LT(next, last);
                        const TList& items = expected[static_cast<std::size_t>(next++)];
                        EXPECT_EQ(worker, 0);
                        EXPECT_EQ(Members(transposed ? sources : targets), items);
                        EXPECT_EQ(Members(transposed ? targets : sources), HoldersOfAll(graph, items))
                            << "result " << next - 1;
                      });
        EXPECT_EQ(next, last) << "range " << first << " .. " << last;
      }
    }
  }
}

TEST(Sparseresultsunit, SinkStoresStreamsOrCounts) {
  // Search item i is vertex Original[i]: the sink hands out vertex numbers, ascending.
  const TList original = {4, 0, 3, 1, 2};
  const TList itemset = {0, 2, 3}; // vertices 4, 3, 1
  const TList expectedItems = {1, 3, 4};
  const TList transactions = {2, 5, 7};
  struct TCase {
    const char* Name;
    bool Stream;
    bool CountOnly;
    bool Transposed;
  };
  const TCase cases[] = {
      {"stored", false, false, false},
      {"streamed", true, false, false},
      {"streamed, items are sources", true, false, true},
      {"counted only", true, true, false},
  };
  for (const TCase& c : cases) {
    std::vector<std::pair<TList, TList>> streamed; // (sources, targets)
    std::vector<std::int32_t> workers;
    const TResultVisitor stream = [&](std::int32_t worker, const TVertexSet& sources,
                                      const TVertexSet& targets) {
      workers.push_back(worker);
      streamed.emplace_back(Members(sources), Members(targets));
    };
    const TResultSettings settings{original.data(), c.Transposed, c.Stream ? &stream : nullptr, c.CountOnly};
    TResultSink sink(settings, 3);
    EXPECT_EQ(sink.WantsTransactions(), c.Stream && !c.CountOnly) << c.Name;
    sink.Emit(itemset, c.Stream && !c.CountOnly ? transactions : TList{});
    sink.Emit(itemset, c.Stream && !c.CountOnly ? transactions : TList{});
    EXPECT_EQ(sink.Total(), 2) << c.Name;
    const TResultList stored = sink.TakeStored();
    if (!c.Stream) {
      ASSERT_EQ(stored.Count(), 2) << c.Name;
      const std::int32_t* first = stored.At(stored.Offset(1));
      EXPECT_EQ(TList(first + 1, first + 1 + first[0]), expectedItems) << c.Name;
      EXPECT_TRUE(streamed.empty()) << c.Name;
      continue;
    }
    EXPECT_EQ(stored.Count(), 0) << c.Name;
    if (c.CountOnly) {
      EXPECT_TRUE(streamed.empty()) << c.Name;
      continue;
    }
    ASSERT_EQ(streamed.size(), 2u) << c.Name;
    EXPECT_EQ(workers, (std::vector<std::int32_t>{3, 3})) << c.Name;
    const auto& [sources, targets] = streamed.front();
    EXPECT_EQ(c.Transposed ? sources : targets, expectedItems) << c.Name;
    EXPECT_EQ(c.Transposed ? targets : sources, transactions) << c.Name;
  }
}
