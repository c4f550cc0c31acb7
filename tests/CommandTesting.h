// Helpers for the tests that run a command as a process: its outcome, and
// files written and read whole.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// How a command ended: its exit status (-1 when a signal ended it) and what
// it wrote to standard output and standard error.
struct TOutcome {
  int Status;
  std::string Out;
  std::string Err;
};

inline std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void Spit(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}
