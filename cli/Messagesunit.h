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
// unknown; `peakBytes` the most memory the process held, 0 when unknown. It
// names the options that need less memory.
std::string OutOfMemoryMessage(std::int64_t count, std::int64_t peakBytes);

// The note printed when --threads asks for more threads than there are
// processors, without "bicliques: " and the line break. Pre: requested >
// processors > 0.
std::string ThreadsCappedNote(std::int32_t requested, std::int32_t processors);
