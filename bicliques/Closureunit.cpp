#include "Closureunit.h"

#include <algorithm>
#include <cassert>

#include "Closuresearchunit.h"

// The engine keeps the matrix both ways as bit sets and the results of the
// search (Closuresearchunit) for the read-back: each stored result is its
// intent plus a step, its depth below the last result whose extent must be
// found from the matrix and the attribute whose column cut its extent from its
// parent's. Results are kept in search order, so a result's parent is the last
// earlier result one level up, and reading them in order costs one column per
// result.

using namespace closure;

TClosureBicliques::TClosureBicliques(std::int32_t rowCount, std::int32_t columnCount)
    : RowCount(rowCount), ColumnCount(columnCount), TargetWords(WordCount(columnCount)),
      SourceWords(WordCount(rowCount)),
      Rows(static_cast<std::size_t>(rowCount) * static_cast<std::size_t>(TargetWords), 0) {
  assert(rowCount >= 0 && columnCount >= 0);
}

void TClosureBicliques::SetRow(std::int32_t source, std::span<const std::int32_t> targets) {
  assert(source >= 0 && source < RowCount);
  std::uint64_t* row = Rows.data() + static_cast<std::size_t>(source) * static_cast<std::size_t>(TargetWords);
  std::fill(row, row + TargetWords, 0);
  for (const std::int32_t t : targets) {
    assert(t >= 0 && t < ColumnCount);
    SetBit(row, t);
  }
}

void TClosureBicliques::SetRow(std::int32_t source, std::string_view bits) {
  assert(source >= 0 && source < RowCount && bits.size() == static_cast<std::size_t>(ColumnCount));
  std::uint64_t* row = Rows.data() + static_cast<std::size_t>(source) * static_cast<std::size_t>(TargetWords);
  std::fill(row, row + TargetWords, 0);
  for (std::int32_t t = 0; t < ColumnCount; ++t) {
    if (bits[static_cast<std::size_t>(t)] == '1') SetBit(row, t);
  }
}

void TClosureBicliques::BuildColumns() {
  const auto sourceWords = static_cast<std::size_t>(SourceWords);
  Columns.assign(static_cast<std::size_t>(ColumnCount) * sourceWords, 0);
  for (std::int32_t s = 0; s < RowCount; ++s) {
    const std::uint64_t* row =
        Rows.data() + static_cast<std::size_t>(s) * static_cast<std::size_t>(TargetWords);
    ForEachBit(row, TargetWords,
               [&](std::int32_t t) { SetBit(&Columns[static_cast<std::size_t>(t) * sourceWords], s); });
  }
}

TSearchSide TClosureBicliques::ChooseSide() const {
  if (Side != TSearchSide::Automatic) return Side;
  // A node tries every extension vertex outside its intent, each try
  // intersecting an extent of the other side's words; a try costs a few words
  // more for its bookkeeping.
  const auto cost = [](std::int64_t extension, std::int64_t otherWords) {
    return extension * (otherWords + 8);
  };
  return cost(RowCount, TargetWords) < cost(ColumnCount, SourceWords) ? TSearchSide::Sources
                                                                      : TSearchSide::Targets;
}

std::int32_t TClosureBicliques::ExtensionWords() const { return Transposed ? SourceWords : TargetWords; }

std::int64_t TClosureBicliques::Run(const TRunConfig& config) {
  TRunControl control(config);
  BuildColumns();
  Sets.clear();
  Steps.clear();
  ResultCount = 0;
  if (RowCount == 0) return 0;
  // Without targets there is one result, all sources, on either side; the
  // target side keeps it free of empty sets.
  Transposed = ColumnCount > 0 && ChooseSide() == TSearchSide::Sources;

  const TBounds& bounds = config.Bounds;
  TContext context{};
  if (Transposed) {
    context = {ColumnCount,       RowCount,          TargetWords, SourceWords,
               Columns.data(),    Rows.data(),       true,        true,
               bounds.MinTargets, bounds.MaxSources, bounds,      bounds.Unbounded()};
  } else {
    context = {RowCount, ColumnCount, SourceWords,       TargetWords,       Rows.data(), Columns.data(),
               false,    false,       bounds.MinSources, bounds.MaxTargets, bounds,      bounds.Unbounded()};
  }
  Support.resize(static_cast<std::size_t>(context.Attributes));
  for (std::int32_t j = 0; j < context.Attributes; ++j) {
    Support[static_cast<std::size_t>(j)] = CountBits(
        context.AttributeSets + static_cast<std::size_t>(j) * static_cast<std::size_t>(context.ObjectWords),
        context.ObjectWords);
  }
  TFound found = Search(context, config, control);
  Sets = std::move(found.Sets);
  Steps = std::move(found.Steps);
  ResultCount = found.Count;
  return ResultCount;
}

