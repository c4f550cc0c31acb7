// bicliques-stop-latency FILE...: for each matrix file and engine, starts a
// sorted-text run, asks it to stop after a quarter, a half and a whole second,
// and prints how long the run took to end after each request (or "done" when
// it finished first). A diagnostic for the stop request's promise of about
// 100 ms.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stop_token>
#include <thread>

#include "Readerunit.h"
#include "Rununit.h"

namespace {

using TClock = std::chrono::steady_clock;

// Milliseconds from the stop request to the end of the run, or -1 when the
// run ended before the request.
double StopAfter(const TMatrix& matrix, TEngineKind engine, std::chrono::milliseconds delay) {
  std::stop_source stop;
  TRunOptions options;
  options.Engine = engine;
  options.Config.Stop = stop.get_token();
  TClock::time_point requested{};
  std::jthread stopper([&](std::stop_token finished) {
    const auto until = TClock::now() + delay;
    while (TClock::now() < until) {
      if (finished.stop_requested()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    requested = TClock::now();
    stop.request_stop();
  });
  try {
    RunMatrix(matrix, options);
    stopper.request_stop();
    stopper.join();
    return -1;
  } catch (const TCancelled&) {
    const auto ended = TClock::now();
    stopper.join();
    return std::chrono::duration<double, std::milli>(ended - requested).count();
  }
}

} // namespace

int main(int argc, char** argv) {
  std::printf("| matrix | engine | stop after 250 ms | 500 ms | 1000 ms |\n|---|---|---:|---:|---:|\n");
  for (int a = 1; a < argc; ++a) {
    const int fd = ::open(argv[a], O_RDONLY);
    if (fd < 0) continue;
    const TMatrix matrix = ReadFd(fd, FormatForPath(argv[a]));
    ::close(fd);
    for (const TEngineEntry& entry : Engines()) {
      const TEngineKind engine = entry.Kind;
      std::printf("| %s | %s", argv[a], entry.Name.data());
      for (const int delay : {250, 500, 1000}) {
        const double ms = StopAfter(matrix, engine, std::chrono::milliseconds(delay));
        if (ms < 0) {
          std::printf(" | done");
        } else {
          std::printf(" | %.1f ms", ms);
        }
        std::fflush(stdout);
      }
      std::printf(" |\n");
    }
  }
}
