#include "Clusterjobunit.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

enum TTag : int {
  Request = 1,
  Range = 2,
  Lines = 3,
  Done = 4,
  Block = 5,
  Want = 6,
  Task = 7,
  Gift = 8,
  Steer = 9,
  Return = 10
};

// The first byte of what a waiting worker is handed: a task, or branches
// (two int64); nothing at all ends its search.
constexpr char TaskWork = 'T';
constexpr char BranchWork = 'B';

// Steer messages: rank 0 asks a process to give a task, or ends its listener.
constexpr int AskToGive = 1;
constexpr int StopListening = 0;

// A waiting process sleeps between looks at its messages, from this short
// pause doubling up to the longest: a reply comes within a fraction of a
// millisecond, and the sleeper's core goes to its search threads.
constexpr std::chrono::microseconds ShortestPause{5};
constexpr std::chrono::microseconds LongestPause{200};
// A listener for rank 0's rare requests for work sleeps longer.
constexpr std::chrono::microseconds LongestListenerPause{1000};

class TBackoff {
public:
  explicit TBackoff(std::chrono::microseconds longest = LongestPause) : Longest(longest) {}
  void Pause() {
    std::this_thread::sleep_for(Next);
    Next = std::min(Next * 2, Longest);
  }

private:
  std::chrono::microseconds Longest;
  std::chrono::microseconds Next = ShortestPause;
};

void Await(MPI_Request& request) {
  TBackoff backoff;
  for (;;) {
    int done = 0;
    MPI_Test(&request, &done, MPI_STATUS_IGNORE);
    if (done != 0) return;
    backoff.Pause();
  }
}

// Waits for a message from `source` (or MPI_ANY_SOURCE) with `tag` (or
// MPI_ANY_TAG) on `comm`.
MPI_Status Probe(int source, int tag, MPI_Comm comm, std::chrono::microseconds longest = LongestPause) {
  TBackoff backoff(longest);
  for (;;) {
    int found = 0;
    MPI_Status status;
    MPI_Iprobe(source, tag, comm, &found, &status);
    if (found != 0) return status;
    backoff.Pause();
  }
}

// The bytes of the message `status` announced, received into `buffer`.
void ReceiveBytes(const MPI_Status& status, MPI_Comm comm, std::string& buffer) {
  int count = 0;
  MPI_Get_count(&status, MPI_CHAR, &count);
  buffer.resize(static_cast<std::size_t>(count));
  MPI_Recv(buffer.data(), count, MPI_CHAR, status.MPI_SOURCE, status.MPI_TAG, comm, MPI_STATUS_IGNORE);
}

// Receives the next message from `source` with `tag` on `comm` into
// `buffer`, sleeping while there is none; other threads may wait for the
// same kind of message at once.
void ReceiveMatched(int source, int tag, MPI_Comm comm, std::string& buffer) {
  TBackoff backoff;
  for (;;) {
    int found = 0;
    MPI_Message message;
    MPI_Status status;
    MPI_Improbe(source, tag, comm, &found, &message, &status);
    if (found != 0) {
      int count = 0;
      MPI_Get_count(&status, MPI_CHAR, &count);
      buffer.resize(static_cast<std::size_t>(count));
      MPI_Mrecv(buffer.data(), count, MPI_CHAR, &message, MPI_STATUS_IGNORE);
      return;
    }
    backoff.Pause();
  }
}

std::int64_t Now() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

} // namespace

void AbortJob(const std::string& message) {
  std::fprintf(stderr, "bicliques-mpi: %s\n", message.c_str());
  std::fflush(stderr);
  MPI_Abort(MPI_COMM_WORLD, 1);
  std::_Exit(1);
}

TClusterJob::TClusterJob(std::int64_t largestChunk, bool giveAlways)
    : LargestChunk(largestChunk), GiveAlways(giveAlways) {
  MPI_Comm_rank(MPI_COMM_WORLD, &MyRank);
  MPI_Comm_size(MPI_COMM_WORLD, &Processes);
  MPI_Comm_dup(MPI_COMM_WORLD, &Work);
  MPI_Comm_dup(MPI_COMM_WORLD, &Tasks);
  MPI_Comm_dup(MPI_COMM_WORLD, &Sorted);
  const auto processes = static_cast<std::size_t>(Processes);
  if (MyRank == 0) {
    Broker.Workers.assign(processes, 0);
    Broker.Waiting.assign(processes, 0);
    Broker.Finished.assign(processes, false);
    Broker.Asked.assign(processes, false);
    Broker.FedAt.assign(processes, Now());
  }
}

TClusterJob::~TClusterJob() {
  if (Dealer.joinable()) Dealer.join();
  if (Listener.joinable()) Listener.join();
  MPI_Comm_free(&Sorted);
  MPI_Comm_free(&Tasks);
  MPI_Comm_free(&Work);
}

