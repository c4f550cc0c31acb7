#include "Latticelayoutunit.h"

#include <algorithm>
#include <numeric>

namespace {

// The drawing's graph with a point on every layer that an edge crosses:
// nodes 0 .. count-1 are the diagram's, the others such points (width 0).
// Every link joins layer L to layer L + 1.
struct TLayered {
  std::vector<std::int32_t> Layer;
  std::vector<double> Width;
  std::vector<std::vector<std::int32_t>> Down, Up; // neighbours one layer below, above
  std::int32_t Layers = 0;

  std::int32_t Count() const { return static_cast<std::int32_t>(Layer.size()); }
  std::int32_t Add(std::int32_t layer, double width) {
    Layer.push_back(layer);
    Width.push_back(width);
    Down.emplace_back();
    Up.emplace_back();
    return Count() - 1;
  }
  void Link(std::int32_t lower, std::int32_t upper) {
    Up[static_cast<std::size_t>(lower)].push_back(upper);
    Down[static_cast<std::size_t>(upper)].push_back(lower);
  }
};

TLayered Layered(std::int32_t count, std::span<const TCover> edges, std::span<const double> widths) {
  // Layers in topological order (Kahn): a node's layer is one above its
  // highest lower neighbour.
  std::vector<std::int32_t> layer(static_cast<std::size_t>(count), 0),
      waiting(static_cast<std::size_t>(count), 0);
  std::vector<std::vector<std::int32_t>> upper(static_cast<std::size_t>(count));
  for (const TCover& edge : edges) {
    upper[static_cast<std::size_t>(edge.Lower)].push_back(edge.Upper);
    ++waiting[static_cast<std::size_t>(edge.Upper)];
  }
  std::vector<std::int32_t> ready;
  for (std::int32_t v = 0; v < count; ++v)
    if (waiting[static_cast<std::size_t>(v)] == 0) ready.push_back(v);
  while (!ready.empty()) {
    const std::int32_t v = ready.back();
    ready.pop_back();
    for (const std::int32_t u : upper[static_cast<std::size_t>(v)]) {
      layer[static_cast<std::size_t>(u)] =
          std::max(layer[static_cast<std::size_t>(u)], layer[static_cast<std::size_t>(v)] + 1);
      if (--waiting[static_cast<std::size_t>(u)] == 0) ready.push_back(u);
    }
  }

  TLayered layered;
  for (std::int32_t v = 0; v < count; ++v) {
    layered.Add(layer[static_cast<std::size_t>(v)], widths[static_cast<std::size_t>(v)]);
    layered.Layers = std::max(layered.Layers, layer[static_cast<std::size_t>(v)] + 1);
  }
  for (const TCover& edge : edges) {
    std::int32_t below = edge.Lower;
    for (std::int32_t l = layer[static_cast<std::size_t>(edge.Lower)] + 1;
         l < layer[static_cast<std::size_t>(edge.Upper)]; ++l) {
      const std::int32_t point = layered.Add(l, 0);
      layered.Link(below, point);
      below = point;
    }
    layered.Link(below, edge.Upper);
  }
  return layered;
}

using TOrder = std::vector<std::vector<std::int32_t>>; // per layer, its nodes from left to right

// Crossings between layer l and l + 1: pairs of links whose ends come in
// opposite orders, counted with a Fenwick tree over the upper places.
std::int64_t CrossingsAbove(const TLayered& graph, const TOrder& order,
                            const std::vector<std::int32_t>& place, std::size_t l) {
  std::vector<std::pair<std::int32_t, std::int32_t>> links;
  for (const std::int32_t v : order[l])
    for (const std::int32_t u : graph.Up[static_cast<std::size_t>(v)])
      links.emplace_back(place[static_cast<std::size_t>(v)], place[static_cast<std::size_t>(u)]);
  std::sort(links.begin(), links.end());
  std::vector<std::int64_t> tree(order[l + 1].size() + 1, 0);
  std::int64_t crossings = 0, seen = 0;
  for (const auto& [lower, up] : links) {
    std::int64_t atMost = 0;
    for (std::size_t i = static_cast<std::size_t>(up) + 1; i > 0; i -= i & (~i + 1))
      atMost += tree[i];
    crossings += seen - atMost;
    for (std::size_t i = static_cast<std::size_t>(up) + 1; i < tree.size(); i += i & (~i + 1))
      ++tree[i];
    ++seen;
  }
  return crossings;
}

std::int64_t Crossings(const TLayered& graph, const TOrder& order, const std::vector<std::int32_t>& place) {
  std::int64_t crossings = 0;
  for (std::size_t l = 0; l + 1 < order.size(); ++l)
    crossings += CrossingsAbove(graph, order, place, l);
  return crossings;
}

void Number(const TOrder& order, std::vector<std::int32_t>& place) {
  for (const std::vector<std::int32_t>& nodes : order)
    for (std::size_t i = 0; i < nodes.size(); ++i)
      place[static_cast<std::size_t>(nodes[i])] = static_cast<std::int32_t>(i);
}

// Sorts layer l by the median place of each node's neighbours in `side`
// (Down or Up); a node without any keeps its place.
void SortByNeighbours(TOrder& order, std::vector<std::int32_t>& place, std::size_t l,
                      const std::vector<std::vector<std::int32_t>>& side) {
  std::vector<std::pair<double, std::int32_t>> keyed;
  for (const std::int32_t v : order[l]) {
    const std::vector<std::int32_t>& neighbours = side[static_cast<std::size_t>(v)];
    double key = place[static_cast<std::size_t>(v)];
    if (!neighbours.empty()) {
      std::vector<std::int32_t> places;
      for (const std::int32_t n : neighbours)
        places.push_back(place[static_cast<std::size_t>(n)]);
      std::sort(places.begin(), places.end());
      const std::size_t middle = places.size() / 2;
      key = places.size() % 2 == 1 ? places[middle] : (places[middle - 1] + places[middle]) / 2.0;
    }
    keyed.emplace_back(key, v);
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 0; i < keyed.size(); ++i) {
    order[l][i] = keyed[i].second;
    place[static_cast<std::size_t>(keyed[i].second)] = static_cast<std::int32_t>(i);
  }
}

// Crossings between the links of u and those of v, both on one layer with
// u left of v, to the layers below and above.
std::int64_t PairCrossings(const TLayered& graph, const std::vector<std::int32_t>& place, std::int32_t u,
                           std::int32_t v) {
  std::int64_t crossings = 0;
  for (const auto* side : {&graph.Down, &graph.Up})
    for (const std::int32_t a : (*side)[static_cast<std::size_t>(u)])
      for (const std::int32_t b : (*side)[static_cast<std::size_t>(v)])
        if (place[static_cast<std::size_t>(a)] > place[static_cast<std::size_t>(b)]) ++crossings;
  return crossings;
}

// Swaps neighbours on a layer while that removes crossings.
void Transpose(const TLayered& graph, TOrder& order, std::vector<std::int32_t>& place) {
  constexpr int Rounds = 8;
  bool better = true;
  for (int round = 0; round < Rounds && better; ++round) {
    better = false;
    for (std::vector<std::int32_t>& nodes : order)
      for (std::size_t i = 0; i + 1 < nodes.size(); ++i) {
        const std::int32_t u = nodes[i], v = nodes[i + 1];
        if (PairCrossings(graph, place, v, u) >= PairCrossings(graph, place, u, v)) continue;
        std::swap(nodes[i], nodes[i + 1]);
        place[static_cast<std::size_t>(u)] = static_cast<std::int32_t>(i + 1);
        place[static_cast<std::size_t>(v)] = static_cast<std::int32_t>(i);
        better = true;
      }
  }
}

TOrder FewCrossings(const TLayered& graph) {
  TOrder order(static_cast<std::size_t>(graph.Layers));
  for (std::int32_t v = 0; v < graph.Count(); ++v)
    order[static_cast<std::size_t>(graph.Layer[static_cast<std::size_t>(v)])].push_back(v);
  std::vector<std::int32_t> place(static_cast<std::size_t>(graph.Count()));
  Number(order, place);

  TOrder best = order;
  std::int64_t fewest = Crossings(graph, order, place);
  constexpr int Sweeps = 32, Patience = 8;
  for (int sweep = 0, idle = 0; sweep < Sweeps && idle < Patience && fewest > 0; ++sweep) {
    if (sweep % 2 == 0) {
      for (std::size_t l = 1; l < order.size(); ++l)
        SortByNeighbours(order, place, l, graph.Down);
    } else {
      for (std::size_t l = order.size() - 1; l-- > 0;)
        SortByNeighbours(order, place, l, graph.Up);
    }
    Transpose(graph, order, place);
    const std::int64_t crossings = Crossings(graph, order, place);
    if (crossings < fewest) {
      fewest = crossings;
      best = order;
      idle = 0;
    } else {
      ++idle;
    }
  }
  return best;
}

// The least squares places x for the wanted places of one layer's nodes in
// order: minimise the sum of (x[i] - wanted[i])^2 with x[i + 1] - x[i] >=
// apart[i]. Shifted by the running sum of the distances it is a
// non-decreasing fit, made by pooling neighbours that violate it.
std::vector<double> Placed(const std::vector<double>& wanted, const std::vector<double>& apart) {
  const std::size_t n = wanted.size();
  std::vector<double> shift(n, 0);
  for (std::size_t i = 1; i < n; ++i)
    shift[i] = shift[i - 1] + apart[i - 1];
  struct TPool {
    double Sum;
    std::size_t Size;
    double Mean() const { return Sum / static_cast<double>(Size); }
  };
  std::vector<TPool> pools;
  for (std::size_t i = 0; i < n; ++i) {
    pools.push_back({wanted[i] - shift[i], 1});
    while (pools.size() > 1 && pools[pools.size() - 2].Mean() > pools.back().Mean()) {
      pools[pools.size() - 2].Sum += pools.back().Sum;
      pools[pools.size() - 2].Size += pools.back().Size;
      pools.pop_back();
    }
  }
  std::vector<double> x;
  x.reserve(n);
  for (const TPool& pool : pools)
    for (std::size_t k = 0; k < pool.Size; ++k)
      x.push_back(pool.Mean() + shift[x.size()]);
  return x;
}

} // namespace

