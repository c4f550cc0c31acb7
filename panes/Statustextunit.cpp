#include "Statustextunit.h"

#include <algorithm>

#include "Windowtextunit.h"

std::string GroupedNumber(std::int64_t number) {
  // Digits of the magnitude as unsigned, so that the lowest int64 has one too.
  const bool negative = number < 0;
  std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(number) : static_cast<std::uint64_t>(number);
  std::string digits;
  int inGroup = 0;
  do {
    if (inGroup == 3) {
      digits += ',';
      inGroup = 0;
    }
    digits += static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
    ++inGroup;
  } while (magnitude != 0);
  if (negative) digits += '-';
  return {digits.rbegin(), digits.rend()};
}

std::string RunningText(const TProgress* progress, std::chrono::steady_clock::duration elapsed) {
  if (!progress) return "Running " + ElapsedText(elapsed);
  if (progress->Phase == TPhase::Formatting) {
    // Whole percents, rounded down: 100 only once every line is formatted.
    const std::int64_t percent =
        progress->Sets > 0
            ? std::clamp<std::int64_t>(progress->Formatted, 0, progress->Sets) * 100 / progress->Sets
            : 100;
    return "Formatting: " + std::to_string(percent) + " % of " + GroupedNumber(progress->Sets) + " lines, " +
           ElapsedText(elapsed);
  }
  std::string text = progress->Phase == TPhase::Reading ? "Reading: " : "Enumerating: ";
  if (progress->Pass != 0) text += "pass " + std::to_string(progress->Pass) + ", ";
  return text + GroupedNumber(progress->Sets) + " sets, " + ElapsedText(elapsed);
}

std::string DoneText(std::int64_t count, std::chrono::steady_clock::duration enumeration,
                     std::chrono::steady_clock::duration total) {
  return GroupedNumber(count) + (count == 1 ? " biclique" : " bicliques") + "; enumeration " +
         ElapsedText(enumeration) + ", total " + ElapsedText(total);
}
