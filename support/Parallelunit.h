// Parallelunit: the one way the system runs work on several threads. The
// calling thread is always worker 0; every helper thread is joined before a
// call returns, and the first exception thrown on any thread reaches the
// caller (the other workers see Stopping() and end early).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

// Threads to use for a request of `requested`: 0 means every core this
// process may run on (a process pinned to one core gets one thread); at
// least 1.
std::int32_t ThreadCount(std::int32_t requested);
// The machine's processors, whether or not this process may use them all.
std::int32_t MachineProcessors();

// What the workers of one parallel call share.
class TTeam {
public:
  // True once a worker has failed: the others should finish soon.
  bool Stopping() const { return Failed.load(std::memory_order_relaxed); }

private:
  friend void RunTeam(std::int32_t, const std::function<void(std::int32_t, const TTeam&)>&);
  std::atomic<bool> Failed{false};
};

// Runs body(worker, team) once on each of `threads` workers (at least 1),
// numbered 0 .. threads-1, worker 0 on the calling thread. Returns when all
// are done; rethrows the first exception. A helper thread that cannot be
// started counts as a failure of the call.
void RunTeam(std::int32_t threads, const std::function<void(std::int32_t worker, const TTeam& team)>& body);

// Same as RunTeam, and once worker 0's body has returned while others still
// run, worker 0 (the calling thread) calls watch() about every `interval`
// until they have all returned or one has failed: the place for progress
// reports of a search whose workers end at different times.
void RunTeamWatched(std::int32_t threads, std::chrono::milliseconds interval,
                    const std::function<void()>& watch,
                    const std::function<void(std::int32_t worker, const TTeam& team)>& body);

// Same as: body(worker, i) for every i in [0, count), handed out to `threads`
// workers one index at a time in ascending order. After a failure no further
// index is handed out.
void ParallelFor(std::int64_t count, std::int32_t threads,
                 const std::function<void(std::int32_t worker, std::int64_t index)>& body);
