// Clusterjobunit: the messages of one cluster job on MPI. Rank 0 deals the
// root branches (Chunkplanunit) on a dealer thread of its own, which also
// takes the unordered lines the other processes send; sorted parts go to
// rank 0's merge one block at a time, as it asks for them. Waits poll with
// short sleeps rather than spin, so that a waiting process leaves its cores
// to its search threads.
//
// A process other than rank 0 asks for its next chunk as soon as it starts
// one, so that it seldom waits for a reply; a chunk asked for but not
// started yet goes back to rank 0 when rank 0 asks the process for work.
//
// Once every branch is dealt, the dealer brokers subtree tasks: a worker
// with nothing left asks rank 0 for a task; rank 0 hands on a task it holds,
// or asks a busy process to give one (the process that was last handed work
// longest ago: with the heaviest branches dealt first, it is the one most
// likely still deep in a heavy branch), whose listener thread sets the
// engine's Wanted flag; the engine gives through rank 0, which forwards the
// task. The job's search is over when every worker of every process waits
// for a task and none is held: a worker sends what it gives before it asks
// again, so no task is in flight then.
//
// Threads: MPI must be initialised with MPI_THREAD_MULTIPLE. Share's
// callbacks, SendLines, SendSortedBlock and SortedPart may be called from
// any thread; the rest on the thread that made the job.
#pragma once

#include <mpi.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Chunkplanunit.h"
#include "Engineunit.h"
#include "Linemergeunit.h"

// What one process did, for --stats.
struct TProcessStats {
  double Enumeration = 0;   // seconds in the engine's run
  double Waiting = 0;       // of those, seconds waiting for branches
  double Cpu = 0;           // CPU seconds (user + sys) of the process meanwhile
  std::int64_t Results = 0; // results this process found
  std::int64_t BranchesTaken = 0;
  std::int64_t Chunks = 0;        // chunks of branches taken
  std::int64_t BranchesGiven = 0; // rank 0: branches dealt to others; else handed back unstarted
  std::int64_t SubtreesGiven = 0; // subtree tasks this process gave away
  std::int64_t SubtreesTaken = 0; // subtree tasks this process searched for others
  std::int64_t Messages = 0;      // messages sent
  std::int64_t BytesSent = 0;     // bytes of those messages
};

// Prints "bicliques-mpi: MESSAGE" on standard error and ends every process
// of the job with exit status 1.
[[noreturn]] void AbortJob(const std::string& message);

class TClusterJob {
public:
  // Collective over MPI_COMM_WORLD. Chunks dealt hold at most
  // `largestChunk` branches (0: no cap). `giveAlways`, for tests: every
  // process gives subtrees at every node it can, unasked, and rank 0 hands
  // them on, so that subtrees move on the smallest graphs.
  TClusterJob(std::int64_t largestChunk, bool giveAlways);
  ~TClusterJob();
  TClusterJob(const TClusterJob&) = delete;
  TClusterJob& operator=(const TClusterJob&) = delete;

  int Rank() const { return MyRank; }
  int Size() const { return Processes; }

  // This process's branch share (ListsRoot on rank 0 only), with subtree
  // hand-off. Throws std::runtime_error when processes report different
  // numbers of branches (their inputs differ). Borrows the job. Not rank 0:
  // starts the listener for rank 0's requests for work, which ends with
  // Done.
  TBranchShare Share();

  // Rank 0: starts the dealer, which hands lines from other processes to
  // `lines` (one call at a time, on its thread) until each process, rank 0
  // too, has called Done.
  // A failure on the dealer's thread ends the job (AbortJob).
  void StartDealer(std::function<void(std::string_view)> lines);
  // Rank 0: waits for the dealer to end.
  void JoinDealer();
  // Not rank 0: sends whole lines to rank 0's dealer.
  void SendLines(std::string_view lines);
  // This process will send no more requests or lines; waits for its
  // listener to end.
  void Done();

  // Not rank 0: hands one block of this process's sorted part to rank 0,
  // returning once rank 0 has taken it; an empty block ends the part.
  void SendSortedBlock(std::string_view block);
  // Rank 0: the sorted part of process `rank` (>= 1), block by block.
  TBlockSource SortedPart(int rank);

  // Collective: returns once every process has called it, sleeping
  // meanwhile; MPI's own collectives would spin, taking a core from a
  // process still searching on it.
  void QuietBarrier();

  TProcessStats& Stats() { return Mine; }
  // Collective: every process's stats, on rank 0 (empty elsewhere).
  std::vector<TProcessStats> GatherStats();
  // Collective: the sum of every process's `value`, on rank 0.
  std::int64_t SumOnRankZero(std::int64_t value);

private:
  int MyRank = 0;
  int Processes = 1;
  MPI_Comm Work = MPI_COMM_NULL;   // branch requests, lines, wants, gifts, steering, done
  MPI_Comm Tasks = MPI_COMM_NULL;  // tasks from rank 0, kept apart from what its dealer reads
  MPI_Comm Sorted = MPI_COMM_NULL; // sorted blocks
  std::int64_t LargestChunk;
  bool GiveAlways;
  std::mutex DealMutex;            // the plan and FedAt[0], on rank 0
  std::optional<TChunkPlan> Plan;  // made at the first request
  std::mutex SendMutex;            // the stats of sends from several threads
  std::mutex ShareMutex;           // Exhausted, and the stats of the share's calls
  bool Exhausted = false;          // this process was told no branch is left
  std::atomic<bool> Wanted{false}; // rank 0 asked this process for a task
  // Not rank 0: the request for the next chunk, sent ahead; between Next and the listener.
  std::mutex AheadMutex;
  bool Ahead = false;
  MPI_Request AheadRequest = MPI_REQUEST_NULL;
  std::int64_t AheadReply[2] = {0, 0};
  std::thread Dealer;
  std::thread Listener; // not rank 0: sets Wanted when rank 0 asks
  TProcessStats Mine;

  // Rank 0, the broker's view of each process.
  struct TBroker {
    std::vector<std::int32_t> Workers; // workers that take tasks; 0 until its first want
    std::vector<std::int32_t> Waiting; // of those, waiting for a task now
    std::vector<bool> Finished;        // sent Done
    std::vector<bool> Asked;           // asked to give, not answered yet
    std::vector<std::int64_t> FedAt;   // when it was last handed work (steady clock ticks)
    std::deque<int> Askers;            // a process per waiting worker, first come first
    std::deque<std::string> Tasks;     // given, not handed on yet
    std::deque<TBranchRange> Ranges;   // handed back unstarted, not handed on yet
    bool Over = false;                 // every worker waited with no task held
  };
  TBroker Broker;

  // Rank 0: the next chunk for a process that sees `branches` branches.
  TBranchRange Deal(std::int64_t branches, int rank);
  TBranchRange Request(std::int64_t branches);
  // Not rank 0: the next chunk, and the request for the one after.
  TBranchRange NextChunk(std::int64_t branches);
  // Not rank 0, on the listener: rank 0 asks for work.
  void OnAsk();
  void GiveTask(std::string task);
  std::optional<TTakenWork> TakeTask(std::int32_t workers);
  void Listen();
  void Serve(const std::function<void(std::string_view)>& lines);
  // Rank 0: hands held tasks to waiting workers, ends the search when it is
  // over, asks busy processes to give while workers wait.
  void Settle();
  bool Quiet(int rank) const;
  void Count(std::size_t bytes);
};
