#include "Messagesunit.h"

#include <cstdio>

std::string GroupThousands(std::int64_t value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string OutOfMemoryMessage(std::int64_t count, std::int64_t peakBytes) {
  std::string message = "out of memory";
  if (count >= 0) message += " after " + GroupThousands(count) + (count == 1 ? " biclique" : " bicliques");
  if (peakBytes > 0) {
    constexpr double Gigabyte = 1e9;
    char size[32];
    if (peakBytes >= Gigabyte / 10) {
      std::snprintf(size, sizeof size, "%.1f GB", static_cast<double>(peakBytes) / Gigabyte);
    } else {
      std::snprintf(size, sizeof size, "%lld MB", static_cast<long long>((peakBytes + 500000) / 1000000));
    }
    message += std::string(" (about ") + size + " in use)";
  }
  return message + "; try a smaller --memory, --count, --order none, or size bounds";
}

std::string ThreadsCappedNote(std::int32_t requested, std::int32_t processors) {
  return "--threads " + std::to_string(requested) + " is more than the " + std::to_string(processors) +
         (processors == 1 ? " processor" : " processors") + "; using " + std::to_string(processors);
}
