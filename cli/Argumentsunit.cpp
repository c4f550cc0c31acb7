#include "Argumentsunit.h"

#include "Generateunit.h"

std::string WholeNumberProblem(const std::string& text, std::uint64_t highest) {
  std::uint64_t value = 0;
  bool fits = !text.empty();
  for (const char c : text) {
    if (c < '0' || c > '9') {
      fits = false;
      break;
    }
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (highest - digit) / 10) {
      fits = false;
      break;
    }
    value = value * 10 + digit;
  }
  if (fits) return {};
  return "expected a whole number from 0 to " + std::to_string(highest) + ", got '" + text + "'";
}

std::string DensityProblem(const std::string& text) {
  if (DensityInRange(text)) return {};
  return "expected a number from 0 to 100, got '" + text + "'";
}
