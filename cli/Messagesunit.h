// Messagesunit: the command's longer messages, apart so that the tests can
// check their wording without making the situation that prints them.
#pragma once

#include <cstdint>
#include <string>

// `value` in decimal with a comma between groups of three digits:
// 12345678 -> "12,345,678". Pre: value >= 0.
std::string GroupThousands(std::int64_t value);

// The line printed when memory ran out, without "bicliques: " and the line
// break. `count` is the number of bicliques found so far, negative when
// unknown; `peakBytes` the most memory the process held, 0 when unknown.
std::string OutOfMemoryMessage(std::int64_t count, std::int64_t peakBytes);
