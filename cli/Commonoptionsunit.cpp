#include "Commonoptionsunit.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <system_error>

#include "Argumentsunit.h"
#include "Filesunit.h"
#include "Memorybudgetunit.h"
#include "Readerunit.h"

namespace {

// Empty when `text` is a size ParseByteSize takes, else why not.
std::string ByteSize(const std::string& text) {
  try {
    ParseByteSize(text);
    return {};
  } catch (const std::exception& error) {
    return error.what();
  }
}

} // namespace

std::function<std::string(const std::string&)> WholeNumber(std::uint64_t highest) {
  return [highest](const std::string& text) { return WholeNumberProblem(text, highest); };
}

std::int64_t MemoryShare(std::int64_t divisor) { return MemoryLimit() / divisor; }

std::string TempDir() {
  const char* temp = std::getenv("TMPDIR");
  return temp != nullptr && *temp != '\0' ? temp : "/tmp";
}

std::string DisplayName(const std::string& path) { return path == "-" ? "standard input" : path; }

void AddCommonOptions(CLI::App& app, TCommonOptions& options) {
  app.add_option("FILE", options.Input, "Graph to read; standard input when absent or -");
  app.add_option("--from", options.From,
                 "Input format: matrix (0/1 text), fimi (target ids per source line), edges (one "
                 "\"source target\" per line), cxt (Burmeister context), csv (cross-table with a header "
                 "of names); else by extension: .txt matrix, .dat fimi, .cxt cxt, .edges/.tsv edges, .csv "
                 "csv; else matrix")
      ->check(CLI::IsMember({"matrix", "fimi", "edges", "cxt", "csv"}));
  app.add_option("-o,--output", options.Output,
                 "Write the result to this file (- for standard output); a regular file is replaced only "
                 "once the result is complete")
      ->check([](const std::string& name) { return name.empty() ? std::string("empty file name") : ""; });
  app.add_flag("--count", options.CountOnly,
               "Print only the number of maximal bicliques (nothing is stored)");
  app.add_option("--order", options.Order,
                 "sorted: lines ascending by bytes; none: each line as soon as it is found, in constant "
                 "memory (the consensus engine keeps every set)")
      ->check(CLI::IsMember({"sorted", "none"}))
      ->capture_default_str();
  app.add_option("--min-sources", options.Bounds.MinSources, "List only bicliques with at least N sources")
      ->check(WholeNumber(std::numeric_limits<std::int32_t>::max()));
  app.add_option("--max-sources", options.Bounds.MaxSources, "List only bicliques with at most N sources")
      ->check(WholeNumber(std::numeric_limits<std::int32_t>::max()));
  app.add_option("--min-targets", options.Bounds.MinTargets, "List only bicliques with at least N targets")
      ->check(WholeNumber(std::numeric_limits<std::int32_t>::max()));
  app.add_option("--max-targets", options.Bounds.MaxTargets, "List only bicliques with at most N targets")
      ->check(WholeNumber(std::numeric_limits<std::int32_t>::max()));
  app.add_option("--max-input", options.MaxInput,
                 "Refuse inputs larger than SIZE (bytes, or with K, M, G); default half the memory")
      ->check(ByteSize);
  app.add_option("--memory", options.Memory,
                 "Sort in memory up to SIZE, beyond that in runs on disk (TMPDIR); default a quarter of "
                 "the memory the command may use (the least of physical memory, ulimit -v and -d, and "
                 "the control group's limit)")
      ->check(ByteSize);
  app.add_flag("--quiet", options.Quiet, "No progress line on standard error");
  app.add_option("--threads", options.Threads,
                 "Threads to use; 0 for every core, at most one per core (the results never depend on it)")
      ->check(WholeNumber(std::numeric_limits<std::int32_t>::max()))
      ->capture_default_str();
}

TMatrix ReadInput(const TCommonOptions& options) {
  const TFormat format = options.From.empty() ? FormatForPath(options.Input) : ParseFormat(options.From);
  const std::int64_t maxBytes = options.MaxInput.empty() ? MemoryShare(2) : ParseByteSize(options.MaxInput);
  if (options.Input == "-") return ReadFd(STDIN_FILENO, format, maxBytes);
  const int fd = ::open(options.Input.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw TFileError("cannot read '" + options.Input + "': " + std::strerror(errno));
  try {
    TMatrix matrix = ReadFd(fd, format, maxBytes);
    ::close(fd);
    return matrix;
  } catch (const std::system_error& error) {
    ::close(fd);
    throw TFileError("cannot read '" + options.Input + "': " + error.code().message());
  } catch (...) {
    ::close(fd);
    throw;
  }
}
