// Opentextunit: what the window's Open shows in the input pane for a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Matrices of more cells than this are not shown as 0/1 text.
constexpr std::int64_t MostShownCells = 20'000'000;

// The pane text for the file `name` with content `bytes`. A matrix file (by
// its extension: .txt or unknown) is shown as it is, "\r\n" read as "\n";
// a transaction file, edge list or context is read and shown as its 0/1
// matrix. Throws TInputError (with the file's name, line and column) for a
// file its format refuses, and std::runtime_error for a matrix of more than
// MostShownCells cells, naming its size and the command line.
std::string PaneTextOfFile(std::string_view name, std::string_view bytes);