void TClusterJob::Count(std::size_t bytes) {
  const std::lock_guard lock(SendMutex);
  ++Mine.Messages;
  Mine.BytesSent += static_cast<std::int64_t>(bytes);
}

TBranchRange TClusterJob::Deal(std::int64_t branches, int rank) {
  const std::lock_guard lock(DealMutex);
  if (!Plan) Plan.emplace(branches, Processes, LargestChunk);
  if (Plan->Branches() != branches)
    throw std::runtime_error("the processes found " + std::to_string(Plan->Branches()) + " and " +
                             std::to_string(branches) + " root branches: their inputs or options differ");
  const TBranchRange range = Plan->Next();
  if (range.First < range.Last) Broker.FedAt[static_cast<std::size_t>(rank)] = Now();
  if (rank != 0) Mine.BranchesGiven += range.Last - range.First;
  return range;
}

TBranchRange TClusterJob::Request(std::int64_t branches) {
  MPI_Send(&branches, 1, MPI_INT64_T, 0, TTag::Request, Work);
  Count(sizeof branches);
  std::int64_t reply[2] = {0, 0};
  MPI_Request request;
  MPI_Irecv(reply, 2, MPI_INT64_T, 0, TTag::Range, Work, &request);
  Await(request);
  return {reply[0], reply[1]};
}

TBranchShare TClusterJob::Share() {
  TBranchShare share;
  share.ListsRoot = MyRank == 0;
  share.Next = [this](std::int64_t branches) {
    if (Exhausted) return TBranchRange{};
    const auto start = std::chrono::steady_clock::now();
    const TBranchRange range = MyRank == 0 ? Deal(branches, 0) : NextChunk(branches);
    const std::lock_guard lock(ShareMutex);
    Mine.Waiting += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (range.First == range.Last) {
      Exhausted = true;
    } else {
      ++Mine.Chunks;
      Mine.BranchesTaken += range.Last - range.First;
    }
    return range;
  };
  share.Wanted = &Wanted;
  share.Give = [this](std::string task) { GiveTask(std::move(task)); };
  share.Take = [this](std::int32_t workers) { return TakeTask(workers); };
  if (GiveAlways) {
    Wanted.store(true);
    share.LookEvery = 1;
    share.SplitSmall = true;
  }
  if (MyRank != 0) Listener = std::thread([this] { Listen(); });
  return share;
}

TBranchRange TClusterJob::NextChunk(std::int64_t branches) {
  const std::lock_guard lock(AheadMutex);
  TBranchRange range;
  if (Ahead) {
    Await(AheadRequest);
    Ahead = false;
    range = {AheadReply[0], AheadReply[1]};
  } else {
    range = Request(branches);
  }
  if (range.First < range.Last && !GiveAlways) {
    MPI_Send(&branches, 1, MPI_INT64_T, 0, TTag::Request, Work);
    Count(sizeof branches);
    MPI_Irecv(AheadReply, 2, MPI_INT64_T, 0, TTag::Range, Work, &AheadRequest);
    Ahead = true;
  }
  return range;
}

// A chunk handed back goes out under AheadMutex, so rank 0 has it before
// any want of this process that could make the process look idle: a worker
// waits for a task only after a Next that ran after the chunk went back.
void TClusterJob::OnAsk() {
  {
    const std::lock_guard lock(AheadMutex);
    int done = 0;
    if (Ahead) MPI_Test(&AheadRequest, &done, MPI_STATUS_IGNORE);
    if (done != 0) {
      Ahead = false;
      if (AheadReply[0] < AheadReply[1]) {
        MPI_Send(AheadReply, 2, MPI_INT64_T, 0, TTag::Return, Work);
        Count(sizeof AheadReply);
        const std::lock_guard hold(ShareMutex);
        Mine.BranchesGiven += AheadReply[1] - AheadReply[0];
        return;
      }
    }
  }
  Wanted.store(true);
}

void TClusterJob::GiveTask(std::string task) {
  MPI_Send(task.data(), static_cast<int>(task.size()), MPI_CHAR, 0, TTag::Gift, Work);
  Count(task.size());
  {
    const std::lock_guard lock(ShareMutex);
    ++Mine.SubtreesGiven;
  }
  if (GiveAlways) Wanted.store(true);
}

