#include "Windowtextunit.h"

#include <cstdio>

std::string JoinLines(const std::vector<std::string>& lines) {
  std::size_t total = 0;
  for (const auto& line : lines)
    total += line.size() + 1;
  std::string text;
  text.reserve(total);
  for (const auto& line : lines) {
    if (&line != &lines.front()) text += '\n';
    text += line;
  }
  return text;
}

std::string ElapsedText(std::chrono::steady_clock::duration elapsed) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(elapsed).count();
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                static_cast<long long>(ms % 1000));
  return text;
}

std::string PaneToFileText(std::string_view paneText) {
  std::string file(paneText);
  if (!file.empty()) file += '\n';
  return file;
}

std::string FileToPaneText(std::string_view fileText) {
  std::string pane;
  pane.reserve(fileText.size());
  for (std::size_t i = 0; i < fileText.size(); ++i) {
    if (fileText[i] == '\r' && i + 1 < fileText.size() && fileText[i + 1] == '\n') continue;
    pane += fileText[i];
  }
  if (!pane.empty() && pane.back() == '\n') pane.pop_back();
  return pane;
}
