// Runthreadunit: one run on a thread of its own, so that the thread that
// started it stays free to wait in short slices (and there check for an
// interrupt), take progress reports and stop the run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

#include "Engineunit.h"

class TRunThread {
public:
  using TBody = std::function<void(const TRunConfig& config)>;

  // Starts body(config) on a new thread, named "bicliques run" (as are the
  // threads it starts). The config given to the body is
  // `config` with the Stop of this run thread and a Progress that keeps the
  // last report for TakeProgress. Throws std::system_error when no thread can
  // be started.
  TRunThread(TRunConfig config, TBody body);
  // Requests a stop and waits for the thread.
  ~TRunThread();
  TRunThread(const TRunThread&) = delete;
  TRunThread& operator=(const TRunThread&) = delete;

  // Asks the body to stop (TRunConfig::Stop); returns at once.
  void RequestStop();
  std::stop_token StopToken() const { return Stopper.get_token(); }

  // Waits until the body has returned or `timeout` has passed; true when it
  // has returned.
  bool WaitFor(std::chrono::milliseconds timeout);
  // Waits until the body has returned.
  void Join();
  // Waits until the body has returned, then rethrows what it threw, if
  // anything.
  void Finish();

  // The last progress report not taken yet.
  std::optional<TProgress> TakeProgress();

private:
  std::stop_source Stopper;
  std::mutex Lock;
  std::condition_variable Ended;
  bool Done = false;
  std::exception_ptr Failure;
  std::optional<TProgress> Report;
  std::thread Thread;
};
