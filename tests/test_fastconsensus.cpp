// The word-packed, multi-core TBicliques against the plain TReferenceBicliques:
// same Results in the same order, same Tags, same Passes, same RowsOf bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Bicliqueunit.h"
#include "BruteForce.h"
#include "ReferenceBicliques.h"

namespace {

using TRowTexts = std::vector<std::string>;

template <typename TEngine> void Fill(TEngine& engine, const TRowTexts& rows) {
  for (std::size_t s = 0; s < rows.size(); ++s)
    engine.Rows[s]->FromBinStr(rows[s]);
}

std::int32_t Width(const TRowTexts& rows) { return static_cast<std::int32_t>(bruteforce::Width(rows)); }

// Each item as its bits and Tag, e.g. "0110#3".
std::vector<std::string> Describe(const TBitArrayList* list) {
  std::vector<std::string> items;
  for (const auto* item : list->Items)
    items.push_back(item->ToBinStr() + "#" + std::to_string(item->Tag));
  return items;
}

template <typename TEngine> std::vector<std::vector<std::uint8_t>> SourceBytes(const TEngine& engine) {
  std::vector<std::vector<std::uint8_t>> sides;
  for (std::int32_t u = 0; u < engine.Results->ItemCount(); ++u) {
    TBitArray out(engine.RowCount);
    engine.RowsOf(u, &out);
    sides.push_back(out.Bytes);
  }
  return sides;
}

void ExpectSortedWithZeroSpareBits(const TBitArrayList* list) {
  for (std::size_t k = 0; k < list->Items.size(); ++k) {
    const TBitArray* item = list->Items[k];
    if (k > 0) {
      EXPECT_LT(list->Items[k - 1]->Compare(item), 0) << "at " << k;
    }
    const int spare = static_cast<int>(8 * item->Bytes.size()) - item->Size;
    if (spare > 0) {
      EXPECT_EQ(item->Bytes.back() & ((1 << spare) - 1), 0) << "at " << k;
    }
  }
}

// Runs both engines on `rows` and expects the same outcome in every respect.
void ExpectSameAsReference(const TRowTexts& rows) {
  const auto n = static_cast<std::int32_t>(rows.size());
  TReferenceBicliques reference(n, Width(rows));
  Fill(reference, rows);
  const std::int32_t expectedCount = reference.Run();
  TBicliques fast(n, Width(rows));
  Fill(fast, rows);
  EXPECT_EQ(fast.Run(), expectedCount);
  EXPECT_EQ(fast.Passes(), reference.Passes);
  EXPECT_EQ(Describe(fast.Results), Describe(reference.Results));
  EXPECT_EQ(fast.Frontier->ItemCount(), 0);
  EXPECT_EQ(fast.NewResults->ItemCount(), 0);
  EXPECT_EQ(SourceBytes(fast), SourceBytes(reference));
  ExpectSortedWithZeroSpareBits(fast.Results);
}

TEST(FastConsensus, RandomMatricesAroundWordEdges) {
  std::mt19937 random(20240611);
  // Row counts and densities that keep the reference within seconds.
  const std::pair<std::int32_t, double> shapes[] = {{2, 0.5}, {7, 0.85}, {12, 0.6}, {20, 0.3}, {33, 0.15}};
  for (const std::int32_t width : {1, 5, 8, 9, 63, 64, 65, 127, 128, 129, 200}) {
    for (const auto& [rowCount, density] : shapes) {
      const TRowTexts rows = bruteforce::RandomMatrix(random, rowCount, width, density);
      SCOPED_TRACE("width " + std::to_string(width) + ", density " + std::to_string(density) + ", rows " +
                   std::to_string(rowCount));
      ExpectSameAsReference(rows);
    }
  }
}

// Many sources against sets of few targets: the scans that number each
// set's consensus sets in a table of first sources, over every later source
// or only over those sharing a target with the set.
TEST(FastConsensus, ManySourcesAgainstSetsOfFewTargets) {
  std::mt19937 random(11);
  struct TShape {
    std::int32_t Rows;
    std::int32_t Width;
    double Density;
  };
  const TShape shapes[] = {{130, 40, 0.06}, {100, 100, 0.12}, {70, 20, 0.35}, {90, 150, 0.1}};
  for (const TShape& shape : shapes) {
    SCOPED_TRACE("rows " + std::to_string(shape.Rows) + ", width " + std::to_string(shape.Width));
    ExpectSameAsReference(bruteforce::RandomMatrix(random, shape.Rows, shape.Width, shape.Density));
  }
}

// Enough pairs per pass that the passes share their frontier among threads.
TEST(FastConsensus, ParallelPassesMatchTheReferenceRunAfterRun) {
  std::mt19937 random(7);
  for (const std::int32_t width : {190, 300}) {
    const TRowTexts rows = bruteforce::RandomMatrix(random, 28, width, 0.3);
    ExpectSameAsReference(rows);
    std::vector<std::string> first;
    for (int run = 0; run < 4; ++run) {
      TBicliques engine(static_cast<std::int32_t>(rows.size()), width);
      Fill(engine, rows);
      engine.Run();
      const auto results = Describe(engine.Results);
      if (run == 0) first = results;
      EXPECT_EQ(results, first) << "run " << run;
    }
  }
}

// The steps one by one: after seeding and after every pass, the lists hold
// what the reference's lists hold.
TEST(FastConsensus, EveryPassLeavesTheListsAsTheReferenceDoes) {
  std::mt19937 random(99);
  for (const std::int32_t width : {6, 64, 90}) {
    const TRowTexts rows = bruteforce::RandomMatrix(random, 12, width, 0.5);
    TReferenceBicliques reference(12, width);
    TBicliques fast(12, width);
    Fill(reference, rows);
    Fill(fast, rows);
    reference.BuildColumns();
    fast.BuildColumns();
    for (std::int32_t t = 0; t < width; ++t) {
      EXPECT_EQ(fast.Columns[static_cast<std::size_t>(t)]->Bytes,
                reference.Columns[static_cast<std::size_t>(t)]->Bytes);
    }
    reference.SeedLists();
    fast.SeedLists();
    for (int pass = 0;; ++pass) {
      SCOPED_TRACE("width " + std::to_string(width) + ", after pass " + std::to_string(pass));
      EXPECT_EQ(Describe(fast.Results), Describe(reference.Results));
      EXPECT_EQ(Describe(fast.Frontier), Describe(reference.Frontier));
      EXPECT_EQ(fast.NewResults->ItemCount(), 0);
      if (reference.Frontier->ItemCount() == 0) break;
      reference.ConsensusPass();
      fast.ConsensusPass();
    }
  }
}

// Closure against its definition: the targets common to every source that
// is adjacent to all of X.
TEST(FastConsensus, ClosureKeepsTheTargetsOfEverySourceHoldingTheSet) {
  std::mt19937 random(5);
  for (const std::int32_t width : {3, 8, 65}) {
    const TRowTexts rows = bruteforce::RandomMatrix(random, 9, width, 0.7);
    TBicliques engine(9, width);
    Fill(engine, rows);
    engine.BuildColumns();
    std::bernoulli_distribution keep(0.5);
    for (int trial = 0; trial < 50; ++trial) {
      // A part of some row, so that at least one source holds it.
      const std::string& row = rows[static_cast<std::size_t>(trial % 9)];
      std::string x = row;
      for (auto& c : x) {
        if (c == '1' && !keep(random)) c = '0';
      }
      std::string expected(static_cast<std::size_t>(width), '1');
      for (const auto& other : rows) {
        bool holds = true;
        for (std::size_t t = 0; t < x.size(); ++t)
          holds = holds && (x[t] == '0' || other[t] == '1');
        if (!holds) continue;
        for (std::size_t t = 0; t < x.size(); ++t) {
          if (other[t] == '0') expected[t] = '0';
        }
      }
      TBitArray X(width);
      X.FromBinStr(x);
      engine.Closure(&X);
      EXPECT_EQ(X.ToBinStr(), expected) << "closure of " << x;
    }
  }
}

} // namespace
