// bicliques: the batch face of RUN. Reads a graph (a 0/1 matrix text, a
// transaction file, an edge list or a context), writes the result lines; or
// prints a random matrix with the window's Generate rule.
#include <CLI/CLI.hpp>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <iostream>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Argumentsunit.h"
#include "Commonoptionsunit.h"
#include "Filesunit.h"
#include "Generateunit.h"
#include "Hugeheapunit.h"
#include "Latticetextunit.h"
#include "Memorybudgetunit.h"
#include "Messagesunit.h"
#include "Parallelunit.h"
#include "Progresslineunit.h"
#include "Readerunit.h"
#include "Rununit.h"
#include "Sortedlinesunit.h"

namespace {

constexpr int ExitRefused = 1;
constexpr int ExitUsage = 2;

struct TOptions : TCommonOptions {
  std::string LatticeLabels = "counts";
  std::int64_t LatticeLimit = 2000;
};

struct TGenerateOptions {
  std::int32_t Sources = 0;
  std::int32_t Targets = 0;
  std::string Density;
  std::optional<std::uint64_t> Seed;
};

// From this size of input file on, the run starts again on large pages.
constexpr std::int64_t HugeHeapInputBytes = std::int64_t{256} << 10;

// The size of the file `path`; 0 for standard input or what cannot be read.
std::int64_t InputBytes(const std::string& path) {
  struct stat status {};
  if (path == "-" || ::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
  return static_cast<std::int64_t>(status.st_size);
}

// Bicliques found so far, as the last progress report said; -1 before any.
std::atomic<std::int64_t> LastCount{-1};

// The formats that write the lattice's diagram instead of result lines.
std::optional<TLatticeFormat> LatticeFormat(const std::string& format) {
  if (format == "dot") return TLatticeFormat::Dot;
  if (format == "graphml") return TLatticeFormat::Graphml;
  return std::nullopt;
}

// The diagram of the run's results; refused beyond --lattice-limit nodes,
// with the --min-sources bound whose iceberg fits.
int WriteLattice(const TOptions& options, const TMatrix& matrix, const TEngine& engine, TOutputFile& output) {
  if (engine.Count() > options.LatticeLimit) {
    const std::vector<std::int32_t> counts = SourceCounts(matrix, engine);
    const std::int32_t bound = IcebergMinSources(counts, options.LatticeLimit);
    const auto kept = std::count_if(counts.begin(), counts.end(), [&](std::int32_t n) { return n >= bound; });
    std::fprintf(
        stderr,
        "bicliques: the lattice has %lld nodes, more than --lattice-limit %lld; try --min-sources %d "
        "(an iceberg of %lld) or a higher --lattice-limit\n",
        static_cast<long long>(engine.Count()), static_cast<long long>(options.LatticeLimit), bound,
        static_cast<long long>(kept));
    return ExitRefused;
  }
  const TLattice lattice = LatticeOfResults(matrix, engine);
  const TNodeLabels labels = options.LatticeLabels == "reduced" ? TNodeLabels::Reduced : TNodeLabels::Counts;
  output.Write(LatticeText(Diagram(matrix, lattice, labels), lattice, *LatticeFormat(options.Format)));
  return 0;
}

TRunOptions RunOptions(const TOptions& options, TOutputFile& output, TProgressLine& progress) {
  TRunOptions run;
  run.Engine = *EngineNamed(options.Engine);
  run.Config.Threads = options.Threads;
  run.Config.Bounds = options.Bounds;
  run.Config.Progress = [&progress](const TProgress& report) {
    LastCount = report.Sets;
    progress.Show(report);
  };
  run.Format = options.Format == "jsonl" ? TLineFormat::Jsonl : TLineFormat::Text;
  run.Output = options.CountOnly               ? TOutput::Count
               : LatticeFormat(options.Format) ? TOutput::Kept
               : options.Order == "none"       ? TOutput::Unordered
                                               : TOutput::SortedText;
  run.Write = [&output](std::string_view lines) { output.Write(lines); };
  run.MemoryBudget = options.Memory.empty() ? MemoryShare(4) : ParseByteSize(options.Memory);
  run.TempDir = TempDir();
  return run;
}

int RunCommand(const TOptions& options) {
  if (SameFile(options.Input, options.Output)) {
    std::fprintf(stderr, "bicliques: '%s' is the input file; the result would overwrite it\n",
                 options.Output.c_str());
    return ExitRefused;
  }
  // Before the input is read: an output that cannot be written ends the
  // command before a long run, and a FIFO's reader is waited for first.
  TOutputFile output(options.Output);
  // Sorted text may go to disk at the end of the run: a folder that cannot
  // take it is reported now, not after the enumeration.
  if (!options.CountOnly && options.Order == "sorted") CheckTempDir(TempDir());
  TProgressLine progress(!options.Quiet && ::isatty(STDERR_FILENO) == 1);
  TRunResult result;
  TMatrix matrix;
  try {
    matrix = ReadInput(options);
    result = RunMatrix(matrix, RunOptions(options, output, progress));
  } catch (const TInputError& error) {
    progress.Erase();
    std::fprintf(stderr, "bicliques: %s: %s\n", DisplayName(options.Input).c_str(), error.what());
    // Edge lists were once read from .csv files by their extension.
    if (options.From.empty() && FormatForPath(options.Input) == TFormat::Csv)
      std::fprintf(stderr,
                   "bicliques: a .csv file is read as a cross-table; --from edges reads an edge list\n");
    return ExitRefused;
  }
  progress.Erase();
  if (options.Stats) {
    const double seconds = std::chrono::duration<double>(result.Elapsed).count();
    std::fprintf(stderr, "sources %d, targets %d, bicliques %lld, passes %d, enumeration %.6f s\n",
                 result.Sources, result.Targets, static_cast<long long>(result.Count), result.Passes,
                 seconds);
  }
  LastCount = result.Count;
  if (options.CountOnly) output.Write(std::to_string(result.Count) + "\n");
  if (!options.CountOnly && LatticeFormat(options.Format)) {
    if (const int status = WriteLattice(options, matrix, *result.Engine, output); status != 0) return status;
  }
  output.Finish();
  return 0;
}

int GenerateCommand(const TGenerateOptions& options) {
  TRandomSource random = options.Seed ? TRandomSource(*options.Seed) : TRandomSource();
  const float density = *DensityInRange(options.Density);
  std::string buffer;
  for (std::int32_t r = 0; r < options.Sources; ++r) {
    buffer += GenerateRow(options.Targets, density, random);
    buffer += '\n';
    if (buffer.size() >= (1u << 20)) {
      WriteStdout(buffer);
      buffer.clear();
    }
  }
  WriteStdout(buffer);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  CLI::App app{"Lists every maximal biclique of a bipartite graph given as a 0/1 matrix: one line per\n"
               "source vertex, one character '0' or '1' per target vertex. Writes one line per\n"
               "maximal biclique: its source vertices, \" : \", its target vertices, counting from 1.",
               "bicliques"};
  app.set_version_flag("--version", std::string("bicliques ") + BICLIQUES_VERSION);

  TOptions options;
  AddCommonOptions(app, options);
  app.add_option("--format", options.Format,
                 "Result lines as text (\"sources : targets\") or jsonl; or the lattice of the results as "
                 "dot or graphml: node nN is result line N, an edge per cover, drawn upward")
      ->check(CLI::IsMember({"text", "jsonl", "dot", "graphml"}))
      ->capture_default_str();
  app.add_option("--lattice-labels", options.LatticeLabels,
                 "Lattice node labels: counts (sources x targets) or reduced (each vertex at the one node "
                 "that introduces it)")
      ->check(CLI::IsMember({"counts", "reduced"}))
      ->capture_default_str();
  app.add_option("--lattice-limit", options.LatticeLimit,
                 "Refuse to draw a lattice of more nodes (--min-sources draws an iceberg)")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_flag("--stats", options.Stats,
               "Add a line on standard error: sources, targets, bicliques, passes, enumeration time");
  std::vector<std::string> engineNames{"auto"};
  std::string engineHelp =
      "Enumeration engine; all give the same lines. auto: closure, or sparse for large sparse "
      "matrices";
  for (const TEngineEntry& engine : Engines()) {
    engineNames.emplace_back(engine.Name);
    engineHelp += "; " + std::string(engine.Name) + ": " + std::string(engine.Summary);
  }
  app.add_option("--engine", options.Engine, engineHelp)
      ->check(CLI::IsMember(engineNames))
      ->capture_default_str();

  TGenerateOptions generate;
  auto* generateCommand =
      app.add_subcommand("generate", "Print a random matrix, as the window's Generate does");
  // A text such as "-inf" looks like an option to the parser and is left
  // over; it is refused below as the DENSITY it stood for.
  generateCommand->allow_extras();
  generateCommand->add_option("SOURCES", generate.Sources, "Number of lines")
      ->required()
      ->check(WholeNumber(std::numeric_limits<std::int32_t>::max()));
  generateCommand->add_option("TARGETS", generate.Targets, "Characters per line")
      ->required()
      ->check(WholeNumber(std::numeric_limits<std::int32_t>::max()));
  generateCommand
      ->add_option("DENSITY", generate.Density,
                   "Chance of a '1' per cell, in percent, 0 to 100 (read like atof)")
      ->check(DensityProblem);
  generateCommand
      ->add_option("--seed", generate.Seed, "Start the generator from this seed instead of its fixed state")
      ->check(WholeNumber(std::numeric_limits<std::uint64_t>::max()));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (app.exit(error) != 0) return ExitUsage;
    // --help and --version: their text must have arrived.
    std::cout.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout) {
      std::fprintf(stderr, "bicliques: cannot write 'standard output': %s\n", std::strerror(errno));
      return ExitRefused;
    }
    return 0;
  }
  // Small inputs finish before large pages would pay for starting again,
  // except with the consensus engine: its tables grow with the results, to
  // hundreds of megabytes from a few kilobytes of input.
  const bool consensus = EngineNamed(options.Engine) == std::optional(TEngineKind::Consensus);
  if (!generateCommand->parsed() && (consensus || InputBytes(options.Input) >= HugeHeapInputBytes))
    StartOnHugePages(argv);
  if (generateCommand->parsed()) {
    const std::vector<std::string> extras = generateCommand->remaining();
    const auto usage = [&app](const CLI::Error& error) {
      app.exit(error);
      return ExitUsage;
    };
    if (generate.Density.empty() && !extras.empty())
      return usage(CLI::ValidationError("DENSITY", DensityProblem(extras.front())));
    if (!extras.empty()) return usage(CLI::ExtrasError(extras));
    if (generate.Density.empty()) return usage(CLI::RequiredError("DENSITY"));
  }
  // More threads than processors only slow a run down, and many thousands
  // can bring the machine to a halt.
  const std::int32_t processors = MachineProcessors();
  if (options.Threads > processors) {
    std::fprintf(stderr, "bicliques: %s\n", ThreadsCappedNote(options.Threads, processors).c_str());
    options.Threads = processors;
  }

  try {
    return generateCommand->parsed() ? GenerateCommand(generate) : RunCommand(options);
  } catch (const std::bad_alloc&) {
    // By now the unwinding has freed what the run held, so the message can
    // be made; the peak is what the process held at its most.
    rusage usage{};
    const std::int64_t peak =
        ::getrusage(RUSAGE_SELF, &usage) == 0 ? static_cast<std::int64_t>(usage.ru_maxrss) * 1024 : 0;
    std::fprintf(stderr, "bicliques: %s\n", OutOfMemoryMessage(LastCount, peak).c_str());
    return ExitRefused;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bicliques: %s\n", error.what());
    return ExitRefused;
  }
}
