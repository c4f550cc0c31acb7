// bicliques: the batch face of RUN. Reads a matrix text, writes the result
// lines; or prints a random matrix with the window's Generate rule.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "Filesunit.h"
#include "Generateunit.h"
#include "Rununit.h"

namespace {

constexpr int ExitRefused = 1;
constexpr int ExitUsage = 2;

struct TOptions {
  std::string Input = "-";
  std::string Output;
  bool CountOnly = false;
  bool Stats = false;
  std::string Engine = "consensus";
  std::int32_t Threads = 0;
};

struct TGenerateOptions {
  std::int32_t Sources = 0;
  std::int32_t Targets = 0;
  std::string Density;
  std::optional<std::uint64_t> Seed;
};

std::string DisplayName(const std::string& path) { return path == "-" ? "standard input" : path; }

void Deliver(const TOptions& options, const std::string& text) {
  if (options.Output.empty()) {
    WriteStdout(text);
  } else {
    WriteAtomically(options.Output, text);
  }
}

int RunCommand(const TOptions& options) {
  const std::string text = ReadAll(options.Input);
  TRunResult result;
  try {
    TRunOptions run;
    run.Engine = options.Engine == "closure" ? TEngineKind::Extension : TEngineKind::Consensus;
    run.Config.Threads = options.Threads;
    if (options.CountOnly) run.Output = TOutput::Count;
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
  if (options.CountOnly) {
    Deliver(options, std::to_string(result.Count) + "\n");
  } else {
    Deliver(options, result.Text);
  }
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
  app.add_option("-o,--output", options.Output, "Write the result to this file, replaced only once complete");
  app.add_flag("--count", options.CountOnly, "Print only the number of maximal bicliques");
  app.add_flag("--stats", options.Stats,
               "Add a line on standard error: sources, targets, bicliques, passes, enumeration time");
  app.add_option("--engine", options.Engine, "Enumeration engine; both give the same lines")
      ->check(CLI::IsMember({"consensus", "closure"}))
      ->capture_default_str();
  app.add_option("--threads", options.Threads,
                 "Threads to use; 0 for every core (the results never depend on it)")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();

  TGenerateOptions generate;
  auto* generateCommand =
      app.add_subcommand("generate", "Print a random matrix, as the window's Generate does");
  generateCommand->add_option("SOURCES", generate.Sources, "Number of lines")->required();
  generateCommand->add_option("TARGETS", generate.Targets, "Characters per line")->required();
  generateCommand
      ->add_option("DENSITY", generate.Density, "Chance of a '1' per cell, in percent (read like atof)")
      ->required();
  generateCommand->add_option("--seed", generate.Seed,
                              "Start the generator from this seed instead of its fixed state");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : ExitUsage;
  }

  try {
    return generateCommand->parsed() ? GenerateCommand(generate) : RunCommand(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bicliques: %s\n", error.what());
    return ExitRefused;
  }
}
