// The lattice as DOT and GraphML from the bicliques command, read back by
// Graphviz (dot -Tplain) and by an XML parser (Python's), against the cover
// relation taken from its definition.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "BruteForce.h"
#include "CommandTesting.h"
#include "LatticeTesting.h"
#include "Latticetextunit.h"
#include "Rununit.h"

namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::string>;
using TEdges = std::set<std::pair<std::string, std::string>>;

// Reads a GraphML file and prints it as JSON: its nodes with their data by
// attribute name, and its edges.
constexpr const char* GraphmlToJson = R"(
import json, sys, xml.etree.ElementTree as ET
g = '{http://graphml.graphdrawing.org/xmlns}'
root = ET.parse(sys.argv[1]).getroot()
keys = {k.get('id'): k.get('attr.name') for k in root.iter(g + 'key')}
nodes = [dict({'id': n.get('id')}, **{keys[d.get('key')]: d.text or '' for d in n.iter(g + 'data')})
         for n in root.iter(g + 'node')]
edges = [[e.get('source'), e.get('target')] for e in root.iter(g + 'edge')]
print(json.dumps({'nodes': nodes, 'edges': edges}))
)";

std::string Joined(const Rows& rows) {
  std::string text;
  for (const std::string& row : rows)
    text += row + "\n";
  return text;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;)
    words.push_back(word);
  return words;
}

// What dot -Tplain says: each node's height, and the edges.
struct TPlain {
  std::map<std::string, double> Y;
  TEdges Edges;
};

TPlain ParsePlain(const std::string& text) {
  TPlain plain;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> words = Words(line);
    if (words.size() > 3 && words[0] == "node") plain.Y[words[1]] = std::stod(words[3]);
    if (words.size() > 2 && words[0] == "edge") plain.Edges.insert({words[1], words[2]});
  }
  return plain;
}

std::string Id(std::int32_t node) { return "n" + std::to_string(node + 1); }

// The edges a diagram of these result lines must have: every cover pair,
// and when no line has every target, one from "bottom" up to each node with
// no lower cover.
TEdges ExpectedEdges(const std::vector<std::string>& lines, std::size_t targets) {
  const std::vector<TBicliqueSides> sides = latticetesting::SidesOfLines(lines);
  TEdges edges;
  std::vector<char> covering(sides.size(), 0);
  for (const TCover& cover : latticetesting::CoversByDefinition(sides)) {
    edges.insert({Id(cover.Lower), Id(cover.Upper)});
    covering[static_cast<std::size_t>(cover.Upper)] = 1;
  }
  const bool bottomListed = std::any_of(sides.begin(), sides.end(),
                                        [&](const TBicliqueSides& s) { return s.Targets.size() == targets; });
  if (!bottomListed)
    for (std::size_t i = 0; i < sides.size(); ++i)
      if (covering[i] == 0) edges.insert({"bottom", Id(static_cast<std::int32_t>(i))});
  return edges;
}

class LatticeCliTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("bicliques-lattice-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  // Runs a shell command in Dir, "bicliques" standing for the command.
  TOutcome Shell(const std::string& command) {
    const std::string line = "cd '" + Dir.string() + "' && bicliques='" BICLIQUES_EXE "' && { " + command +
                             "; } </dev/null >stdout 2>stderr";
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(Dir / "stdout"), Slurp(Dir / "stderr")};
  }

  // The text result lines of matrix.txt with `arguments`.
  std::vector<std::string> Lines(const std::string& arguments) {
    const TOutcome text = Shell("\"$bicliques\" matrix.txt " + arguments);
    EXPECT_EQ(text.Status, 0) << text.Err;
    return SplitLines(text.Out);
  }

  // The GraphML of `input` with `arguments`, read back by the XML parser.
  nlohmann::json Graphml(const std::string& input, const std::string& arguments) {
    Spit(Dir / "parse.py", GraphmlToJson);
    const TOutcome made = Shell("\"$bicliques\" " + input + " --format graphml " + arguments +
                                " >graph.xml && /usr/bin/python3 parse.py graph.xml");
    EXPECT_EQ(made.Status, 0) << made.Err;
    return made.Status == 0 ? nlohmann::json::parse(made.Out) : nlohmann::json();
  }

  fs::path Dir;
};

