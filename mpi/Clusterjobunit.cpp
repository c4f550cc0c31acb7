#include "Clusterjobunit.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace {

enum TTag : int { Request = 1, Range = 2, Lines = 3, Done = 4, Block = 5 };

// A waiting process sleeps between looks at its messages, from this short
// pause doubling up to the longest: a reply comes within a fraction of a
// millisecond, and the sleeper's core goes to its search threads.
constexpr std::chrono::microseconds ShortestPause{5};
constexpr std::chrono::microseconds LongestPause{200};

class TBackoff {
public:
  void Pause() {
    std::this_thread::sleep_for(Next);
    Next = std::min(Next * 2, LongestPause);
  }
  void Reset() { Next = ShortestPause; }

private:
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
MPI_Status Probe(int source, int tag, MPI_Comm comm) {
  TBackoff backoff;
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

} // namespace

void AbortJob(const std::string& message) {
  std::fprintf(stderr, "bicliques-mpi: %s\n", message.c_str());
  std::fflush(stderr);
  MPI_Abort(MPI_COMM_WORLD, 1);
  std::_Exit(1);
}

TClusterJob::TClusterJob(std::int64_t largestChunk) : LargestChunk(largestChunk) {
  MPI_Comm_rank(MPI_COMM_WORLD, &MyRank);
  MPI_Comm_size(MPI_COMM_WORLD, &Processes);
  MPI_Comm_dup(MPI_COMM_WORLD, &Work);
  MPI_Comm_dup(MPI_COMM_WORLD, &Sorted);
}

TClusterJob::~TClusterJob() {
  if (Dealer.joinable()) Dealer.join();
  MPI_Comm_free(&Sorted);
  MPI_Comm_free(&Work);
}

void TClusterJob::Count(std::size_t bytes) {
  const std::lock_guard lock(SendMutex);
  ++Mine.Messages;
  Mine.BytesSent += static_cast<std::int64_t>(bytes);
}

TBranchRange TClusterJob::Deal(std::int64_t branches, bool local) {
  const std::lock_guard lock(DealMutex);
  if (!Plan) Plan.emplace(branches, Processes, LargestChunk);
  if (Plan->Branches() != branches)
    throw std::runtime_error("the processes found " + std::to_string(Plan->Branches()) + " and " +
                             std::to_string(branches) + " root branches: their inputs or options differ");
  const TBranchRange range = Plan->Next();
  if (!local) Mine.BranchesGiven += range.Last - range.First;
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
    const TBranchRange range = MyRank == 0 ? Deal(branches, true) : Request(branches);
    Mine.Waiting += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (range.First == range.Last) {
      Exhausted = true;
    } else {
      ++Mine.Chunks;
      Mine.BranchesTaken += range.Last - range.First;
    }
    return range;
  };
  return share;
}

void TClusterJob::Serve(const std::function<void(std::string_view)>& lines) {
  std::string buffer;
  for (int done = 0; done < Processes - 1;) {
    const MPI_Status status = Probe(MPI_ANY_SOURCE, MPI_ANY_TAG, Work);
    switch (status.MPI_TAG) {
    case TTag::Request: {
      std::int64_t branches = 0;
      MPI_Recv(&branches, 1, MPI_INT64_T, status.MPI_SOURCE, TTag::Request, Work, MPI_STATUS_IGNORE);
      const TBranchRange range = Deal(branches, false);
      const std::int64_t reply[2] = {range.First, range.Last};
      MPI_Send(reply, 2, MPI_INT64_T, status.MPI_SOURCE, TTag::Range, Work);
      Count(sizeof reply);
      break;
    }
    case TTag::Lines:
      ReceiveBytes(status, Work, buffer);
      lines(buffer);
      break;
    case TTag::Done:
      ReceiveBytes(status, Work, buffer);
      ++done;
      break;
    default:
      throw std::logic_error("unexpected message tag " + std::to_string(status.MPI_TAG));
    }
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
