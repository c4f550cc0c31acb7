#include "Coverunit.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <numeric>

#include "Wordsetunit.h"

namespace {

// Count packed sets (Wordsetunit) of one word count, set i at Bits[i * Words].
struct TPacked {
  std::int32_t Words = 0;
  std::int64_t Count = 0;
  std::vector<std::uint64_t> Bits;

  const std::uint64_t* Set(std::int64_t i) const { return Bits.data() + i * Words; }
  std::uint64_t* Set(std::int64_t i) { return Bits.data() + i * Words; }
};

TPacked Packed(std::int64_t count, std::int32_t size) {
  TPacked packed;
  packed.Words = WordCount(size);
  packed.Count = count;
  packed.Bits.assign(static_cast<std::size_t>(count * packed.Words), 0);
  return packed;
}

// A set's fingerprint is the sum of its words, each times an odd multiplier
// of its own, mixed at the end. Zero words add nothing, so a set's
// fingerprint can be made from its nonzero words alone, and the sum has no
// chain of dependent multiplications.
std::vector<std::uint64_t> Multipliers(std::int32_t words) {
  std::vector<std::uint64_t> multipliers(static_cast<std::size_t>(words));
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  for (std::uint64_t& multiplier : multipliers) {
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    multiplier = (z ^ (z >> 31)) | 1;
  }
  return multipliers;
}

std::uint64_t Mixed(std::uint64_t sum) {
  sum ^= sum >> 33;
  sum *= 0xFF51AFD7ED558CCDull;
  sum ^= sum >> 33;
  sum *= 0xC4CEB9FE1A85EC53ull;
  return sum ^ (sum >> 33);
}

std::uint64_t Fingerprint(const std::uint64_t* set, const std::vector<std::uint64_t>& multipliers) {
  std::uint64_t sum = 0;
  for (std::size_t w = 0; w < multipliers.size(); ++w)
    sum += set[w] * multipliers[w];
  return Mixed(sum);
}

// Numbers of sets by fingerprint, open addressing; the sets live elsewhere,
// and a lookup says how to compare with one of them.
class TSetIndex {
public:
  explicit TSetIndex(std::int64_t capacity) {
    std::size_t slots = 16;
    while (slots < static_cast<std::size_t>(capacity) * 2)
      slots *= 2;
    Slots.assign(slots, Free);
    Mask = slots - 1;
  }

  // The number of a set with fingerprint `print` for which same(number)
  // holds; -1 when there is none.
  template <class TSame> std::int32_t Find(std::uint64_t print, TSame&& same) const {
    for (std::size_t at = print & Mask;; at = (at + 1) & Mask) {
      const TSlot& slot = Slots[at];
      if (slot.Number < 0) return -1;
      if (slot.Print == print && same(slot.Number)) return slot.Number;
    }
  }
  // Adds set `number`. Pre: fewer sets than the capacity.
  void Add(std::uint64_t print, std::int32_t number) {
    std::size_t at = print & Mask;
    while (Slots[at].Number >= 0)
      at = (at + 1) & Mask;
    Slots[at] = {print, number};
    Used.push_back(at);
  }
  // Forgets every set, at the cost of the sets added.
  void Clear() {
    for (const std::size_t at : Used)
      Slots[at] = Free;
    Used.clear();
  }

private:
  struct TSlot {
    std::uint64_t Print;
    std::int32_t Number;
  };
  static constexpr TSlot Free{0, -1};
  std::vector<TSlot> Slots;
  std::size_t Mask = 0;
  std::vector<std::size_t> Used;
};

// Compared here word by word: the sets are short, and a call to memcmp
// would cost more than the comparison.
bool Same(const std::uint64_t* a, const std::uint64_t* b, std::int32_t words) {
  std::uint64_t differ = 0;
  for (std::int32_t w = 0; w < words; ++w)
    differ |= a[w] ^ b[w];
  return differ == 0;
}

// The distinct sets of `raw`, each once.
TPacked DistinctSets(const TPacked& raw) {
  const std::vector<std::uint64_t> multipliers = Multipliers(raw.Words);
  TPacked distinct;
  distinct.Words = raw.Words;
  TSetIndex index(raw.Count);
  for (std::int64_t k = 0; k < raw.Count; ++k) {
    const std::uint64_t* set = raw.Set(k);
    const std::uint64_t print = Fingerprint(set, multipliers);
    const auto same = [&](std::int32_t n) { return Same(set, distinct.Set(n), raw.Words); };
    if (index.Find(print, same) >= 0) continue;
    index.Add(print, static_cast<std::int32_t>(distinct.Count++));
    distinct.Bits.insert(distinct.Bits.end(), set, set + raw.Words);
  }
  return distinct;
}

// Finds the neighbours of every result one way. `sets` holds one side of
// every result, `lines` the matrix's lines of the other side (sources' rows
// when `sets` are target sides), both over the same vertices.
//
// A result's neighbours that way are the largest sets among its own set met
// with each line that does not hold all of it: each is the side of a
// biclique next to the result in the whole lattice, and those that are
// listed are its neighbours among the results, as every biclique between two
// listed ones is listed. The meets are kept on the words where the result's
// set has bits. A meet of a size no result has is no listed side, and no
// larger meet is unlisted (it would lie between two listed ones), so those
// are left out before the largest are picked.
class TNeighbours {
public:
  TNeighbours(const TPacked& sets, const TPacked& lines)
      : Sets(sets), Lines(lines), Words(sets.Words), Multiplier(Multipliers(sets.Words)),
        Count(static_cast<std::int32_t>(sets.Count)), Index(sets.Count), Meets(lines.Count) {
    SetBits.resize(static_cast<std::size_t>(Count));
    SizeListed.assign(static_cast<std::size_t>(Words) * 64 + 1, 0);
    for (std::int32_t i = 0; i < Count; ++i) {
      Index.Add(Fingerprint(Sets.Set(i), Multiplier), i);
      SetBits[static_cast<std::size_t>(i)] = CountBits(Sets.Set(i), Words);
      SizeListed[static_cast<std::size_t>(SetBits[static_cast<std::size_t>(i)])] = 1;
    }
    Scratch.resize(static_cast<std::size_t>(Lines.Count + 1) * static_cast<std::size_t>(Words));
  }