// Bounds of every kind on the command line: none, an iceberg, and bounds on
// both sides.
std::string RandomBounds(std::mt19937& random) {
  switch (random() % 4) {
  case 0:
    return "";
  case 1:
    return "--min-sources " + std::to_string(random() % 5);
  case 2:
    return "--max-sources " + std::to_string(1 + random() % 5) + " --min-targets " +
           std::to_string(random() % 3);
  default:
    return "--min-sources 2 --max-targets " + std::to_string(1 + random() % 6);
  }
}

TEST_F(LatticeCliTest, DotDrawsEveryCoverPairUpward) {
  std::mt19937 random(18);
  for (int round = 0; round < 12; ++round) {
    const Rows rows = bruteforce::RandomMatrix(random, 2 + random() % 10, 1 + random() % 9);
    Spit(Dir / "matrix.txt", Joined(rows));
    const std::string bounds = RandomBounds(random);
    const std::vector<std::string> lines = Lines(bounds);
    const TOutcome drawn = Shell("\"$bicliques\" matrix.txt --format dot " + bounds + " | dot -Tplain");
    ASSERT_EQ(drawn.Status, 0) << drawn.Err;
    EXPECT_EQ(drawn.Err, "");
    const TPlain plain = ParsePlain(drawn.Out);
    const TEdges expected = ExpectedEdges(lines, bruteforce::Width(rows));
    const std::string context = Joined(rows) + bounds;
    EXPECT_EQ(plain.Edges, expected) << context;
    std::set<std::string> ids;
    for (std::size_t i = 0; i < lines.size(); ++i)
      ids.insert(Id(static_cast<std::int32_t>(i)));
    for (const auto& edge : expected)
      ids.insert(edge.first);
    std::set<std::string> drawnIds;
    for (const auto& [id, y] : plain.Y)
      drawnIds.insert(id);
    EXPECT_EQ(drawnIds, ids) << context;
    for (const auto& [lower, upper] : plain.Edges)
      EXPECT_LT(plain.Y.at(lower), plain.Y.at(upper)) << lower << " -> " << upper << "\n" << context;
  }
}

TEST_F(LatticeCliTest, GraphmlHoldsEveryNodeAndCoverPair) {
  std::mt19937 random(81);
  for (int round = 0; round < 6; ++round) {
    const Rows rows = bruteforce::RandomMatrix(random, 2 + random() % 10, 1 + random() % 9);
    Spit(Dir / "matrix.txt", Joined(rows));
    const std::string bounds = RandomBounds(random);
    const std::vector<std::string> lines = Lines(bounds);
    const nlohmann::json graph = Graphml("matrix.txt", bounds);
    const std::string context = Joined(rows) + bounds;
    TEdges edges;
    for (const auto& edge : graph["edges"])
      edges.insert({edge[0].get<std::string>(), edge[1].get<std::string>()});
    const TEdges expected = ExpectedEdges(lines, bruteforce::Width(rows));
    EXPECT_EQ(edges, expected) << context;
    const std::vector<TBicliqueSides> sides = latticetesting::SidesOfLines(lines);
    std::size_t listed = 0;
    for (const auto& node : graph["nodes"]) {
      if (node["id"] == "bottom") {
        EXPECT_EQ(node["bottom"], "true");
        EXPECT_EQ(node["targets"], std::to_string(bruteforce::Width(rows)));
        continue;
      }
      ASSERT_EQ(node["id"], Id(static_cast<std::int32_t>(listed))) << context;
      EXPECT_EQ(node["line"], lines[listed]);
      EXPECT_EQ(node["sources"], std::to_string(sides[listed].Sources.size()));
      EXPECT_EQ(node["targets"], std::to_string(sides[listed].Targets.size()));
      EXPECT_EQ(node["label"],
                node["sources"].get<std::string>() + " \u00d7 " + node["targets"].get<std::string>());
      ++listed;
    }
    EXPECT_EQ(listed, lines.size()) << context;
  }
}

