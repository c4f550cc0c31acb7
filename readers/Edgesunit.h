// Edgesunit: the edge-list format. One edge per line: a source id and a
// target id, then anything (weights, times), which is ignored.
#pragma once

#include <memory>

#include "Linereaderunit.h"

// A reader of edge lists. On each line the fields are separated by blanks
// (spaces, tabs) or by one comma with blanks around it allowed; the first
// two are the source id and the target id, any text without blanks or
// commas. Lines whose first non-blank character is '%' or '#' are comments
// and blank lines are skipped; repeated edges count once. The ids must be
// UTF-8 text without control characters other than tab.
//
// Each side on its own: when every id of the side is a non-negative decimal
// integer (below 2^63), its vertices are the distinct numbers in increasing
// order, shown as those numbers (SourceIds / TargetIds; "7" and "007" are one
// vertex); otherwise they are the distinct ids in order of first appearance,
// shown from 1 with their ids as names (SourceNames / TargetNames).
//
// Refuses, naming the place: "line 5, column 3: expected a target id, found
// end of line" (likewise "a source id", or found ','), bytes that are no text,
// and more than 2^31 - 1 vertices on a side.
std::unique_ptr<TReader> MakeEdgesReader();