std::int64_t TClosureBicliques::Count() const { return ResultCount; }

TSearchSide TClosureBicliques::UsedSide() const {
  return Transposed ? TSearchSide::Sources : TSearchSide::Targets;
}

void TClosureBicliques::CommonNeighbours(const std::uint64_t* set, std::uint64_t* out) const {
  const std::int32_t setWords = ExtensionWords();
  const std::int32_t otherCount = Transposed ? ColumnCount : RowCount;
  const std::int32_t otherWords = WordCount(otherCount);
  const std::uint64_t* sets = Transposed ? Rows.data() : Columns.data();   // per set vertex: its neighbours
  const std::uint64_t* others = Transposed ? Columns.data() : Rows.data(); // per other vertex: its neighbours
  FillAll(out, otherCount);
  // Either intersect the neighbours of every member, or keep those neighbours
  // of the rarest member that are adjacent to every member.
  std::int32_t members = 0;
  std::int32_t rarest = -1;
  ForEachBit(set, setWords, [&](std::int32_t v) {
    ++members;
    if (rarest < 0 || Support[static_cast<std::size_t>(v)] < Support[static_cast<std::size_t>(rarest)])
      rarest = v;
  });
  if (members == 0) return;
  if (static_cast<std::int64_t>(members) * otherWords <=
      static_cast<std::int64_t>(Support[static_cast<std::size_t>(rarest)]) * setWords + otherWords) {
    ForEachBit(set, setWords, [&](std::int32_t v) {
      const std::uint64_t* neighbours =
          sets + static_cast<std::size_t>(v) * static_cast<std::size_t>(otherWords);
      for (std::int32_t o = 0; o < otherWords; ++o)
        out[o] &= neighbours[o];
    });
    return;
  }
  const std::uint64_t* rarestNeighbours =
      sets + static_cast<std::size_t>(rarest) * static_cast<std::size_t>(otherWords);
  std::fill(out, out + otherWords, 0);
  ForEachBit(rarestNeighbours, otherWords, [&](std::int32_t o) {
    const std::uint64_t* row = others + static_cast<std::size_t>(o) * static_cast<std::size_t>(setWords);
    bool all = true;
    for (std::int32_t w = 0; w < setWords && all; ++w)
      all = (set[w] & ~row[w]) == 0;
    if (all) SetBit(out, o);
  });
}

void TClosureBicliques::ForEachResult(std::int64_t first, std::int64_t last,
                                      const TResultVisitor& visit) const {
  assert(0 <= first && first <= last && last <= ResultCount);
  const std::int32_t words = ExtensionWords();
  const std::int32_t otherWords = Transposed ? TargetWords : SourceWords;
  const std::uint64_t* cuts =
      Transposed ? Rows.data() : Columns.data(); // per extension vertex: its neighbours
  // Extents of the last result at each depth; those from `valid` up to the
  // last result's depth belong to its ancestors read in this call.
  std::vector<std::uint64_t> extents;
  std::vector<std::uint64_t> alone(static_cast<std::size_t>(otherWords));
  std::size_t valid = 0;
  std::size_t top = 0;
  for (std::int64_t i = first; i < last; ++i) {
    const std::uint64_t* set = Sets.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(words);
    const std::int32_t step = Steps[static_cast<std::size_t>(2 * i)];
    const std::int32_t added = Steps[static_cast<std::size_t>(2 * i + 1)];
    if (step == Alone) {
      CommonNeighbours(set, alone.data());
      Visit(visit, set, alone.data());
      continue;
    }
    const auto depth = static_cast<std::size_t>(step);
    if (extents.size() < (depth + 1) * static_cast<std::size_t>(otherWords))
      extents.resize((depth + 1) * static_cast<std::size_t>(otherWords));
    std::uint64_t* extent = extents.data() + depth * static_cast<std::size_t>(otherWords);
    if (i > first && depth > valid && depth <= top + 1) {
      const std::uint64_t* parent = extent - otherWords;
      const std::uint64_t* cut =
          cuts + static_cast<std::size_t>(added) * static_cast<std::size_t>(otherWords);
      for (std::int32_t w = 0; w < otherWords; ++w)
        extent[w] = parent[w] & cut[w];
    } else {
      CommonNeighbours(set, extent);
      valid = depth;
    }
    top = depth;
    Visit(visit, set, extent);
  }
}

void TClosureBicliques::Visit(const TResultVisitor& visit, const std::uint64_t* set,
                              const std::uint64_t* other) const {
  const TVertexSet extension{set, nullptr, 0};
  const TVertexSet closed{other, nullptr, 0};
  Transposed ? visit(0, extension, closed) : visit(0, closed, extension);
}