TLayout LayeredLayout(std::int32_t count, std::span<const TCover> edges, std::span<const double> widths,
                      double gap) {
  const TLayered graph = Layered(count, edges, widths);
  const TOrder order = FewCrossings(graph);

  // The distance between neighbours on a layer: half of each width and the
  // gap; points of edges stand closer.
  std::vector<std::vector<double>> apart(order.size());
  std::vector<double> x(static_cast<std::size_t>(graph.Count()), 0);
  for (std::size_t l = 0; l < order.size(); ++l) {
    double at = 0;
    for (std::size_t i = 0; i < order[l].size(); ++i) {
      const auto v = static_cast<std::size_t>(order[l][i]);
      if (i > 0) {
        const auto left = static_cast<std::size_t>(order[l][i - 1]);
        const bool points = static_cast<std::int32_t>(v) >= count || static_cast<std::int32_t>(left) >= count;
        apart[l].push_back((graph.Width[left] + graph.Width[v]) / 2 + (points ? gap / 2 : gap));
        at += apart[l].back();
      }
      x[v] = at;
    }
  }
  // Sweeps towards the neighbours below, then above, then both.
  constexpr int Sweeps = 8;
  for (int sweep = 0; sweep < Sweeps; ++sweep) {
    const bool upward = sweep % 2 == 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
      const std::size_t l = upward ? k : order.size() - 1 - k;
      std::vector<double> wanted;
      for (const std::int32_t v : order[l]) {
        const auto at = static_cast<std::size_t>(v);
        std::vector<std::int32_t> neighbours = upward ? graph.Down[at] : graph.Up[at];
        if (sweep >= Sweeps - 2) {
          neighbours = graph.Down[at];
          neighbours.insert(neighbours.end(), graph.Up[at].begin(), graph.Up[at].end());
        }
        double sum = 0;
        for (const std::int32_t n : neighbours)
          sum += x[static_cast<std::size_t>(n)];
        wanted.push_back(neighbours.empty() ? x[at] : sum / static_cast<double>(neighbours.size()));
      }
      const std::vector<double> placed = Placed(wanted, apart[l]);
      for (std::size_t i = 0; i < placed.size(); ++i)
        x[static_cast<std::size_t>(order[l][i])] = placed[i];
    }
  }

  TLayout layout;
  layout.Layers = graph.Layers;
  double left = 0, right = 0;
  for (std::int32_t v = 0; v < count; ++v) {
    const auto at = static_cast<std::size_t>(v);
    left = v == 0 ? x[at] - widths[at] / 2 : std::min(left, x[at] - widths[at] / 2);
    right = v == 0 ? x[at] + widths[at] / 2 : std::max(right, x[at] + widths[at] / 2);
  }
  for (std::int32_t v = 0; v < count; ++v) {
    layout.Layer.push_back(graph.Layer[static_cast<std::size_t>(v)]);
    layout.X.push_back(x[static_cast<std::size_t>(v)] - left);
  }
  layout.Width = right - left;
  return layout;
}