TEST_F(LatticeCliTest, IcebergIsTheWholeLatticeFiltered) {
  std::mt19937 random(7);
  for (int round = 0; round < 3; ++round) {
    const Rows rows = bruteforce::RandomMatrix(random, 6 + random() % 8, 4 + random() % 8);
    Spit(Dir / "matrix.txt", Joined(rows));
    const nlohmann::json whole = Graphml("matrix.txt", "");
    // Each n-node by its result line, with its number of sources.
    std::map<std::string, std::pair<std::string, int>> byId;
    for (const auto& node : whole["nodes"])
      if (node["id"] != "bottom")
        byId[node["id"]] = {node["line"], std::stoi(node["sources"].get<std::string>())};
    for (const int least : {2, 4}) {
      std::set<std::string> expectedLines;
      for (const auto& [id, node] : byId)
        if (node.second >= least) expectedLines.insert(node.first);
      std::set<std::pair<std::string, std::string>> expectedEdges;
      for (const auto& edge : whole["edges"]) {
        if (edge[0] == "bottom") continue;
        const auto& lower = byId.at(edge[0]);
        const auto& upper = byId.at(edge[1]);
        if (lower.second >= least) expectedEdges.insert({lower.first, upper.first});
      }
      const nlohmann::json iceberg = Graphml("matrix.txt", "--min-sources " + std::to_string(least));
      std::map<std::string, std::string> lineOf;
      std::set<std::string> icebergLines;
      for (const auto& node : iceberg["nodes"])
        if (node["id"] != "bottom") {
          lineOf[node["id"]] = node["line"];
          icebergLines.insert(node["line"].get<std::string>());
        }
      std::set<std::pair<std::string, std::string>> icebergEdges;
      for (const auto& edge : iceberg["edges"])
        if (edge[0] != "bottom") icebergEdges.insert({lineOf.at(edge[0]), lineOf.at(edge[1])});
      const std::string context = Joined(rows) + "--min-sources " + std::to_string(least);
      EXPECT_EQ(icebergLines, expectedLines) << context;
      EXPECT_EQ(icebergEdges, expectedEdges) << context;
    }
  }
}

TEST_F(LatticeCliTest, RefusesMoreNodesThanTheLimitNamingAnIcebergThatFits) {
  Spit(Dir / "matrix.txt", "11110\n00111\n");
  const TOutcome refused = Shell("\"$bicliques\" matrix.txt --format dot --lattice-limit 2");
  EXPECT_EQ(refused.Status, 1);
  EXPECT_EQ(refused.Out, "");
  EXPECT_NE(refused.Err.find("more than --lattice-limit 2; try --min-sources 2 (an iceberg of 1)"),
            std::string::npos)
      << refused.Err;

  // Every subset of 12 targets but the whole: 4,095 results, beyond the
  // default limit; the bound named must fit it.
  Rows rows(12, std::string(12, '1'));
  for (std::size_t i = 0; i < rows.size(); ++i)
    rows[i][i] = '0';
  Spit(Dir / "matrix.txt", Joined(rows));
  const TOutcome beyond = Shell("\"$bicliques\" matrix.txt --format graphml");
  EXPECT_EQ(beyond.Status, 1);
  const std::size_t at = beyond.Err.find("--lattice-limit 2000; try --min-sources ");
  ASSERT_NE(at, std::string::npos) << beyond.Err;
  const int bound =
      std::stoi(beyond.Err.substr(at + std::string("--lattice-limit 2000; try --min-sources ").size()));
  const nlohmann::json iceberg = Graphml("matrix.txt", "--min-sources " + std::to_string(bound));
  EXPECT_LE(iceberg["nodes"].size(), 2001u);
  EXPECT_GT(iceberg["nodes"].size(), 1000u) << "the smallest bound that fits keeps more than half";
}

