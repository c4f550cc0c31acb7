#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Parallelunit.h"

#if defined(__linux__)
#include <sched.h>
#endif

#if defined(__linux__)
// Every processor means those the thread may run on: held to one or two of
// them (as taskset holds a process), it gets one or two threads. Each case
// runs on a thread of its own, so the test's own mask stays as it was.
TEST(ThreadCount, EveryProcessorMeansThoseTheThreadMayRunOn) {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  ASSERT_EQ(sched_getaffinity(0, sizeof(allowed), &allowed), 0);
  std::vector<int> processors;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &allowed)) processors.push_back(cpu);
  }
  ASSERT_FALSE(processors.empty());
  EXPECT_EQ(ThreadCount(0), static_cast<std::int32_t>(processors.size()));
  for (std::size_t held = 1; held <= std::min<std::size_t>(2, processors.size()); ++held) {
    std::int32_t counted = 0;
    std::thread([&] {
      cpu_set_t some;
      CPU_ZERO(&some);
      for (std::size_t k = 0; k < held; ++k)
        CPU_SET(processors[k], &some);
      if (sched_setaffinity(0, sizeof(some), &some) == 0) counted = ThreadCount(0);
    }).join();
    EXPECT_EQ(counted, static_cast<std::int32_t>(held));
  }
  // A request of its own is kept as it is.
  EXPECT_EQ(ThreadCount(3), 3);
}
#endif

TEST(RunTeam, EveryWorkerRunsOnceAndWorkerZeroIsTheCaller) {
  for (const std::int32_t threads : {1, 2, 5}) {
    std::vector<std::atomic<int>> runs(static_cast<std::size_t>(threads));
    std::thread::id first;
    RunTeam(threads, [&](std::int32_t worker, const TTeam&) {
      ++runs[static_cast<std::size_t>(worker)];
      if (worker == 0) first = std::this_thread::get_id();
    });
    for (const auto& count : runs)
      EXPECT_EQ(count.load(), 1);
    EXPECT_EQ(first, std::this_thread::get_id());
  }
}

// The first failure on any thread reaches the caller, after every worker has
// ended; the others see Stopping() and end early.
TEST(RunTeam, AFailureOnAHelperThreadReachesTheCaller) {
  std::atomic<bool> otherStopped{false};
  EXPECT_THROW(RunTeam(2,
                       [&](std::int32_t worker, const TTeam& team) {
                         if (worker == 1) throw std::bad_alloc();
                         while (!team.Stopping())
                           std::this_thread::yield();
                         otherStopped = true;
                       }),
               std::bad_alloc);
  EXPECT_TRUE(otherStopped);
}

TEST(RunTeamWatched, WorkerZeroWatchesOnTheCallingThreadUntilTheOthersEnd) {
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> othersDone{false};
  std::atomic<std::int32_t> watches{0};
  std::atomic<std::int32_t> watchesAfterEnd{0};
  RunTeamWatched(
      3, std::chrono::milliseconds(5),
      [&] {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        ++watches;
        if (othersDone) ++watchesAfterEnd;
      },
      [&](std::int32_t worker, const TTeam&) {
        if (worker == 0) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(worker == 2 ? 150 : 10));
        if (worker == 2) othersDone = true;
      });
  EXPECT_GE(watches.load(), 3);         // worker 0 kept watching while worker 2 slept
  EXPECT_LE(watchesAfterEnd.load(), 1); // and stopped once it had ended
}

TEST(RunTeamWatched, AFailureOnAHelperReachesTheCallerAfterTheWatch) {
  std::atomic<std::int32_t> watches{0};
  EXPECT_THROW(RunTeamWatched(
                   2, std::chrono::milliseconds(5), [&] { ++watches; },
                   [&](std::int32_t worker, const TTeam&) {
                     if (worker == 0) return;
                     std::this_thread::sleep_for(std::chrono::milliseconds(30));
                     throw std::runtime_error("helper failed");
                   }),
               std::runtime_error);
  EXPECT_GE(watches.load(), 1);
}

TEST(ParallelFor, VisitsEveryIndexOnceAndStopsHandingOutAfterAFailure) {
  std::vector<std::atomic<int>> seen(1000);
  ParallelFor(1000, 3, [&](std::int32_t, std::int64_t i) { ++seen[static_cast<std::size_t>(i)]; });
  for (const auto& count : seen)
    EXPECT_EQ(count.load(), 1);

  std::atomic<std::int64_t> after{0};
  EXPECT_THROW(ParallelFor(100000, 2,
                           [&](std::int32_t, std::int64_t i) {
                             if (i == 10) throw std::runtime_error("index 10");
                             // Slow enough that the failure is seen long before the end.
                             std::this_thread::sleep_for(std::chrono::microseconds(20));
                             if (i > 5000) ++after;
                           }),
               std::runtime_error);
  EXPECT_LT(after.load(), 100000 - 5001);
}
