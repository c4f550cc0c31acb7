// Argumentsunit: the checks of the command's numeric arguments. Each gives
// the reason a text is refused in plain words, with the range allowed, for
// the usage message.
#pragma once

#include <cstdint>
#include <string>

// Empty when `text` is a whole number from 0 to `highest`, written in decimal
// digits only; else "expected a whole number from 0 to HIGHEST, got 'TEXT'".
std::string WholeNumberProblem(const std::string& text, std::uint64_t highest);

// Empty when `text` is a density `generate` takes (DensityInRange); else
// "expected a number from 0 to 100, got 'TEXT'".
std::string DensityProblem(const std::string& text);
