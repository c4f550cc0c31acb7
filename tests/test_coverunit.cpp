// The cover relation against the relation taken straight from its
// definition, on random contexts with every shape of row and column.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "BruteForce.h"
#include "Coverunit.h"
#include "LatticeTesting.h"
#include "Rununit.h"

namespace {

using latticetesting::CoversByDefinition;
using Rows = std::vector<std::string>;

constexpr TCoverWay Ways[] = {TCoverWay::Cheaper, TCoverWay::Up, TCoverWay::Down};

std::vector<std::int32_t> Members(const std::string& bits) {
  std::vector<std::int32_t> members;
  for (std::size_t i = 0; i < bits.size(); ++i)
    if (bits[i] == '1') members.push_back(static_cast<std::int32_t>(i));
  return members;
}

// Every maximal biclique of `rows` that `bounds` admits, in random order.
std::vector<TBicliqueSides> AdmittedBicliques(const Rows& rows, const TBounds& bounds, std::mt19937& random) {
  std::vector<TBicliqueSides> results;
  for (const auto& [targets, sources] : bruteforce::Bicliques(rows)) {
    TBicliqueSides result{Members(sources), Members(targets)};
    if (bounds.Admits(static_cast<std::int32_t>(result.Sources.size()),
                      static_cast<std::int32_t>(result.Targets.size())))
      results.push_back(std::move(result));
  }
  std::shuffle(results.begin(), results.end(), random);
  return results;
}

// A random matrix with empty and repeated rows (bruteforce::RandomMatrix),
// some columns then emptied or copied from another.
Rows RandomContext(std::mt19937& random, std::size_t rows, std::size_t columns, double density) {
  Rows matrix = bruteforce::RandomMatrix(random, rows, columns, density);
  for (std::size_t c = 0; c < columns; ++c) {
    const unsigned kind = random() % 8;
    const std::size_t from = random() % columns;
    for (std::string& row : matrix)
      row[c] = kind == 0 ? '0' : kind == 1 ? row[from] : row[c];
  }
  return matrix;
}

TBounds RandomBounds(std::mt19937& random, std::size_t rows, std::size_t columns) {
  TBounds bounds;
  switch (random() % 4) {
  case 0: // everything
    break;
  case 1: // an iceberg
    bounds.MinSources = static_cast<std::int32_t>(random() % (rows + 1));
    break;
  default: // any bounds on both sides
    bounds.MinSources = static_cast<std::int32_t>(random() % (rows / 2 + 1));
    bounds.MaxSources = bounds.MinSources + static_cast<std::int32_t>(random() % (rows + 1));
    bounds.MinTargets = static_cast<std::int32_t>(random() % (columns / 2 + 1));
    bounds.MaxTargets = bounds.MinTargets + static_cast<std::int32_t>(random() % (columns + 1));
  }
  return bounds;
}

std::string Described(const Rows& rows, const TBounds& bounds, TCoverWay way) {
  std::string text = "way " + std::to_string(static_cast<int>(way)) + ", sources " +
                     std::to_string(bounds.MinSources) + ".." + std::to_string(bounds.MaxSources) +
                     ", targets " + std::to_string(bounds.MinTargets) + ".." +
                     std::to_string(bounds.MaxTargets) + ", matrix";
  for (const std::string& row : rows)
    text += " " + row;
  return text;
}

void ExpectCoversByDefinition(const Rows& rows, const TBounds& bounds, std::mt19937& random) {
  const std::vector<TBicliqueSides> results = AdmittedBicliques(rows, bounds, random);
  const std::vector<TCover> expected = CoversByDefinition(results);
  const TMatrix matrix = MatrixOfLines(rows);
  for (const TCoverWay way : Ways)
    ASSERT_EQ(Covers(matrix, results, way), expected) << Described(rows, bounds, way);
}

TEST(Covers, HandWorkedCases) {
  struct Case {
    const char* name;
    Rows rows;
    std::vector<TBicliqueSides> results;
    std::vector<TCover> covers;
  };
  const Case cases[] = {
      {"worked example: both sides meet in the middle",
       {"11110", "00111"},
       {{{0}, {0, 1, 2, 3}}, {{0, 1}, {2, 3}}, {{1}, {2, 3, 4}}},
       {{0, 1}, {2, 1}}},
      {"a chain of three, listed from the top",
       {"111", "110", "100"},
       {{{0, 1, 2}, {0}}, {{0, 1}, {0, 1}}, {{0}, {0, 1, 2}}},
       {{1, 0}, {2, 1}}},
      {"disjoint rows: each lies below the top with no targets",
       {"10", "01"},
       {{{0}, {0}}, {{0, 1}, {}}, {{1}, {1}}},
       {{0, 1}, {2, 1}}},
      {"all ones: one result, no cover", {"11", "11"}, {{{0, 1}, {0, 1}}}, {}},
      {"no results", {"10"}, {}, {}},
  };
  for (const Case& c : cases) {
    const TMatrix matrix = MatrixOfLines(c.rows);
    for (const TCoverWay way : Ways)
      EXPECT_EQ(Covers(matrix, c.results, way), c.covers) << c.name << ", way " << static_cast<int>(way);
  }
}

TEST(Covers, MatchTheDefinitionOnSmallRandomContexts) {
  std::mt19937 random(18);
  for (int round = 0; round < 400; ++round) {
    const std::size_t rows = 1 + random() % 11, columns = random() % 11;
    const Rows matrix =
        RandomContext(random, rows, columns, std::uniform_real_distribution(0.1, 0.9)(random));
    ExpectCoversByDefinition(matrix, RandomBounds(random, rows, columns), random);
  }
}

TEST(Covers, MatchTheDefinitionOnContextsOfEveryShape) {
  std::mt19937 random(7);
  const Rows shapes[] = {
      {"1111", "1111", "1111"},         // all ones
      {"0000", "0000"},                 // all zeros
      {"", "", ""},                     // no targets
      {"1"},                            // one cell
      {"1000", "0100", "0010", "0001"}, // disjoint rows
      {"0111", "1011", "1101", "1110"}, // the complement of the identity: every subset a result
      {"1100", "1100", "0011", "0011"}, // repeated rows
      {"1010", "1010", "1010", "0101"}, // repeated columns
  };
  for (const Rows& rows : shapes) {
    ExpectCoversByDefinition(rows, TBounds(), random);
    TBounds iceberg;
    iceberg.MinSources = 2;
    ExpectCoversByDefinition(rows, iceberg, random);
  }
}

// Larger contexts, listed by the run path, in its sorted order.
TEST(Covers, MatchTheDefinitionOnListedResults) {
  std::mt19937 random(2024);
  for (int round = 0; round < 12; ++round) {
    const std::size_t rows = 20 + random() % 30, columns = 10 + random() % 70;
    const Rows matrix =
        RandomContext(random, rows, columns, std::uniform_real_distribution(0.1, 0.25)(random));
    TRunOptions options;
    // Bounds that leave some hundreds of results: low lower bounds, upper
    // bounds now and then.
    TBounds& bounds = options.Config.Bounds;
    bounds.MinSources = 1 + static_cast<std::int32_t>(random() % 3);
    bounds.MinTargets = static_cast<std::int32_t>(random() % 3);
    if (random() % 2 == 0) bounds.MaxSources = bounds.MinSources + static_cast<std::int32_t>(random() % 8);
    if (random() % 2 == 0) bounds.MaxTargets = bounds.MinTargets + static_cast<std::int32_t>(random() % 8);
    const TRunResult run = RunLines(matrix, options);
    ASSERT_LE(run.Count, 1000) << "keep the definition's cubic cost small";
    const std::vector<TBicliqueSides> results = latticetesting::SidesOfLines(SplitLines(run.Text));
    const std::vector<TCover> expected = CoversByDefinition(results);
    const TMatrix read = MatrixOfLines(matrix);
    for (const TCoverWay way : Ways)
      ASSERT_EQ(Covers(read, results, way), expected) << Described(matrix, options.Config.Bounds, way);
  }
}

} // namespace
