// Tests of the conditional databases (Sparsedatabaseunit) and of the prefix
// test and the failures handed down on them (Sparseprefixunit), each against
// a plain model of what it must make.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "Sparsedatabaseunit.h"
#include "Sparseprefixunit.h"

using namespace sparse;

namespace {

using TList = std::vector<std::int32_t>;

// An entry as plain lists; its weight is the number of its transactions.
struct TModelEntry {
  TList Low;
  TList High;
  TList Ids;
};

// A database of a node with core `Core`: its entries' low items lie below
// the core, the high ones above it.
struct TModel {
  std::int32_t Core = 0;
  std::int32_t Items = 0;
  std::vector<TModelEntry> Entries;
};

TList Random(std::mt19937_64& random, std::int32_t from, std::int32_t to, unsigned chance) {
  TList made;
  for (std::int32_t item = from; item < to; ++item) {
    if (random() % 8 < chance) made.push_back(item);
  }
  return made;
}

TModel RandomModel(std::mt19937_64& random) {
  TModel model;
  model.Core = static_cast<std::int32_t>(random() % 6);
  model.Items = model.Core + 1 + static_cast<std::int32_t>(random() % 14);
  const auto entries = 1 + random() % 12;
  std::int32_t id = 0;
  for (std::size_t e = 0; e < entries; ++e) {
    TModelEntry entry;
    entry.Low = Random(random, 0, model.Core, 4);
    entry.High = Random(random, model.Core + 1, model.Items, 1 + static_cast<unsigned>(random() % 6));
    if (entry.High.empty()) entry.High.push_back(model.Items - 1);
    for (auto weight = 1 + random() % 3; weight > 0; --weight)
      entry.Ids.push_back(id++);
    model.Entries.push_back(entry);
  }
  return model;
}

// The database the model describes; its entries point into its own arrays.
TDatabase MakeDatabase(const TModel& model) {
  TDatabase database;
  for (const TModelEntry& entry : model.Entries) {
    database.Lows.insert(database.Lows.end(), entry.Low.begin(), entry.Low.end());
    database.Items.insert(database.Items.end(), entry.High.begin(), entry.High.end());
    database.Ids.insert(database.Ids.end(), entry.Ids.begin(), entry.Ids.end());
  }
  std::size_t low = 0;
  std::size_t high = 0;
  std::size_t id = 0;
  for (const TModelEntry& entry : model.Entries) {
    TEntry made;
    made.Low = database.Lows.data() + low;
    made.High = database.Items.data() + high;
    made.Ids = database.Ids.data() + id;
    made.LowLength = static_cast<std::int32_t>(entry.Low.size());
    made.HighLength = static_cast<std::int32_t>(entry.High.size());
    made.Weight = static_cast<std::int32_t>(entry.Ids.size());
    database.Entries.push_back(made);
    low += entry.Low.size();
    high += entry.High.size();
    id += entry.Ids.size();
  }
  return database;
}

bool Has(const TList& list, std::int32_t item) { return std::binary_search(list.begin(), list.end(), item); }

// The model's entries holding `item`, by number.
TList Holding(const TModel& model, std::int32_t item) {
  TList holding;
  for (std::size_t e = 0; e < model.Entries.size(); ++e) {
    if (Has(model.Entries[e].High, item)) holding.push_back(static_cast<std::int32_t>(e));
  }
  return holding;
}

// A database with its delivery, and a scan started on its child by the k-th
// candidate.
struct TNode {
  TModel Model;
  TDatabase Database;
  TDelivery Delivery;

  explicit TNode(std::mt19937_64& random) : Model(RandomModel(random)), Database(MakeDatabase(Model)) {
    TDatabaseMaker maker(Model.Items);
    maker.Deliver(Database, Delivery);
  }
  bool StartChild(TChildScan& scan, std::size_t k) const {
    const std::int32_t first = Delivery.OccStarts[k];
    return scan.Start(Database, Model.Core, Delivery.Occ.data() + first, Delivery.OccPlace.data() + first,
                      Delivery.OccStarts[k + 1] - first, Delivery.Candidates[k]);
  }
};

} // namespace

TEST(Sparsedatabaseunit, DeliverListsTheEntriesOfEveryCandidate) {
  std::mt19937_64 random(51);
  for (int round = 0; round < 100; ++round) {
    const TNode node(random);
    std::set<std::int32_t> every;
    for (const TModelEntry& entry : node.Model.Entries)
      every.insert(entry.High.begin(), entry.High.end());
    ASSERT_EQ(node.Delivery.Candidates, TList(every.begin(), every.end())) << "round " << round;
    for (std::size_t k = 0; k < node.Delivery.Candidates.size(); ++k) {
      const std::int32_t item = node.Delivery.Candidates[k];
      const auto begin = static_cast<std::size_t>(node.Delivery.OccStarts[k]);
      const auto end = static_cast<std::size_t>(node.Delivery.OccStarts[k + 1]);
      EXPECT_EQ(TList(node.Delivery.Occ.begin() + static_cast<std::ptrdiff_t>(begin),
                      node.Delivery.Occ.begin() + static_cast<std::ptrdiff_t>(end)),
                Holding(node.Model, item))
          << "round " << round << ", item " << item;
      for (std::size_t at = begin; at < end; ++at) {
        const TList& high = node.Model.Entries[static_cast<std::size_t>(node.Delivery.Occ[at])].High;
        EXPECT_EQ(high[static_cast<std::size_t>(node.Delivery.OccPlace[at])], item);
      }
    }
  }
}