  // Calls found(y) for every neighbour y of result x.
  template <class TFound> void Of(std::int32_t x, TFound&& found) {
    const std::uint64_t* own = Sets.Set(x);
    const std::int32_t ownBits = SetBits[static_cast<std::size_t>(x)];
    Support.clear();
    for (std::int32_t w = 0; w < Words; ++w)
      if (own[w] != 0) Support.push_back(w);
    const auto width = static_cast<std::int32_t>(Support.size());

    // A set with bits in every word is met word by word, which the compiler
    // can do several words at a time.
    if (width == Words) {
      GroupMeets<true>(own, ownBits, width);
    } else {
      GroupMeets<false>(own, ownBits, width);
    }

    // The largest meets: none of the others, larger, holds them.
    Order.resize(Groups.size());
    std::iota(Order.begin(), Order.end(), 0);
    std::sort(Order.begin(), Order.end(), [&](std::int32_t a, std::int32_t b) {
      return Groups[static_cast<std::size_t>(a)].Bits > Groups[static_cast<std::size_t>(b)].Bits;
    });
    for (std::size_t i = 0; i < Order.size(); ++i) {
      const TGroup& group = Groups[static_cast<std::size_t>(Order[i])];
      const std::uint64_t* meet = Meet(Order[i], width);
      bool largest = true;
      for (std::size_t j = 0; j < i && largest; ++j) {
        if (Groups[static_cast<std::size_t>(Order[j])].Bits == group.Bits) break;
        largest = !Holds(Meet(Order[j], width), meet, width);
      }
      if (!largest) continue;
      const auto same = [&](std::int32_t y) {
        if (SetBits[static_cast<std::size_t>(y)] != group.Bits) return false;
        const std::uint64_t* set = Sets.Set(y);
        for (std::int32_t j = 0; j < width; ++j)
          if (set[Support[static_cast<std::size_t>(j)]] != meet[j]) return false;
        return true;
      };
      const std::int32_t y = Index.Find(group.Print, same);
      if (y >= 0) found(y);
    }
  }

private:
  struct TGroup {
    std::uint64_t Print;
    std::int32_t Bits;
  };

  const TPacked& Sets;
  const TPacked& Lines;
  const std::int32_t Words;
  const std::vector<std::uint64_t> Multiplier;
  const std::int32_t Count;
  TSetIndex Index; // of Sets
  std::vector<std::int32_t> SetBits;
  std::vector<char> SizeListed;
  // For the result at hand: the words where its set has bits, its distinct
  // meets and their index, and the meets in order of size.
  std::vector<std::int32_t> Support;
  std::vector<std::uint64_t> Scratch;
  std::vector<TGroup> Groups;
  TSetIndex Meets;
  std::vector<std::int32_t> Order;

