#include "Runthreadunit.h"

#include <pthread.h>

namespace {

constexpr const char* ThreadName = "bicliques run";

} // namespace

TRunThread::TRunThread(TRunConfig config, TBody body) {
  config.Stop = Stopper.get_token();
  config.Progress = [this](const TProgress& progress) {
    const std::lock_guard<std::mutex> hold(Lock);
    Report = progress;
  };
  Thread = std::thread([this, config = std::move(config), body = std::move(body)] {
    // Named for tools that list threads, before it starts the run's helper
    // threads, which inherit the name.
    ::pthread_setname_np(::pthread_self(), ThreadName);
    std::exception_ptr failure;
    try {
      body(config);
    } catch (...) {
      failure = std::current_exception();
    }
    const std::lock_guard<std::mutex> hold(Lock);
    Failure = failure;
    Done = true;
    Ended.notify_all();
  });
  // Also from here: the name shows as soon as the constructor returns.
  ::pthread_setname_np(Thread.native_handle(), ThreadName);
}

TRunThread::~TRunThread() {
  RequestStop();
  if (Thread.joinable()) Thread.join();
}

void TRunThread::RequestStop() { Stopper.request_stop(); }

bool TRunThread::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> hold(Lock);
  return Ended.wait_for(hold, timeout, [this] { return Done; });
}

void TRunThread::Join() {
  if (Thread.joinable()) Thread.join();
}

void TRunThread::Finish() {
  Join();
  if (Failure) std::rethrow_exception(Failure);
}

std::optional<TProgress> TRunThread::TakeProgress() {
  const std::lock_guard<std::mutex> hold(Lock);
  std::optional<TProgress> report = Report;
  Report.reset();
  return report;
}
