#include "Latticediagramunit.h"

#include <algorithm>
#include <unordered_map>

namespace {

std::uint64_t HashOf(std::span<const std::int32_t> members) {
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ members.size();
  for (const std::int32_t v : members) {
    h = (h ^ static_cast<std::uint32_t>(v)) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  return h;
}

// Node places by one side's members.
class TSideIndex {
public:
  TSideIndex(std::span<const TBicliqueSides> nodes, std::vector<std::int32_t> TBicliqueSides::*side)
      : Nodes(nodes), Side(side) {
    for (std::size_t i = 0; i < nodes.size(); ++i)
      Places.emplace(HashOf(nodes[i].*side), static_cast<std::int32_t>(i));
  }
  // The node whose side is `members`; -1 when none is.
  std::int32_t Find(std::span<const std::int32_t> members) const {
    const auto [first, last] = Places.equal_range(HashOf(members));
    for (auto at = first; at != last; ++at) {
      const std::vector<std::int32_t>& side = Nodes[static_cast<std::size_t>(at->second)].*Side;
      if (std::equal(side.begin(), side.end(), members.begin(), members.end())) return at->second;
    }
    return -1;
  }

private:
  std::span<const TBicliqueSides> Nodes;
  std::vector<std::int32_t> TBicliqueSides::*Side;
  std::unordered_multimap<std::uint64_t, std::int32_t> Places;
};

// How vertex v of a side is shown.
std::string Shown(std::int32_t v, const std::vector<std::string>& names,
                  const std::vector<std::int64_t>& ids) {
  const auto at = static_cast<std::size_t>(v);
  if (!names.empty()) return names[at];
  return std::to_string(ids.empty() ? std::int64_t{v} + 1 : ids[at]);
}

std::string Joined(const std::vector<std::int32_t>& members, const std::vector<std::string>& names,
                   const std::vector<std::int64_t>& ids) {
  std::string text;
  for (const std::int32_t v : members) {
    if (!text.empty()) text += ',';
    text += Shown(v, names, ids);
  }
  return text;
}

std::string ReducedText(const TMatrix& matrix, const TBicliqueSides& own) {
  std::string text = Joined(own.Sources, matrix.SourceNames, matrix.SourceIds);
  if (own.Sources.empty() && own.Targets.empty()) return text;
  text += text.empty() ? ":" : " :";
  if (!own.Targets.empty()) {
    text += ' ';
    text += Joined(own.Targets, matrix.TargetNames, matrix.TargetIds);
  }
  return text;
}

std::string CountsText(std::int32_t sources, std::int32_t targets) {
  std::string text = std::to_string(sources);
  text += " \u00d7 ";
  text += std::to_string(targets);
  return text;
}

} // namespace

std::vector<TBicliqueSides> ReducedLabels(const TMatrix& matrix, std::span<const TBicliqueSides> nodes) {
  std::vector<TBicliqueSides> own(nodes.size());
  const TSideIndex byTargets(nodes, &TBicliqueSides::Targets);
  for (std::int32_t s = 0; s < matrix.Sources; ++s) {
    const std::int32_t node = byTargets.Find(matrix.Row(s));
    if (node >= 0) own[static_cast<std::size_t>(node)].Sources.push_back(s);
  }
  std::vector<std::vector<std::int32_t>> columns(static_cast<std::size_t>(matrix.Targets));
  for (std::int32_t s = 0; s < matrix.Sources; ++s)
    for (const std::int32_t t : matrix.Row(s))
      columns[static_cast<std::size_t>(t)].push_back(s);
  const TSideIndex bySources(nodes, &TBicliqueSides::Sources);
  for (std::int32_t t = 0; t < matrix.Targets; ++t) {
    const std::int32_t node = bySources.Find(columns[static_cast<std::size_t>(t)]);
    if (node >= 0) own[static_cast<std::size_t>(node)].Targets.push_back(t);
  }
  return own;
}

TDiagram Diagram(const TMatrix& matrix, const TLattice& lattice, TNodeLabels labels) {
  std::vector<TBicliqueSides> nodes = lattice.Sides;
  TDiagram diagram;
  diagram.Edges = lattice.Covers;
  const bool bottomListed = std::any_of(nodes.begin(), nodes.end(), [&](const TBicliqueSides& node) {
    return static_cast<std::int32_t>(node.Targets.size()) == matrix.Targets;
  });
  if (!nodes.empty() && !bottomListed) {
    diagram.AddedBottom = true;
    TBicliqueSides bottom;
    for (std::int32_t s = 0; s < matrix.Sources; ++s)
      if (static_cast<std::int32_t>(matrix.Row(s).size()) == matrix.Targets) bottom.Sources.push_back(s);
    for (std::int32_t t = 0; t < matrix.Targets; ++t)
      bottom.Targets.push_back(t);
    std::vector<char> covering(nodes.size(), 0);
    for (const TCover& cover : lattice.Covers)
      covering[static_cast<std::size_t>(cover.Upper)] = 1;
    const auto added = static_cast<std::int32_t>(nodes.size());
    for (std::int32_t i = 0; i < added; ++i)
      if (covering[static_cast<std::size_t>(i)] == 0) diagram.Edges.push_back({added, i});
    nodes.push_back(std::move(bottom));
  }
  std::vector<TBicliqueSides> reduced;
  if (labels == TNodeLabels::Reduced) reduced = ReducedLabels(matrix, nodes);
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const auto sources = static_cast<std::int32_t>(nodes[i].Sources.size());
    const auto targets = static_cast<std::int32_t>(nodes[i].Targets.size());
    diagram.Sources.push_back(sources);
    diagram.Targets.push_back(targets);
    diagram.Labels.push_back(labels == TNodeLabels::Reduced ? ReducedText(matrix, reduced[i])
                                                            : CountsText(sources, targets));
  }
  return diagram;
}
