#include "Generateunit.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

TRandomSource::TRandomSource(std::uint64_t seed) : Engine(seed) {}

// 63 bits keep the value non-negative; modulo 1000000 their spread is even to
// within one part in 10^13.
std::int64_t TRandomSource::Next() { return static_cast<std::int64_t>(Engine() >> 1); }

namespace {

// The leading number of `text` as atof reads it in the "C" locale, and whether
// there was one. strtod_l with a private "C" locale: the window's locale may
// use ',' as the decimal separator, and "12,5" must still read as 12.
double LeadingNumber(const std::string& text, bool& found) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  char* end = nullptr;
  const double value = strtod_l(text.c_str(), &end, cLocale);
  found = end != text.c_str();
  return value;
}

} // namespace

float ParseDensity(const std::string& text) {
  bool found = false;
  return static_cast<float>(LeadingNumber(text, found));
}

std::optional<float> DensityInRange(const std::string& text) {
  bool found = false;
  const double value = LeadingNumber(text, found);
  if (!found || !std::isfinite(value) || value < 0 || value > 100) return std::nullopt;
  return static_cast<float>(value);
}

bool CellIsEdge(std::int64_t draw, float density) {
  const auto x = static_cast<float>(static_cast<long double>(draw % 1000000) * 0.000001L);
  const long double t = static_cast<long double>(density) * 0.01L;
  return !(t < x);
}

std::string GenerateRow(std::int32_t targets, float density, TRandomSource& random) {
  std::string row;
  if (targets > 0) row.reserve(static_cast<std::size_t>(targets));
  for (std::int32_t c = 0; c < targets; ++c)
    row += CellIsEdge(random.Next(), density) ? '1' : '0';
  return row;
}

std::vector<std::string> GenerateMatrix(std::int32_t sources, std::int32_t targets, float density,
                                        TRandomSource& random) {
  std::vector<std::string> rows;
  for (std::int32_t r = 0; r < sources; ++r)
    rows.push_back(GenerateRow(targets, density, random));
  return rows;
}
