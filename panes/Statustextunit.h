// Statustextunit: the window's status bar texts, without Qt: what a running
// RUN is doing, and what the last one found and how long it took.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "Engineunit.h"

// `number` with its digits grouped by three: "3,104,221", "-1,000".
std::string GroupedNumber(std::int64_t number);

// A running RUN after `elapsed`: "Running 0:00:02.250" before any progress
// report, else for example "Enumerating: pass 3, 120,000 sets, 0:00:02.250"
// (the pass left out when it is 0), or while the result lines are made
// "Formatting: 42 % of 7,427,275 lines, 0:00:09.120" (whole percents of the
// lines formatted, rounded down). Pre: elapsed >= 0.
std::string RunningText(const TProgress* progress, std::chrono::steady_clock::duration elapsed);

// A finished RUN: "3,104,221 bicliques; enumeration 0:00:01.210, total
// 0:00:02.640" ("1 biclique" for one). Pre: both durations >= 0.
std::string DoneText(std::int64_t count, std::chrono::steady_clock::duration enumeration,
                     std::chrono::steady_clock::duration total);
