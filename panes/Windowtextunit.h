// Windowtextunit: the texts the window shows and stores, without Qt: pane text
// from lines, the run time read-out, and pane text to and from file content.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

// The lines joined by "\n", no break after the last: a pane's whole text.
std::string JoinLines(const std::vector<std::string>& lines);

// "H:MM:SS.mmm", hours not wrapped at 24, milliseconds truncated; for example
// "0:00:00.042". Pre: elapsed >= 0.
std::string ElapsedText(std::chrono::steady_clock::duration elapsed);

// File content for a pane's text: every line ends in "\n"; an empty pane gives
// an empty file.
std::string PaneToFileText(std::string_view paneText);

// A pane's text for file content: "\r\n" read as "\n", and the break after the
// last line dropped. Inverse of PaneToFileText.
std::string FileToPaneText(std::string_view fileText);
