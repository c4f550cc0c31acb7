// bicliques: the batch face of RUN. Reads a matrix text, writes the result
// lines; or prints a random matrix with the window's Generate rule.
#include <CLI/CLI.hpp>

#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <limits>
#include <new>
#include <optional>
#include <string>

#include "Filesunit.h"
#include "Generateunit.h"
#include "Messagesunit.h"
#include "Rununit.h"

namespace {

constexpr int ExitRefused = 1;
constexpr int ExitUsage = 2;

struct TOptions {
  std::string Input = "-";
  std::string Output = "-";
  bool CountOnly = false;
  bool Stats = false;
  std::string Engine = "auto";
  std::int32_t Threads = 0;
};

struct TGenerateOptions {
  std::int32_t Sources = 0;
  std::int32_t Targets = 0;
  std::string Density;
  std::optional<std::uint64_t> Seed;
};

// Bicliques found so far, as the last progress report said; -1 before any.
std::atomic<std::int64_t> LastCount{-1};

std::string DisplayName(const std::string& path) { return path == "-" ? "standard input" : path; }

int RunCommand(const TOptions& options) {
  if (SameFile(options.Input, options.Output)) {
    std::fprintf(stderr, "bicliques: '%s' is the input file; the result would overwrite it\n",
                 options.Output.c_str());
    return ExitRefused;
  }
  // Before the input is read: an output that cannot be written ends the
  // command before a long run, and a FIFO's reader is waited for first.
  TOutputFile output(options.Output);
  const std::string text = ReadAll(options.Input);
  TRunResult result;
  try {
    TRunOptions run;
    run.Engine = options.Engine == "consensus" ? TEngineKind::Consensus
                 : options.Engine == "closure" ? TEngineKind::Extension
                 : options.Engine == "sparse"  ? TEngineKind::Sparse
                                               : TEngineKind::Automatic;
    run.Config.Threads = options.Threads;
    if (options.CountOnly) run.Output = TOutput::Count;
    run.Config.Progress = [](const TProgress& progress) { LastCount = progress.Sets; };
    result = RunLines(SplitLines(text), run);
  } catch (const TInputError& error) {
    std::fprintf(stderr, "bicliques: %s: %s\n", DisplayName(options.Input).c_str(), error.what());
    return ExitRefused;
  }
  if (options.Stats) {
    const double seconds = std::chrono::duration<double>(result.Elapsed).count();
    std::fprintf(stderr, "sources %d, targets %d, bicliques %lld, passes %d, enumeration %.6f s\n",
                 result.Sources, result.Targets, static_cast<long long>(result.Count), result.Passes,
                 seconds);
  }
  LastCount = result.Count;
  output.Commit(options.CountOnly ? std::to_string(result.Count) + "\n" : result.Text);
  return 0;
}

int GenerateCommand(const TGenerateOptions& options) {
  TRandomSource random = options.Seed ? TRandomSource(*options.Seed) : TRandomSource();
  const float density = ParseDensity(options.Density);
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
  app.add_option("FILE", options.Input, "Matrix text to read; standard input when absent or -");
  app.add_option("-o,--output", options.Output,
                 "Write the result to this file (- for standard output); a regular file is replaced only "
                 "once the result is complete")
      ->check([](const std::string& name) { return name.empty() ? std::string("empty file name") : ""; });
  app.add_flag("--count", options.CountOnly, "Print only the number of maximal bicliques");
  app.add_flag("--stats", options.Stats,
               "Add a line on standard error: sources, targets, bicliques, passes, enumeration time");
  app.add_option("--engine", options.Engine,
                 "Enumeration engine; all give the same lines. auto: closure, or sparse for large sparse "
                 "matrices; consensus: the window's consensus passes")
      ->check(CLI::IsMember({"auto", "consensus", "closure", "sparse"}))
      ->capture_default_str();
  app.add_option("--threads", options.Threads,
                 "Threads to use; 0 for every core (the results never depend on it)")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();

  TGenerateOptions generate;
  auto* generateCommand =
      app.add_subcommand("generate", "Print a random matrix, as the window's Generate does");
  generateCommand->add_option("SOURCES", generate.Sources, "Number of lines")
      ->required()
      ->check(CLI::Range(0, std::numeric_limits<std::int32_t>::max()));
  generateCommand->add_option("TARGETS", generate.Targets, "Characters per line")
      ->required()
      ->check(CLI::Range(0, std::numeric_limits<std::int32_t>::max()));
  generateCommand
      ->add_option("DENSITY", generate.Density, "Chance of a '1' per cell, in percent (read like atof)")
      ->required();
  generateCommand->add_option("--seed", generate.Seed,
                              "Start the generator from this seed instead of its fixed state");

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
