// Generateunit: random matrices for Generate. A cell is "1" when its draw,
// the next random value modulo 1000000 taken as millionths, does not exceed
// the density as a fraction.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

// The program's random source: a non-negative integer per call. A default
// constructed source always starts from the same state, so the first matrix
// after a start is always the same.
class TRandomSource {
public:
  TRandomSource() = default;
  explicit TRandomSource(std::uint64_t seed);
  std::int64_t Next();

private:
  std::mt19937_64 Engine;
};

// The density text read like atof in the "C" locale, whatever the process
// locale: leading blanks skipped, the longest number taken, 0 when there is
// none; then rounded to single precision. No range check.
float ParseDensity(const std::string& text);

// The density as ParseDensity reads it, or nothing when the text starts with
// no number (after blanks), or the number is not finite or lies outside
// 0 to 100. What follows the number is ignored, as ParseDensity does.
std::optional<float> DensityInRange(const std::string& text);

// The cell rule: x = (draw mod 1000000) * 0.000001 and t = density * 0.01, both
// formed in extended precision, x rounded to single; "1" unless t < x.
bool CellIsEdge(std::int64_t draw, float density);

// One row of `targets` cells (none when targets <= 0), drawn left to right.
std::string GenerateRow(std::int32_t targets, float density, TRandomSource& random);

// `sources` rows (none when sources <= 0), drawn row by row.
std::vector<std::string> GenerateMatrix(std::int32_t sources, std::int32_t targets, float density,
                                        TRandomSource& random);
