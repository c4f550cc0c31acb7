// Opentextunit: what the window's Open shows in the input pane for a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Labelsunit.h"
#include "Matrixunit.h"

// Matrices of more cells than this are not shown as 0/1 text.
constexpr std::int64_t MostShownCells = 20'000'000;
// Files of more bytes than this are not read for the window.
constexpr std::int64_t MostOpenedBytes = std::int64_t{256} << 20;

// What Open puts into the input pane.
struct TOpenedText {
  std::string Text;         // the pane text: the 0/1 matrix, rows joined by "\n"
  std::int32_t Sources = 0; // rows and columns of the matrix; 0 when Fault is set
  std::int32_t Targets = 0;
  TVertexLabels Labels;             // the vertices' own labels, when the file has them
  std::optional<TInputError> Fault; // a matrix file's first fault; the text is shown as it is
};

// The pane text for the file `name` with content `bytes`. A matrix file (by
// its extension: .txt or unknown) is shown as it is, "\r\n" read as "\n",
// and checked: its first fault (line, column and message, the message
// starting with the file's name) comes in Fault. A transaction file, edge
// list or context is read and shown as its 0/1 matrix, with the labels it
// gives its vertices. Throws TInputError (with the file's name, line and
// column) for a file of another format that its reader refuses, and
// std::runtime_error for a matrix of more than MostShownCells cells, naming
// its size and the command line.
TOpenedText PaneTextOfFile(std::string_view name, std::string_view bytes);

// The message for a file of `bytes` bytes, more than MostOpenedBytes.
std::string TooLargeToOpen(std::string_view name, std::int64_t bytes);
