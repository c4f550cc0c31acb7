// Csvunit: the cross-table format, as spreadsheets and data-frame libraries
// save a 0/1 table: comma-separated values with a header line of target
// names and a first column of source names.
#pragma once

#include <memory>

#include "Linereaderunit.h"

// A reader of cross-tables:
//   ,t1,t2,"t, 3"     the header: a first cell (ignored), then one name per target
//   s1,1,0,X          one line per source: its name, then one cell per target
//   "s 2",,true,0
// Cells: '1', 'X' (or 'x') and 'true' mean an edge, '0', 'false' and an
// empty cell mean none (case is ignored for true and false); blanks around a
// cell are allowed. Fields are separated by commas and may be quoted as CSV
// quotes them: "..." with "" for a quote inside, a comma or a line break
// (kept as "\n") allowed inside; blanks before the opening or after the
// closing quote are dropped. Names are kept as they are (unquoted), UTF-8
// text without control characters other than tab. Sources and targets are
// numbered from 1 in file order, with their names; empty lines are skipped.
// Refused, with the place: a cell of any other value ("line 3, column 7:
// expected a cell 0, 1, X, true, false or empty, found 'y'"), a quote inside
// an unquoted field, text after a closing quote, a line with more or fewer
// fields than the header ("line 4 has 3 fields, the header has 4"), names
// that are not UTF-8 text, a quoted field left open at the end, no header,
// and more than 2^31 - 1 sources or targets.
std::unique_ptr<TReader> MakeCsvReader();
