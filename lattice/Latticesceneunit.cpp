#include "Latticesceneunit.h"

#include <algorithm>
#include <cmath>

#include "Coverunit.h"
#include "Lineindexunit.h"
#include "Rununit.h"
#include "Selectionunit.h"

namespace {

// Sources of a result line: the numbers before " : ".
std::int32_t SourcesOf(std::string_view line) {
  const std::size_t colon = line.find(" : ");
  const std::string_view sources = line.substr(0, colon);
  if (sources.empty()) return 0;
  return static_cast<std::int32_t>(std::count(sources.begin(), sources.end(), ',')) + 1;
}

// Characters of UTF-8 text: its bytes other than continuation bytes.
std::size_t Characters(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

TLatticeScene LatticeScene(const std::vector<std::string>& rows, std::string_view text,
                           std::int32_t minSources, TNodeLabels labels, const TSceneSizes& sizes,
                           std::int64_t aim, std::int64_t limit) {
  const TLineIndex index(text);
  std::vector<std::int32_t> counts(static_cast<std::size_t>(index.Count()));
  for (std::int64_t i = 0; i < index.Count(); ++i)
    counts[static_cast<std::size_t>(i)] = SourcesOf(index.Line(text, i));
  TLatticeScene scene;
  scene.Results = index.Count();
  scene.MinSources = minSources >= 0 ? minSources : IcebergMinSources(counts, aim);
  const auto kept =
      std::count_if(counts.begin(), counts.end(), [&](std::int32_t n) { return n >= scene.MinSources; });
  if (kept > limit) {
    scene.Refused = std::to_string(kept) + " nodes are too many to draw (at most " + std::to_string(limit) +
                    "); raise the minimum of sources to " + std::to_string(IcebergMinSources(counts, limit)) +
                    ".";
    return scene;
  }

  TLattice lattice;
  for (std::int64_t i = 0; i < index.Count(); ++i) {
    if (counts[static_cast<std::size_t>(i)] < scene.MinSources) continue;
    const std::string_view line = index.Line(text, i);
    const TResultLine numbers = ParseResultLine(line).value_or(TResultLine());
    TBicliqueSides sides;
    for (const std::int32_t s : numbers.Sources)
      sides.Sources.push_back(s - 1);
    for (const std::int32_t t : numbers.Targets)
      sides.Targets.push_back(t - 1);
    lattice.Lines.emplace_back(line);
    lattice.Sides.push_back(std::move(sides));
    scene.Lines.push_back(i);
  }
  const TMatrix matrix = MatrixOfLines(rows);
  lattice.Covers = Covers(matrix, lattice.Sides);
  scene.Diagram = Diagram(matrix, lattice, labels);
  if (scene.Diagram.AddedBottom) scene.Lines.push_back(-1);

  const std::int32_t most = scene.Diagram.Sources.empty() ? 0
                                                          : *std::max_element(scene.Diagram.Sources.begin(),
                                                                              scene.Diagram.Sources.end());
  std::vector<double> widths;
  for (std::int32_t v = 0; v < scene.Diagram.Count(); ++v) {
    const auto at = static_cast<std::size_t>(v);
    const double share = most == 0 ? 0 : std::sqrt(static_cast<double>(scene.Diagram.Sources[at]) / most);
    scene.Diameters.push_back(sizes.SmallNode + (sizes.LargeNode - sizes.SmallNode) * share);
    widths.push_back(std::max(scene.Diameters.back(),
                              static_cast<double>(Characters(scene.Diagram.Labels[at])) * sizes.CharWidth));
  }
  scene.Layout = LayeredLayout(scene.Diagram.Count(), scene.Diagram.Edges, widths, sizes.Gap);
  return scene;
}