TEST_F(LatticeCliTest, NamesInReducedLabelsSurviveBothFormats) {
  const std::vector<std::string> sources{"a\"b", "c\\d"}, targets{"<e&f>", "\u00e9t\u00e9", "g'h"};
  Spit(Dir / "named.cxt", "B\n\n2\n3\n\n" + sources[0] + "\n" + sources[1] + "\n" + targets[0] + "\n" +
                              targets[1] + "\n" + targets[2] + "\nXX.\n.XX\n");
  const nlohmann::json graph = Graphml("named.cxt", "--lattice-labels reduced");
  std::vector<std::string> labels;
  for (const auto& node : graph["nodes"])
    labels.push_back(node["label"]);
  const std::vector<std::string> expected{sources[0] + " : " + targets[0], ": " + targets[1],
                                          sources[1] + " : " + targets[2], ""};
  EXPECT_EQ(labels, expected);
  const TOutcome drawn =
      Shell("\"$bicliques\" named.cxt --format dot --lattice-labels reduced | dot -Tplain");
  EXPECT_EQ(drawn.Status, 0);
  EXPECT_EQ(drawn.Err, "");
  EXPECT_NE(drawn.Out.find(sources[0].substr(0, 1)), std::string::npos);
}

// Names that are no UTF-8 text, or control characters, become U+FFFD, so
// that both formats stay readable. One source per name, all with the same
// row: they all show at the one node.
TEST_F(LatticeCliTest, TextThatIsNoUtf8BecomesTheReplacementCharacter) {
  const std::string replaced = "\xEF\xBF\xBD";
  const struct {
    std::string name, shown;
  } cases[] = {
      {"bell\x07", "bell" + replaced},
      {"\xFF", replaced},
      {"\xC3", replaced},
      {"\xED\xA0\x80", replaced + replaced + replaced},
      {"\xEF\xBF\xBE", replaced},
      {"\xC2\x85", replaced},
      {"\xF0\x9F\x98\x80 ok", "\xF0\x9F\x98\x80 ok"},
  };
  TMatrix matrix = MatrixOfLines(Rows(std::size(cases), "1"));
  matrix.TargetNames = {"t"};
  TLattice lattice;
  lattice.Lines = {"1 : 1"};
  lattice.Sides = {{{}, {0}}};
  std::string shown;
  for (std::size_t s = 0; s < std::size(cases); ++s) {
    matrix.SourceNames.push_back(cases[s].name);
    lattice.Sides[0].Sources.push_back(static_cast<std::int32_t>(s));
    shown += (s == 0 ? "" : ",") + cases[s].shown;
  }
  const TDiagram diagram = Diagram(matrix, lattice, TNodeLabels::Reduced);
  Spit(Dir / "parse.py", GraphmlToJson);
  Spit(Dir / "graph.xml", LatticeText(diagram, lattice, TLatticeFormat::Graphml));
  const TOutcome parsed = Shell("/usr/bin/python3 parse.py graph.xml");
  ASSERT_EQ(parsed.Status, 0) << parsed.Err;
  EXPECT_EQ(nlohmann::json::parse(parsed.Out)["nodes"][0]["label"], shown + " : t");
  Spit(Dir / "graph.dot", LatticeText(diagram, lattice, TLatticeFormat::Dot));
  const TOutcome drawn = Shell("dot -Tplain graph.dot");
  EXPECT_EQ(drawn.Status, 0);
  EXPECT_EQ(drawn.Err, "");
}

} // namespace
