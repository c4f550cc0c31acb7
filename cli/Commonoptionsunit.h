// Commonoptionsunit: the options and the input reading that the command
// line and the cluster face share, so that both take the same arguments
// with the same checks and read a file the same way.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>

#include "Engineunit.h"
#include "Matrixunit.h"

struct TCommonOptions {
  std::string Input = "-";
  std::string Output = "-";
  std::string From;
  std::string Format = "text";
  std::string Order = "sorted";
  bool CountOnly = false;
  bool Stats = false;
  bool Quiet = false;
  std::string Engine = "auto";
  std::int32_t Threads = 0;
  TBounds Bounds;
  std::string MaxInput;
  std::string Memory;
};

// Adds to `app` the options both faces take, writing into `options` (which
// it borrows for the app's life): FILE, --from, -o, --count, --order, the
// four size bounds, --max-input, --memory, --quiet and --threads. --format,
// --engine and --stats differ between the faces and are their own.
void AddCommonOptions(CLI::App& app, TCommonOptions& options);

// A check of a whole-number option: 0 to `highest`.
std::function<std::string(const std::string&)> WholeNumber(std::uint64_t highest);

// A share of the memory this process may use, for the input and sorting
// limits.
std::int64_t MemoryShare(std::int64_t divisor);

// Where a sorted result goes that does not fit in memory: TMPDIR, else /tmp.
std::string TempDir();

// "standard input" for "-", else the path.
std::string DisplayName(const std::string& path);

// The matrix of options.Input ("-": standard input) in the format --from
// names or the extension says, refused beyond --max-input (default half the
// memory). Throws TInputError on refused input, TFileError when the file
// cannot be read.
TMatrix ReadInput(const TCommonOptions& options);
