// Cxtunit: the context format (Burmeister). Objects are the sources,
// attributes the targets, both numbered from 1 in file order with their names.
#pragma once

#include <memory>

#include "Linereaderunit.h"

// A reader of contexts:
//   B                  the first line ('B', blanks after it allowed)
//   name               the context's name, may be empty (not kept)
//   3                  the number of objects
//   2                  the number of attributes
//                      one empty line, left out by some files
//   first object       one line per object name
//   ...
//   first attribute    one line per attribute name
//   ...
//   X.                 one line per object: 'X' (or 'x') where the object
//   ...                has the attribute, '.' where not, one per attribute
// Lenient where files differ: the name line may be missing (when lines 2 and
// 3 are the two numbers and line 4 is not a number), the empty line too (the
// first line after the numbers is taken for it when it is blank, so an empty
// first object name needs the empty line before it), blanks may end a line
// of marks, and blank lines may follow the last one. Refused, with the place:
// any other character in a line of marks ("line 9, column 2: expected 'X' or
// '.', found 'o'"), a line of marks of the wrong length, text after the last
// line of marks, names that are not UTF-8 text, more than 2^31 - 1 objects or
// attributes, and input that ends early ("the input ends after line 7: ...").
std::unique_ptr<TReader> MakeCxtReader();