  // The distinct meets of `own` with the lines, of listed sizes, each kept
  // on the support's words: meet g at Meet(g, width).
  template <bool Dense> void GroupMeets(const std::uint64_t* own, std::int32_t ownBits, std::int32_t width) {
    Groups.clear();
    Meets.Clear();
    for (std::int64_t k = 0; k < Lines.Count; ++k) {
      const std::uint64_t* line = Lines.Set(k);
      std::uint64_t* meet = Scratch.data() + Groups.size() * static_cast<std::size_t>(width);
      std::uint64_t sum = 0;
      std::int32_t bits = 0;
      for (std::int32_t j = 0; j < width; ++j) {
        const auto w = static_cast<std::size_t>(Dense ? j : Support[static_cast<std::size_t>(j)]);
        meet[j] = own[w] & line[w];
        bits += std::popcount(meet[j]);
        sum += meet[j] * Multiplier[w];
      }
      if (bits == ownBits || SizeListed[static_cast<std::size_t>(bits)] == 0) continue;
      const std::uint64_t print = Mixed(sum);
      const auto same = [&](std::int32_t g) { return Same(meet, Meet(g, width), width); };
      if (Meets.Find(print, same) >= 0) continue;
      Meets.Add(print, static_cast<std::int32_t>(Groups.size()));
      Groups.push_back({print, bits});
    }
  }

  const std::uint64_t* Meet(std::int32_t group, std::int32_t width) const {
    return Scratch.data() + static_cast<std::size_t>(group) * static_cast<std::size_t>(width);
  }
  static bool Holds(const std::uint64_t* larger, const std::uint64_t* smaller, std::int32_t width) {
    for (std::int32_t j = 0; j < width; ++j)
      if ((smaller[j] & ~larger[j]) != 0) return false;
    return true;
  }
};

// The matrix one way round: vertex v's neighbours at
// Members[Starts[v] .. Starts[v + 1]), ascending.
struct TAdjacency {
  std::vector<std::int64_t> Starts;
  std::vector<std::int32_t> Members;

  std::int32_t Count() const { return static_cast<std::int32_t>(Starts.size()) - 1; }
  std::span<const std::int32_t> Of(std::int32_t v) const {
    const auto at = static_cast<std::size_t>(v);
    return {Members.data() + Starts[at], static_cast<std::size_t>(Starts[at + 1] - Starts[at])};
  }
};

TAdjacency Rows(const TMatrix& matrix) { return {matrix.RowStarts, matrix.Adjacent}; }

TAdjacency Columns(const TMatrix& matrix) {
  TAdjacency columns;
  columns.Starts.assign(static_cast<std::size_t>(matrix.Targets) + 1, 0);
  for (const std::int32_t t : matrix.Adjacent)
    ++columns.Starts[static_cast<std::size_t>(t) + 1];
  for (std::size_t t = 0; t < static_cast<std::size_t>(matrix.Targets); ++t)
    columns.Starts[t + 1] += columns.Starts[t];
  columns.Members.resize(matrix.Adjacent.size());
  std::vector<std::int64_t> next(columns.Starts.begin(), columns.Starts.end() - 1);
  for (std::int32_t s = 0; s < matrix.Sources; ++s)
    for (const std::int32_t t : matrix.Row(s))
      columns.Members[static_cast<std::size_t>(next[static_cast<std::size_t>(t)]++)] = s;
  return columns;
}

// New numbers, from 0 up, for the vertices that occur in some set of
// `sets`; -1 for the others. `lines` is the matrix from the sets' side.
//
// The numbers go in the order of the vertices' lines read as words over the
// other side, its busiest vertices first, largest first: vertices sharing
// the busiest neighbours come together, so the results' sets (the vertices
// that have all of some neighbours) fall on fewer words.
std::vector<std::int32_t> Renumbered(const TAdjacency& lines,
                                     const std::vector<const std::vector<std::int32_t>*>& sets) {
  std::vector<std::int32_t> number(static_cast<std::size_t>(lines.Count()), -1);
  for (const std::vector<std::int32_t>* set : sets)
    for (const std::int32_t v : *set)
      number[static_cast<std::size_t>(v)] = 0;

  std::vector<std::int32_t> used;
  std::vector<std::int64_t> degree;
  for (std::int32_t v = 0; v < lines.Count(); ++v) {
    if (number[static_cast<std::size_t>(v)] < 0) continue;
    used.push_back(v);
    for (const std::int32_t w : lines.Of(v)) {
      if (static_cast<std::size_t>(w) >= degree.size()) degree.resize(static_cast<std::size_t>(w) + 1, 0);
      ++degree[static_cast<std::size_t>(w)];
    }
  }
  std::vector<std::int32_t> byDegree(degree.size());
  std::iota(byDegree.begin(), byDegree.end(), 0);
  std::stable_sort(byDegree.begin(), byDegree.end(), [&](std::int32_t a, std::int32_t b) {
    return degree[static_cast<std::size_t>(a)] > degree[static_cast<std::size_t>(b)];
  });
  std::vector<std::int32_t> rank(degree.size());
  for (std::size_t r = 0; r < byDegree.size(); ++r)
    rank[static_cast<std::size_t>(byDegree[r])] = static_cast<std::int32_t>(r);

  std::vector<std::vector<std::int32_t>> keys(used.size());
  for (std::size_t u = 0; u < used.size(); ++u) {
    for (const std::int32_t w : lines.Of(used[u]))
      keys[u].push_back(rank[static_cast<std::size_t>(w)]);
    std::sort(keys[u].begin(), keys[u].end());
  }
  // As words, most significant neighbour first, the larger word first: at
  // the first difference the line with the busier neighbour, and of a line
  // and its prefix the longer.
  std::vector<std::int32_t> order(used.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
    const std::vector<std::int32_t>& x = keys[static_cast<std::size_t>(a)];
    const std::vector<std::int32_t>& y = keys[static_cast<std::size_t>(b)];
    const auto [i, j] = std::mismatch(x.begin(), x.end(), y.begin(), y.end());
    if (i == x.end() || j == y.end()) return j == y.end() && i != x.end();
    return *i < *j;
  });
  for (std::size_t n = 0; n < order.size(); ++n)
    number[static_cast<std::size_t>(used[static_cast<std::size_t>(order[n])])] = static_cast<std::int32_t>(n);
  return number;
}

} // namespace

