// Matrixtextunit: the 0/1 text format. One line per source, one character
// '0' or '1' per target, every line as long as the first.
#pragma once

#include <memory>
#include <string>

#include "Linereaderunit.h"
#include "Matrixunit.h"

// A reader of the 0/1 text. It refuses, at the first place at fault in line
// order:
//   "line 3, column 5: expected '0' or '1', found 'x'" (any other character,
//     shown as ShowChar shows it; the column counts bytes), and
//   "line 4 has 7 characters, line 1 has 5" (Column 0).
// Each line costs one row start; the ones go straight into the rows. Sources
// and targets are shown by their position from 1 (no ids, no names).
std::unique_ptr<TReader> MakeMatrixTextReader();

// The 0/1 text of `matrix`: one line per source, lines joined by "\n", no
// break after the last; Sources * (Targets + 1) - 1 bytes (none for no
// sources). Pre: each row ascending, below Targets.
std::string MatrixText(const TMatrix& matrix);
