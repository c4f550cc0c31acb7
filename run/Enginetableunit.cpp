#include "Enginetableunit.h"

#include <array>

#include "Bicliqueunit.h"
#include "Closureunit.h"
#include "Sparseunit.h"
#include "Wordsetunit.h"

namespace {

template <typename TKind> std::unique_ptr<TEngine> Make(std::int32_t sources, std::int32_t targets) {
  return std::make_unique<TKind>(sources, targets);
}

constexpr std::array EngineTable{
    TEngineEntry{TEngineKind::Consensus, "consensus", "Consensus",
                 "consensus passes over every set found so far; keeps every set", Make<TBicliques>},
    TEngineEntry{TEngineKind::Closure, "closure", "Closure",
                 "closure extension over bit sets; fast on dense matrices", Make<TClosureBicliques>},
    TEngineEntry{TEngineKind::Sparse, "sparse", "Sparse",
                 "closure extension over adjacency lists; for large sparse graphs", Make<TSparseBicliques>},
};

} // namespace

std::span<const TEngineEntry> Engines() { return EngineTable; }

const TEngineEntry& EngineEntry(TEngineKind kind) {
  for (const TEngineEntry& entry : EngineTable)
    if (entry.Kind == kind) return entry;
  return EngineTable.front();
}

std::optional<TEngineKind> EngineNamed(std::string_view name) {
  if (name == "auto") return TEngineKind::Automatic;
  for (const TEngineEntry& entry : EngineTable)
    if (entry.Name == name) return entry.Kind;
  return std::nullopt;
}

TEngineKind AutomaticEngine(const TMatrix& matrix) {
  // The bit-set engine holds every row and every column at full width and
  // intersects whole extents: past this size, or on a large matrix of few
  // ones, the adjacency lists win on memory and on time. Measured on the
  // benchmark sets, the crossing lies below 1 % of ones from about a million
  // cells on, and near 2 % from about sixteen million cells on, where the
  // extents grow long.
  //
  // Memory decides where one engine would need far more than the other. The
  // bit sets cost 8 bytes a word of every row and column. The lists cost at
  // least about SparseBytesPerOne per one and SparseBytesPerVertex per vertex
  // (offsets, renumbering and a root entry per vertex; measured on lines and
  // columns of 2 and 20 million cells): on one long line of few ones they
  // need ten times the bit sets.
  constexpr std::int64_t DenseBytes = std::int64_t{128} << 20;
  constexpr std::int64_t SparseBytesPerOne = 32;
  constexpr std::int64_t SparseBytesPerVertex = 88;
  constexpr std::int64_t FarMore = 4;
  const std::int64_t rows = std::int64_t{matrix.Sources} * WordCount(matrix.Targets);
  const std::int64_t columns = std::int64_t{matrix.Targets} * WordCount(matrix.Sources);
  const std::int64_t cells = std::int64_t{matrix.Sources} * matrix.Targets;
  const auto sparserThan = [&](std::int64_t percent) { return matrix.Ones() * 100 < cells * percent; };
  const std::int64_t bitBytes = (rows + columns) * 8;
  const std::int64_t listBytes = matrix.Ones() * SparseBytesPerOne +
                                 (std::int64_t{matrix.Sources} + matrix.Targets) * SparseBytesPerVertex;
  const bool sparse = (cells > (std::int64_t{1} << 20) && sparserThan(1)) ||
                      (cells > (std::int64_t{16} << 20) && sparserThan(2));
  if (sparse)
    return listBytes > DenseBytes && listBytes > FarMore * bitBytes ? TEngineKind::Closure
                                                                    : TEngineKind::Sparse;
  return bitBytes > DenseBytes && listBytes < bitBytes ? TEngineKind::Sparse : TEngineKind::Closure;
}

std::unique_ptr<TEngine> MakeEngine(TEngineKind kind, const TMatrix& matrix) {
  if (kind == TEngineKind::Automatic) kind = AutomaticEngine(matrix);
  std::unique_ptr<TEngine> engine = EngineEntry(kind).Make(matrix.Sources, matrix.Targets);
  for (std::int32_t s = 0; s < matrix.Sources; ++s)
    engine->SetRow(s, matrix.Row(s));
  return engine;
}