TEST(Sparsedatabaseunit, ScanWeighsTheItemsAboveTheChildsItem) {
  std::mt19937_64 random(52);
  for (int round = 0; round < 100; ++round) {
    const TNode node(random);
    const auto minSupport = static_cast<std::int32_t>(1 + random() % 4);
    TChildScan scan(node.Model.Items, minSupport);
    for (std::size_t k = 0; k < node.Delivery.Candidates.size(); ++k) {
      const std::int32_t e = node.Delivery.Candidates[k];
      std::int32_t support = 0;
      std::map<std::int32_t, std::int32_t> weights;
      std::size_t highs = 0;
      for (const std::int32_t at : Holding(node.Model, e)) {
        const TModelEntry& entry = node.Model.Entries[static_cast<std::size_t>(at)];
        support += static_cast<std::int32_t>(entry.Ids.size());
        for (const std::int32_t item : entry.High) {
          if (item <= e) continue;
          weights[item] += static_cast<std::int32_t>(entry.Ids.size());
          ++highs;
        }
      }
      ASSERT_EQ(node.StartChild(scan, k), support >= minSupport) << "round " << round << ", item " << e;
      if (support < minSupport) continue;
      EXPECT_EQ(scan.Support, support);
      EXPECT_EQ(scan.CountAbove(), highs);
      std::map<std::int32_t, std::int32_t> counted;
      for (const std::int32_t item : scan.Touched)
        counted[item] = scan.Counted[static_cast<std::size_t>(item)];
      EXPECT_EQ(counted, weights) << "round " << round << ", item " << e;
      scan.ClearCounts();
      EXPECT_TRUE(
          std::all_of(scan.Counted.begin(), scan.Counted.end(), [](std::int32_t c) { return c == 0; }));
    }
  }
}

// The child's database: per distinct high part (the entries' items above e
// that are candidates), the weight, the transactions and the low items that
// all its entries share (their low items and high ones below e).
TEST(Sparsedatabaseunit, BuildMergesEqualHighParts) {
  using TGroup = std::tuple<std::int32_t, TList, TList>; // weight, transactions, low items
  std::mt19937_64 random(53);
  for (int round = 0; round < 100; ++round) {
    const TNode node(random);
    TChildScan scan(node.Model.Items, 1);
    TDatabaseMaker maker(node.Model.Items);
    for (std::size_t k = 0; k < node.Delivery.Candidates.size(); ++k) {
      const std::int32_t e = node.Delivery.Candidates[k];
      ASSERT_TRUE(node.StartChild(scan, k));
      const std::size_t highs = scan.CountAbove();
      // Some items left out as a parent's failures would leave them.
      for (const std::int32_t item : scan.Touched) {
        if (random() % 5 == 0) scan.Counted[static_cast<std::size_t>(item)] = -1;
      }
      std::map<TList, TGroup> expected;
      for (const std::int32_t at : Holding(node.Model, e)) {
        const TModelEntry& entry = node.Model.Entries[static_cast<std::size_t>(at)];
        TList high;
        TList low = entry.Low;
        for (const std::int32_t item : entry.High) {
          if (item < e) low.push_back(item);
          if (item > e && scan.CandidateTest()(scan.Counted[static_cast<std::size_t>(item)]))
            high.push_back(item);
        }
        if (high.empty()) continue;
        auto [group, added] = expected.try_emplace(high, 0, TList{}, low);
        auto& [weight, ids, shared] = group->second;
        weight += static_cast<std::int32_t>(entry.Ids.size());
        ids.insert(ids.end(), entry.Ids.begin(), entry.Ids.end());
        if (!added) {
          TList both;
          std::set_intersection(shared.begin(), shared.end(), low.begin(), low.end(),
                                std::back_inserter(both));
          shared = both;
        }
      }
      TDatabase child;
      maker.Build(scan, highs, child);
      std::map<TList, TGroup> made;
      for (const TEntry& entry : child.Entries) {
        const TList high(entry.High, entry.High + entry.HighLength);
        TList ids(entry.Ids, entry.Ids + entry.Weight);
        std::sort(ids.begin(), ids.end());
        const TList low(entry.Low, entry.Low + entry.LowLength);
        EXPECT_TRUE(made.try_emplace(high, entry.Weight, ids, low).second) << "a high part twice";
      }
      EXPECT_EQ(made, expected) << "round " << round << ", item " << e;
      scan.ClearCounts();
    }
  }
}

