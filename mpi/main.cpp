// bicliques-mpi: the cluster face of RUN on MPI. Every process reads the
// input file itself and runs the same engine; rank 0 deals the root branches
// out among them, gathers the results and writes them as `bicliques` would:
// the count, the lines as they come, or the lines sorted, each process's part
// sorted there and merged on rank 0.
#include <CLI/CLI.hpp>

#include <mpi.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "Clusterjobunit.h"
#include "Commonoptionsunit.h"
#include "Filesunit.h"
#include "Linemergeunit.h"
#include "Messagesunit.h"
#include "Parallelunit.h"
#include "Readerunit.h"
#include "Rununit.h"
#include "Sortedlinesunit.h"

namespace {

constexpr int ExitRefused = 1;
constexpr int ExitUsage = 2;

struct TOptions : TCommonOptions {
  std::int64_t Chunk = 0;
  bool GiveAlways = false;
};

// Rank 0's sorted blocks wait here for its merge; two keep both threads busy.
constexpr std::size_t WaitingBlocks = 2;

// The message for a failure before or during the run, without the program's name.
std::string FailureMessage(const TOptions& options, std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const TInputError& error) {
    std::string message = DisplayName(options.Input) + ": " + error.what();
    if (options.From.empty() && FormatForPath(options.Input) == TFormat::Csv)
      message += "\nbicliques-mpi: a .csv file is read as a cross-table; --from edges reads an edge list";
    return message;
  } catch (const std::bad_alloc&) {
    rusage usage{};
    const std::int64_t peak =
        ::getrusage(RUSAGE_SELF, &usage) == 0 ? static_cast<std::int64_t>(usage.ru_maxrss) * 1024 : 0;
    return OutOfMemoryMessage(-1, peak);
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "unknown failure";
  }
}