std::optional<TTakenWork> TClusterJob::TakeTask(std::int32_t workers) {
  const auto start = std::chrono::steady_clock::now();
  // Rank 0 waits for an answer to its request: this worker has nothing to give.
  if (!GiveAlways && Wanted.exchange(false)) {
    MPI_Send(nullptr, 0, MPI_CHAR, 0, TTag::Gift, Work);
    Count(0);
  }
  MPI_Send(&workers, 1, MPI_INT32_T, 0, TTag::Want, Work);
  Count(sizeof workers);
  std::string bytes;
  ReceiveMatched(0, TTag::Task, Tasks, bytes);
  const std::lock_guard lock(ShareMutex);
  Mine.Waiting += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (bytes.empty()) return std::nullopt;
  TTakenWork work;
  if (bytes[0] == BranchWork && bytes.size() == 1 + 2 * sizeof(std::int64_t)) {
    std::memcpy(&work.Branches.First, bytes.data() + 1, sizeof(std::int64_t));
    std::memcpy(&work.Branches.Last, bytes.data() + 1 + sizeof(std::int64_t), sizeof(std::int64_t));
    ++Mine.Chunks;
    Mine.BranchesTaken += work.Branches.Last - work.Branches.First;
  } else if (bytes[0] == TaskWork) {
    work.Task = bytes.substr(1);
    ++Mine.SubtreesTaken;
  } else {
    throw std::logic_error("unexpected work from rank 0");
  }
  return work;
}

void TClusterJob::Listen() {
  for (;;) {
    const MPI_Status status = Probe(0, TTag::Steer, Work, LongestListenerPause);
    int steer = StopListening;
    MPI_Recv(&steer, 1, MPI_INT, status.MPI_SOURCE, TTag::Steer, Work, MPI_STATUS_IGNORE);
    if (steer == StopListening) return;
    OnAsk();
  }
}

bool TClusterJob::Quiet(int rank) const {
  const auto r = static_cast<std::size_t>(rank);
  return Broker.Finished[r] || (Broker.Workers[r] > 0 && Broker.Waiting[r] == Broker.Workers[r]);
}

void TClusterJob::Settle() {
  for (;;) {
    while (!Broker.Askers.empty() && (Broker.Over || !Broker.Tasks.empty() || !Broker.Ranges.empty())) {
      const int rank = Broker.Askers.front();
      Broker.Askers.pop_front();
      --Broker.Waiting[static_cast<std::size_t>(rank)];
      // Whole branches first: they are the larger, and the taker rebuilds nothing.
      std::string work;
      if (!Broker.Ranges.empty()) {
        const TBranchRange range = Broker.Ranges.front();
        Broker.Ranges.pop_front();
        work.assign(1 + 2 * sizeof(std::int64_t), BranchWork);
        std::memcpy(work.data() + 1, &range.First, sizeof(std::int64_t));
        std::memcpy(work.data() + 1 + sizeof(std::int64_t), &range.Last, sizeof(std::int64_t));
      } else if (!Broker.Over) {
        work = TaskWork + Broker.Tasks.front();
        Broker.Tasks.pop_front();
      }
      if (!work.empty()) {
        const std::lock_guard lock(DealMutex);
        Broker.FedAt[static_cast<std::size_t>(rank)] = Now();
      }
      MPI_Send(work.data(), static_cast<int>(work.size()), MPI_CHAR, rank, TTag::Task, Tasks);
      Count(work.size());
    }
    if (Broker.Askers.empty() || Broker.Over) return;
    bool quiet = true;
    for (int rank = 0; rank < Processes; ++rank)
      quiet = quiet && Quiet(rank);
    if (!quiet) break;
    Broker.Over = true;
  }
  if (GiveAlways) return;
  // A quiet process will not answer: its workers all wait.
  std::size_t asked = 0;
  for (int rank = 0; rank < Processes; ++rank) {
    if (Quiet(rank)) Broker.Asked[static_cast<std::size_t>(rank)] = false;
    if (Broker.Asked[static_cast<std::size_t>(rank)]) ++asked;
  }
  for (; asked < Broker.Askers.size(); ++asked) {
    int victim = -1;
    {
      const std::lock_guard lock(DealMutex);
      for (int rank = 0; rank < Processes; ++rank) {
        const auto r = static_cast<std::size_t>(rank);
        if (!Quiet(rank) && !Broker.Asked[r] &&
            (victim < 0 || Broker.FedAt[r] < Broker.FedAt[static_cast<std::size_t>(victim)]))
          victim = rank;
      }
    }
    if (victim < 0) return;
    Broker.Asked[static_cast<std::size_t>(victim)] = true;
    if (victim == 0) {
      Wanted.store(true);
    } else {
      MPI_Send(&AskToGive, 1, MPI_INT, victim, TTag::Steer, Work);
      Count(sizeof AskToGive);
    }
  }
}