// The child by e fails exactly when an item below e outside the parent's set
// is held by every entry of its occurrence; the witness is such an item.
TEST(Sparseprefixunit, KeepsPrefixUnlessAnItemBelowIsShared) {
  std::mt19937_64 random(54);
  for (int round = 0; round < 300; ++round) {
    const TNode node(random);
    TChildScan scan(node.Model.Items, 1);
    for (std::size_t k = 0; k < node.Delivery.Candidates.size(); ++k) {
      const std::int32_t e = node.Delivery.Candidates[k];
      std::set<std::int32_t> shared;
      bool first = true;
      for (const std::int32_t at : Holding(node.Model, e)) {
        const TModelEntry& entry = node.Model.Entries[static_cast<std::size_t>(at)];
        std::set<std::int32_t> below(entry.Low.begin(), entry.Low.end());
        for (const std::int32_t item : entry.High) {
          if (item < e) below.insert(item);
        }
        if (!first) {
          std::erase_if(below, [&](std::int32_t item) { return shared.count(item) == 0; });
        }
        shared = below;
        first = false;
      }
      ASSERT_TRUE(node.StartChild(scan, k));
      std::int32_t witness = -1;
      const bool keeps = KeepsPrefix(scan, witness);
      EXPECT_EQ(keeps, shared.empty()) << "round " << round << ", item " << e;
      if (!keeps) {
        EXPECT_EQ(shared.count(witness), 1u) << "round " << round << ", witness " << witness;
      }
    }
  }
}

TEST(Sparseprefixunit, FailuresStartFromTheBlockedCandidates) {
  TFailures failures;
  failures.Blocked = {{4, 1}, {5, 0}, {8, 3}};
  const TList candidates = {2, 4, 6, 8};
  failures.Start(candidates);
  // 5 is not a candidate here: it has no place.
  EXPECT_EQ(failures.Witness, (TList{-1, 1, -1, 3}));
  EXPECT_EQ(failures.Failed, failures.Blocked);
  failures.StoreWitness(2, 0);
  EXPECT_EQ(failures.LoadWitness(2), 0);
}

// A counted candidate of the child whose parent knows its witness, not in
// the child's set, leaves the child's database when the witness is below e
// and is blocked in the child otherwise; going through the parent's list
// and looking the items up must agree.
TEST(Sparseprefixunit, HandDownFailuresEitherWay) {
  std::mt19937_64 random(55);
  for (int round = 0; round < 200; ++round) {
    const TNode node(random);
    const TList& candidates = node.Delivery.Candidates;
    TFailures failures;
    for (const std::int32_t item : candidates) {
      if (random() % 3 == 0)
        failures.Blocked.emplace_back(item,
                                      static_cast<std::int32_t>(random() % static_cast<std::uint64_t>(item)));
    }
    failures.Start(candidates);
    for (std::size_t k = 0; k < candidates.size(); ++k) {
      if (failures.Witness[k] >= 0 || random() % 3 != 0) continue;
      failures.Witness[k] =
          static_cast<std::int32_t>(random() % static_cast<std::uint64_t>(node.Model.Items));
      failures.Failed.emplace_back(candidates[k], failures.Witness[k]);
    }
    const std::size_t k = random() % candidates.size();
    const std::int32_t e = candidates[k];
    TList itemset = Random(random, 0, node.Model.Items, 2);
    itemset.push_back(e);
    std::sort(itemset.begin(), itemset.end());
    itemset.erase(std::unique(itemset.begin(), itemset.end()), itemset.end());

    for (const std::size_t ratio : {std::size_t{0}, std::size_t{std::numeric_limits<std::int32_t>::max()}}) {
      TChildScan scan(node.Model.Items, 1);
      ASSERT_TRUE(node.StartChild(scan, k));
      scan.CountAbove();
      const TList before = scan.Counted;
      TFailedList expectedBlocked;
      TList expectedCounted = before;
      for (std::size_t j = 0; j < candidates.size(); ++j) {
        const std::int32_t item = candidates[j];
        const std::int32_t witness = failures.Witness[j];
        if (witness < 0 || !scan.CandidateTest()(before[static_cast<std::size_t>(item)]) ||
            Has(itemset, witness))
          continue;
        if (witness < e) {
          expectedCounted[static_cast<std::size_t>(item)] = -1;
        } else {
          expectedBlocked.emplace_back(item, witness);
        }
      }
      TFailedList blocked = {{99, 99}}; // replaced, not added to
      HandDownFailures(failures, failures.Failed, ratio, itemset, scan, blocked);
      EXPECT_EQ(blocked, expectedBlocked) << "round " << round << ", ratio " << ratio;
      EXPECT_EQ(scan.Counted, expectedCounted) << "round " << round << ", ratio " << ratio;
    }
  }
}
