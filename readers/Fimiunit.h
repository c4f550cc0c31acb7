// Fimiunit: the transaction format. One line per source, holding the numbers
// of its targets separated by blanks.
#pragma once

#include <memory>

#include "Linereaderunit.h"

// A reader of transaction lines: target numbers are non-negative decimal
// integers (up to 2^63 - 1) separated by spaces or tabs, in any order;
// repeats count once; an empty line is a source without targets; blanks
// around the numbers are allowed. Source s is shown as its line number
// (no SourceIds); the targets are the numbers that occur, in increasing
// order, each shown as written (TargetIds holds them, ascending), so numbers
// that never occur are no vertices. Refuses, naming the place:
//   "line 2, column 4: expected a target number, found 'x'",
//   "line 2, column 3: target number too large: 99999999999999999999",
// and more than 2^31 - 1 lines or distinct targets.
std::unique_ptr<TReader> MakeFimiReader();
