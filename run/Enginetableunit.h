// Enginetableunit: the table of enumeration engines. The command line, the
// window, the tests and the fuzz targets all take their engines from it, so
// that a new engine is one unit of its own plus one row here.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "Engineunit.h"
#include "Matrixunit.h"

// The engines, and Automatic: the one AutomaticEngine picks for the matrix.
enum class TEngineKind { Consensus, Closure, Sparse, Automatic };

struct TEngineEntry {
  TEngineKind Kind;
  std::string_view Name;    // on the command line and in the README: "closure"
  std::string_view Caption; // in the window's engine box: "Closure"
  std::string_view Summary; // one line on its method and where it is fast
  // A new engine for `sources` x `targets` with every row empty.
  std::unique_ptr<TEngine> (*Make)(std::int32_t sources, std::int32_t targets);
};

// Every engine, the window's default (consensus) first.
std::span<const TEngineEntry> Engines();

// The row of `kind`. Pre: kind is not Automatic.
const TEngineEntry& EngineEntry(TEngineKind kind);

// The engine named `name` ("auto" is Automatic), or nothing.
std::optional<TEngineKind> EngineNamed(std::string_view name);

// The engine Automatic picks for a matrix of this shape: by the density of
// ones, and by the memory each engine would need.
TEngineKind AutomaticEngine(const TMatrix& matrix);

// A new engine of `kind` (Automatic resolved for `matrix`) holding the rows of
// `matrix`.
std::unique_ptr<TEngine> MakeEngine(TEngineKind kind, const TMatrix& matrix);
