#include "Parallelunit.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <sched.h>
#include <thread>
#include <vector>

std::int32_t ThreadCount(std::int32_t requested) {
  if (requested > 0) return requested;
  // A second thread on a core already taken only costs its start and its
  // share of the work's bookkeeping.
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) return std::max(1, CPU_COUNT(&allowed));
  return MachineProcessors();
}

std::int32_t MachineProcessors() {
  return static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
}

void RunTeam(std::int32_t threads, const std::function<void(std::int32_t, const TTeam&)>& body) {
  TTeam team;
  std::exception_ptr failure;
  std::mutex failureLock;
  auto fail = [&](std::exception_ptr error) {
    const std::lock_guard<std::mutex> hold(failureLock);
    if (!failure) failure = error;
    team.Failed.store(true, std::memory_order_relaxed);
  };
  auto work = [&](std::int32_t worker) {
    try {
      body(worker, team);
    } catch (...) {
      fail(std::current_exception());
    }
  };
  std::vector<std::thread> helpers;
  try {
    helpers.reserve(static_cast<std::size_t>(std::max(0, threads - 1)));
    for (std::int32_t t = 1; t < threads; ++t)
      helpers.emplace_back(work, t);
  } catch (...) {
    fail(std::current_exception());
  }
  work(0);
  for (auto& helper : helpers)
    helper.join();
  if (failure) std::rethrow_exception(failure);
}

void RunTeamWatched(std::int32_t threads, std::chrono::milliseconds interval,
                    const std::function<void()>& watch,
                    const std::function<void(std::int32_t, const TTeam&)>& body) {
  std::mutex doneLock;
  std::condition_variable doneWake;
  std::int32_t running = threads;
  const auto finished = [&] {
    const std::lock_guard hold(doneLock);
    --running;
    doneWake.notify_all();
  };
  RunTeam(threads, [&](std::int32_t worker, const TTeam& team) {
    try {
      body(worker, team);
    } catch (...) {
      finished();
      throw;
    }
    finished();
    if (worker != 0) return;
    std::unique_lock hold(doneLock);
    while (running > 0 && !team.Stopping()) {
      doneWake.wait_for(hold, interval);
      hold.unlock();
      watch();
      hold.lock();
    }
  });
}

void ParallelFor(std::int64_t count, std::int32_t threads,
                 const std::function<void(std::int32_t, std::int64_t)>& body) {
  assert(count >= 0);
  std::atomic<std::int64_t> next{0};
  const auto workers = static_cast<std::int32_t>(std::clamp<std::int64_t>(count, 1, std::max(1, threads)));
  RunTeam(workers, [&](std::int32_t worker, const TTeam& team) {
    for (std::int64_t i = next++; i < count && !team.Stopping(); i = next++)
      body(worker, i);
  });
}
