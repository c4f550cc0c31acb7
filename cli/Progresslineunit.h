// Progresslineunit: the progress line of the command on standard error, for
// runs that take a while: one line rewritten in place a few times a second,
// erased when the run ends, and before any message, however the run ends.
#pragma once

#include <chrono>

#include "Engineunit.h"

class TProgressLine {
public:
  // Shows nothing unless `enabled` (standard error is a terminal and the user
  // did not ask for quiet).
  explicit TProgressLine(bool enabled);
  // Erases the line, so that a message after an early end starts on a clean
  // line.
  ~TProgressLine();
  TProgressLine(const TProgressLine&) = delete;
  TProgressLine& operator=(const TProgressLine&) = delete;
  // Rewrites the line, once the run has gone on for a second.
  void Show(const TProgress& progress);
  // Removes the line if it was shown.
  void Erase();

private:
  bool Enabled;
  bool Shown = false;
  std::chrono::steady_clock::time_point Start;
};
