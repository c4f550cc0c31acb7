// Sortedlinesunit: the result text of a closure run, one line per result,
// formatted by every thread of the engine and sorted by bytes.
#pragma once

#include <string>
#include <vector>

#include "Closureunit.h"

// Every result of `engine` as "sources : targets", ascending by bytes. The
// lines are unique since distinct results have distinct source sides.
// Pre: engine.Run() has been called.
std::vector<std::string> SortedResultLines(const TClosureBicliques& engine);