std::vector<TCover> Covers(const TMatrix& matrix, std::span<const TBicliqueSides> results, TCoverWay way) {
  // Reading a result's side costs about this many word operations per
  // vertex; then comes a pass over the lines one way, each line costing the
  // words where the side has bits (at most its size), and a few more.
  if (way == TCoverWay::Cheaper) {
    constexpr std::int64_t VertexWords = 8, LineWords = 3;
    const auto cost = [&](std::int64_t size, std::int32_t side, std::int32_t lines) {
      return size * VertexWords + lines * (std::min<std::int64_t>(size, WordCount(side)) + LineWords);
    };
    std::int64_t upCost = 0, downCost = 0;
    for (const TBicliqueSides& result : results) {
      upCost += cost(static_cast<std::int64_t>(result.Targets.size()), matrix.Targets, matrix.Sources);
      downCost += cost(static_cast<std::int64_t>(result.Sources.size()), matrix.Sources, matrix.Targets);
    }
    way = upCost <= downCost ? TCoverWay::Up : TCoverWay::Down;
  }

  // The way up works on the results' target sides and the sources' rows,
  // the way down on their source sides and the targets' columns, both over
  // the vertices of those sides only: the lines' other vertices meet none.
  const bool up = way == TCoverWay::Up;
  const auto count = static_cast<std::int64_t>(results.size());
  std::vector<const std::vector<std::int32_t>*> sides;
  sides.reserve(results.size());
  for (const TBicliqueSides& result : results)
    sides.push_back(up ? &result.Targets : &result.Sources);
  const TAdjacency own = up ? Columns(matrix) : Rows(matrix);
  const std::vector<std::int32_t> number = Renumbered(own, sides);
  const auto used = static_cast<std::int32_t>(
      std::count_if(number.begin(), number.end(), [](std::int32_t n) { return n >= 0; }));

  TPacked sets = Packed(count, used);
  for (std::int64_t i = 0; i < count; ++i)
    for (const std::int32_t v : *sides[static_cast<std::size_t>(i)])
      SetBit(sets.Set(i), number[static_cast<std::size_t>(v)]);
  // Line k: the members of the sets' side that vertex k of the other side
  // has.
  TPacked raw = Packed(up ? matrix.Sources : matrix.Targets, used);
  for (std::int32_t v = 0; v < own.Count(); ++v) {
    const std::int32_t member = number[static_cast<std::size_t>(v)];
    if (member < 0) continue;
    for (const std::int32_t k : own.Of(v))
      SetBit(raw.Set(k), member);
  }
  const TPacked lines = DistinctSets(raw);
  raw = TPacked();

  std::vector<TCover> covers;
  TNeighbours neighbours(sets, lines);
  for (std::int32_t x = 0; x < static_cast<std::int32_t>(count); ++x)
    neighbours.Of(x, [&](std::int32_t y) { covers.push_back(up ? TCover{x, y} : TCover{y, x}); });
  std::sort(covers.begin(), covers.end());
  return covers;
}
