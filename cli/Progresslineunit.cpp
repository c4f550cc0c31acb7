#include "Progresslineunit.h"

#include <cstdio>
#include <string>

#include "Messagesunit.h"

namespace {

// A run that ends within this time shows no line at all.
constexpr std::chrono::seconds Quiet{1};

} // namespace

TProgressLine::TProgressLine(bool enabled) : Enabled(enabled), Start(std::chrono::steady_clock::now()) {}

TProgressLine::~TProgressLine() { Erase(); }

void TProgressLine::Show(const TProgress& progress) {
  const auto elapsed = std::chrono::steady_clock::now() - Start;
  if (!Enabled || elapsed < Quiet) return;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
  std::string text = progress.Phase == TPhase::Formatting ? "sorting " : "enumerating: ";
  text += GroupThousands(progress.Sets) + " bicliques";
  if (progress.Pass > 0) text += ", pass " + std::to_string(progress.Pass);
  char clock[32];
  std::snprintf(clock, sizeof clock, ", %lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  text += clock;
  // Back to the start of the line, the text, then clear what an older, longer text left.
  std::fprintf(stderr, "\r%s\x1b[K", text.c_str());
  std::fflush(stderr);
  Shown = true;
}

void TProgressLine::Erase() {
  if (!Shown) return;
  std::fprintf(stderr, "\r\x1b[K");
  std::fflush(stderr);
  Shown = false;
}