void TClusterJob::Serve(const std::function<void(std::string_view)>& lines) {
  std::string buffer;
  for (int done = 0; done < Processes;) {
    const MPI_Status status = Probe(MPI_ANY_SOURCE, MPI_ANY_TAG, Work);
    switch (status.MPI_TAG) {
    case TTag::Request: {
      std::int64_t branches = 0;
      MPI_Recv(&branches, 1, MPI_INT64_T, status.MPI_SOURCE, TTag::Request, Work, MPI_STATUS_IGNORE);
      const TBranchRange range = Deal(branches, status.MPI_SOURCE);
      const std::int64_t reply[2] = {range.First, range.Last};
      MPI_Send(reply, 2, MPI_INT64_T, status.MPI_SOURCE, TTag::Range, Work);
      Count(sizeof reply);
      break;
    }
    case TTag::Lines:
      ReceiveBytes(status, Work, buffer);
      lines(buffer);
      break;
    case TTag::Want: {
      std::int32_t workers = 0;
      MPI_Recv(&workers, 1, MPI_INT32_T, status.MPI_SOURCE, TTag::Want, Work, MPI_STATUS_IGNORE);
      const auto rank = static_cast<std::size_t>(status.MPI_SOURCE);
      Broker.Workers[rank] = workers;
      ++Broker.Waiting[rank];
      Broker.Askers.push_back(status.MPI_SOURCE);
      break;
    }
    case TTag::Return: {
      std::int64_t range[2] = {0, 0};
      MPI_Recv(range, 2, MPI_INT64_T, status.MPI_SOURCE, TTag::Return, Work, MPI_STATUS_IGNORE);
      Broker.Asked[static_cast<std::size_t>(status.MPI_SOURCE)] = false;
      Broker.Ranges.push_back({range[0], range[1]});
      break;
    }
    case TTag::Gift:
      ReceiveBytes(status, Work, buffer);
      Broker.Asked[static_cast<std::size_t>(status.MPI_SOURCE)] = false;
      if (!buffer.empty()) Broker.Tasks.push_back(std::move(buffer));
      break;
    case TTag::Done:
      ReceiveBytes(status, Work, buffer);
      Broker.Finished[static_cast<std::size_t>(status.MPI_SOURCE)] = true;
      if (status.MPI_SOURCE != 0) {
        MPI_Send(&StopListening, 1, MPI_INT, status.MPI_SOURCE, TTag::Steer, Work);
        Count(sizeof StopListening);
      }
      ++done;
      break;
    default:
      throw std::logic_error("unexpected message tag " + std::to_string(status.MPI_TAG));
    }
    Settle();
  }
}

void TClusterJob::StartDealer(std::function<void(std::string_view)> lines) {
  Dealer = std::thread([this, lines = std::move(lines)] {
    try {
      Serve(lines);
    } catch (const std::bad_alloc&) {
      AbortJob("out of memory on process 0");
    } catch (const std::exception& error) {
      AbortJob(error.what());
    }
  });
}

void TClusterJob::JoinDealer() {
  if (Dealer.joinable()) Dealer.join();
}

void TClusterJob::SendLines(std::string_view lines) {
  MPI_Send(lines.data(), static_cast<int>(lines.size()), MPI_CHAR, 0, TTag::Lines, Work);
  Count(lines.size());
}

void TClusterJob::Done() {
  MPI_Send(nullptr, 0, MPI_CHAR, 0, TTag::Done, Work);
  Count(0);
  if (Listener.joinable()) Listener.join();
}

void TClusterJob::SendSortedBlock(std::string_view block) {
  MPI_Request request;
  MPI_Issend(block.data(), static_cast<int>(block.size()), MPI_CHAR, 0, TTag::Block, Sorted, &request);
  Await(request);
  Count(block.size());
}

TBlockSource TClusterJob::SortedPart(int rank) {
  return [this, rank](std::string& block) {
    const MPI_Status status = Probe(rank, TTag::Block, Sorted);
    ReceiveBytes(status, Sorted, block);
    return !block.empty();
  };
}

void TClusterJob::QuietBarrier() {
  MPI_Request request;
  MPI_Ibarrier(MPI_COMM_WORLD, &request);
  Await(request);
}

std::vector<TProcessStats> TClusterJob::GatherStats() {
  std::vector<TProcessStats> all(MyRank == 0 ? static_cast<std::size_t>(Processes) : 0);
  MPI_Gather(&Mine, sizeof(TProcessStats), MPI_BYTE, all.data(), sizeof(TProcessStats), MPI_BYTE, 0,
             MPI_COMM_WORLD);
  return all;
}

std::int64_t TClusterJob::SumOnRankZero(std::int64_t value) {
  std::int64_t sum = 0;
  MPI_Reduce(&value, &sum, 1, MPI_INT64_T, MPI_SUM, 0, MPI_COMM_WORLD);
  return sum;
}
