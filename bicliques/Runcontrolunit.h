// Runcontrolunit: a run's stop request and progress reports, as the engines
// meet them in their loops.
#pragma once

#include <chrono>

#include "Engineunit.h"

class TRunControl {
public:
  // Borrows `config` for the control's life.
  explicit TRunControl(const TRunConfig& config) : Config(config) {}

  bool StopRequested() const { return Config.Stop.stop_requested(); }
  // Throws TCancelled when a stop was requested. Any thread.
  void CheckStop() const {
    if (StopRequested()) throw TCancelled();
  }
  // Passes the progress on when the last report is at least
  // Config.ProgressInterval old. Only on the thread that
  // called Run.
  void Report(TPhase phase, std::int32_t pass, std::int64_t sets, std::int64_t formatted = 0) {
    if (!Config.Progress) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - Last < Config.ProgressInterval) return;
    Last = now;
    Config.Progress(TProgress{phase, pass, sets, formatted});
  }

private:
  const TRunConfig& Config;
  std::chrono::steady_clock::time_point Last = std::chrono::steady_clock::now();
};