// CPU seconds, user and system, this process has used so far.
double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + 1e-6 * t.tv_usec; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Every process learns whether any failed; the lowest that did prints its
// message. True when all went well.
bool AllWell(const TClusterJob& job, const std::string& failure) {
  const int mine = failure.empty() ? job.Size() : job.Rank();
  int first = job.Size();
  MPI_Allreduce(&mine, &first, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
  if (first == job.Rank()) std::fprintf(stderr, "bicliques-mpi: %s\n", failure.c_str());
  return first == job.Size();
}

TRunOptions RunOptions(const TOptions& options, TClusterJob& job) {
  TRunOptions run;
  run.Engine = *EngineNamed(options.Engine);
  run.Config.Threads = options.Threads;
  run.Config.Bounds = options.Bounds;
  run.Config.Branches = job.Share();
  run.Format = options.Format == "jsonl" ? TLineFormat::Jsonl : TLineFormat::Text;
  run.Output = options.CountOnly         ? TOutput::Count
               : options.Order == "none" ? TOutput::Unordered
                                         : TOutput::SortedText;
  run.MemoryBudget = options.Memory.empty() ? MemoryShare(4) : ParseByteSize(options.Memory);
  run.TempDir = TempDir();
  return run;
}

void PrintStats(const TClusterJob& job, const std::vector<TProcessStats>& all, const TMatrix& matrix,
                std::int64_t count) {
  double longest = 0;
  double cpuTotal = 0;
  double cpuMost = 0;
  std::int64_t messages = 0;
  for (const TProcessStats& stats : all) {
    longest = std::max(longest, stats.Enumeration);
    cpuTotal += stats.Cpu;
    cpuMost = std::max(cpuMost, stats.Cpu);
    messages += stats.Messages;
  }
  for (std::size_t rank = 0; rank < all.size(); ++rank) {
    const TProcessStats& stats = all[rank];
    std::fprintf(stderr,
                 "process %zu: busy %.6f s, idle %.6f s, CPU %.6f s, results %lld, branches taken %lld in "
                 "%lld chunks, "
                 "given %lld, subtrees given %lld, taken %lld, messages %lld, bytes sent %lld\n",
                 rank, stats.Enumeration - stats.Waiting, stats.Waiting + longest - stats.Enumeration,
                 stats.Cpu, static_cast<long long>(stats.Results),
                 static_cast<long long>(stats.BranchesTaken), static_cast<long long>(stats.Chunks),
                 static_cast<long long>(stats.BranchesGiven), static_cast<long long>(stats.SubtreesGiven),
                 static_cast<long long>(stats.SubtreesTaken), static_cast<long long>(stats.Messages),
                 static_cast<long long>(stats.BytesSent));
  }
  // CPU time measures each process's share of the work also when processes
  // share cores, where their busy wall time would count the others' turns.
  const double balance = cpuTotal > 0 ? cpuMost / (cpuTotal / static_cast<double>(all.size())) : 1.0;
  std::fprintf(stderr,
               "sources %d, targets %d, bicliques %lld, processes %d, enumeration %.6f s, balance %.3f "
               "(largest CPU time over the mean), messages %lld\n",
               matrix.Sources, matrix.Targets, static_cast<long long>(count), job.Size(), longest, balance,
               static_cast<long long>(messages));
}

// The enumeration and the output, once every process has its input (and
// rank 0 its output file). Any failure ends the whole job.
void RunJob(const TOptions& options, TClusterJob& job, const TMatrix& matrix, TOutputFile* output) {
  const bool rankZero = job.Rank() == 0;
  TRunOptions run = RunOptions(options, job);
  std::mutex outputMutex;
  const auto writeOutput = [&](std::string_view lines) {
    const std::lock_guard lock(outputMutex);
    output->Write(lines);
  };
  TBlockChannel ownBlocks(WaitingBlocks);
  std::thread merge;
  try {
    if (rankZero) job.StartDealer(writeOutput);
    if (run.Output == TOutput::Unordered) {
      run.Write = rankZero ? std::function<void(std::string_view)>(writeOutput)
                           : [&job](std::string_view lines) { job.SendLines(lines); };
    } else if (run.Output == TOutput::SortedText) {
      run.Write = rankZero ? std::function<void(std::string_view)>(
                                 [&ownBlocks](std::string_view block) { ownBlocks.Put(block); })
                           : [&job](std::string_view block) { job.SendSortedBlock(block); };
      if (rankZero) {
        merge = std::thread([&] {
          try {
            std::vector<TBlockSource> parts{
                [&ownBlocks](std::string& block) { return ownBlocks.Take(block); }};
            for (int rank = 1; rank < job.Size(); ++rank)
              parts.push_back(job.SortedPart(rank));
            MergeSortedBlocks(parts, writeOutput);
          } catch (...) {
            AbortJob(FailureMessage(options, std::current_exception()));
          }
        });
      }
    }
    const double cpuBefore = CpuSeconds();
    const TRunResult result = RunMatrix(matrix, run);
    job.Stats().Cpu = CpuSeconds() - cpuBefore;
    job.Stats().Enumeration = std::chrono::duration<double>(result.Elapsed).count();
    job.Stats().Results = result.Count;
    if (run.Output == TOutput::SortedText) {
      if (rankZero) {
        ownBlocks.Close();
        merge.join();
      } else {
        job.SendSortedBlock({});
      }
    }
    job.Done();
    if (rankZero) job.JoinDealer();
    job.QuietBarrier();
    const std::int64_t count = job.SumOnRankZero(result.Count);
    const std::vector<TProcessStats> stats = job.GatherStats();
    if (rankZero) {
      if (options.Stats) PrintStats(job, stats, matrix, count);
      if (options.CountOnly) output->Write(std::to_string(count) + "\n");
      output->Finish();
    }
  } catch (...) {
    // Threads still running are left to the end of the job.
    AbortJob(FailureMessage(options, std::current_exception()));
  }
}

int RunCommand(const TOptions& options) {
  TClusterJob job(options.Chunk, options.GiveAlways);
  // As with `bicliques`: the output is opened and the sort's folder tried
  // before the input is read; every process reads the input itself.
  std::unique_ptr<TOutputFile> output;
  TMatrix matrix;
  std::string failure;
  try {
    if (job.Rank() == 0) {
      if (SameFile(options.Input, options.Output))
        throw TFileError("'" + options.Output + "' is the input file; the result would overwrite it");
      output = std::make_unique<TOutputFile>(options.Output);
    }
    if (!options.CountOnly && options.Order == "sorted") CheckTempDir(TempDir());
    matrix = ReadInput(options);
  } catch (...) {
    failure = FailureMessage(options, std::current_exception());
  }
  if (!AllWell(job, failure)) return ExitRefused;
  RunJob(options, job, matrix, output.get());
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_MULTIPLE, &provided);
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  // Only rank 0 speaks about the arguments: every process parses the same.
  const auto finish = [](int status) {
    MPI_Finalize();
    return status;
  };
  if (provided < MPI_THREAD_MULTIPLE) {
    if (rank == 0) std::fprintf(stderr, "bicliques-mpi: the MPI library does not allow threads to send\n");
    return finish(ExitRefused);
  }

  CLI::App app{"Lists every maximal biclique of a bipartite graph, as bicliques does, on the processes of\n"
               "an MPI job: every process reads FILE, rank 0 deals out the search and writes the result.",
               "bicliques-mpi"};
  app.set_version_flag("--version", std::string("bicliques-mpi ") + BICLIQUES_VERSION);
  TOptions options;
  AddCommonOptions(app, options);
  app.get_option("FILE")->required()->description("Graph to read, on a path every process can read");
  app.add_option("--format", options.Format,
                 "Result lines as text (\"sources : targets\") or jsonl, one object per line")
      ->check(CLI::IsMember({"text", "jsonl"}))
      ->capture_default_str();
  app.add_option("--engine", options.Engine,
                 "Enumeration engine, in every process; all give the same lines. auto: closure, or sparse "
                 "for large sparse matrices")
      ->check(CLI::IsMember({"auto", "closure", "sparse"}))
      ->capture_default_str();
  app.add_flag("--stats", options.Stats,
               "Add lines on standard error: per process its busy and idle time, results, branches "
               "taken and given, subtrees given and taken, messages and bytes sent; then the totals and "
               "the balance");
  app.add_option("--chunk", options.Chunk,
                 "Deal at most N root branches at once (0: chunks shrink from a sixteenth of each "
                 "process's share of what is left down to one)")
      ->check(WholeNumber(std::numeric_limits<std::int64_t>::max()))
      ->capture_default_str();
  // For tests: subtrees move between processes even on the smallest graphs.
  app.add_flag("--give-always", options.GiveAlways,
               "Every process gives away the rest of its search at every node it can, unasked")
      ->group("");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (rank != 0) return finish(error.get_exit_code() == 0 ? 0 : ExitUsage);
    return finish(app.exit(error) != 0 ? ExitUsage : 0);
  }
  // Quiet is taken for the same arguments as bicliques; this face shows no
  // progress line.
  const std::int32_t processors = MachineProcessors();
  if (options.Threads > processors) {
    if (rank == 0)
      std::fprintf(stderr, "bicliques-mpi: %s\n", ThreadsCappedNote(options.Threads, processors).c_str());
    options.Threads = processors;
  }
  return finish(RunCommand(options));
}
