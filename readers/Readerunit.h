// Readerunit: the input formats behind one front. A format is picked by name
// or by a file's extension; text or a file descriptor is read into the
// TMatrix the run path takes. Every refusal is a TInputError naming the line
// and column at fault.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "Linereaderunit.h"
#include "Matrixunit.h"

// matrix: 0/1 text (Matrixtextunit); fimi: target numbers per line
// (Fimiunit); edges: one edge per line (Edgesunit); cxt: a context
// (Cxtunit); csv: a cross-table with a header of names (Csvunit).
enum class TFormat { Matrix, Fimi, Edges, Cxt, Csv };

// The format named "matrix", "fimi", "edges", "cxt" or "csv". Throws
// std::invalid_argument, naming the five, for any other name.
TFormat ParseFormat(std::string_view name);
// The name ParseFormat takes for `format`.
std::string_view FormatName(TFormat format);
// The format a file's extension suggests (case ignored): ".txt" matrix,
// ".dat" fimi, ".cxt" cxt, ".edges", ".tsv" edges, ".csv" csv (an edge list
// with commas needs the name "edges"); any other or none matrix.
TFormat FormatForPath(std::string_view path);

// A new reader of `format`; the caller owns it.
std::unique_ptr<TReader> MakeReader(TFormat format);

// Reads the whole of `text`. Throws TInputError.
TMatrix ReadText(std::string_view text, TFormat format);

// No limit on the input size.
inline constexpr std::int64_t NoInputLimit = std::numeric_limits<std::int64_t>::max();

// Reads `fd` to its end in chunks of 64 KiB, each checked as it arrives: a
// bad byte is refused at once, without reading further. Input of more than
// maxBytes bytes is refused, after the first maxBytes are checked, with
// TInputError(0, 0, "the input is larger than the limit of 64 MiB (67108864
// bytes)"). Throws std::system_error when reading fails. The caller keeps
// and closes fd. Pre: maxBytes >= 0.
TMatrix ReadFd(int fd, TFormat format, std::int64_t maxBytes = NoInputLimit);

// Bytes for a size as the command line takes it: a whole number, optionally
// followed by K, M, G or T (powers of 1024; lower case too, "B" or "iB" may
// follow): "4096", "64M", "1GiB". Throws std::invalid_argument.
std::int64_t ParseByteSize(std::string_view text);

// "64 MiB (67108864 bytes)" when `bytes` is a whole number of KiB, MiB, GiB
// or TiB, else "1000 bytes".
std::string ByteSizeText(std::int64_t bytes);
