#include "Opentextunit.h"

#include <algorithm>
#include <stdexcept>

#include "Matrixtextunit.h"
#include "Readerunit.h"
#include "Windowtextunit.h"

namespace {

[[noreturn]] void RefuseCells(std::string_view name, const std::string& size, std::int64_t cells) {
  throw std::runtime_error(std::string(name) + " has " + size + ", " + std::to_string(cells) +
                           " cells: too many to show as a matrix here (at most " +
                           std::to_string(MostShownCells) + "). The command line handles it: bicliques " +
                           std::string(name));
}

TInputError Named(std::string_view name, const TInputError& error) {
  return TInputError(error.Line, error.Column, std::string(name) + ": " + error.what());
}

} // namespace

TOpenedText PaneTextOfFile(std::string_view name, std::string_view bytes) {
  TOpenedText opened;
  const TFormat format = FormatForPath(name);
  if (format == TFormat::Matrix) {
    opened.Text = FileToPaneText(bytes);
    // Every character but the breaks is a cell, whether the lines agree or not.
    const auto lines =
        opened.Text.empty()
            ? std::int64_t{0}
            : 1 + static_cast<std::int64_t>(std::count(opened.Text.begin(), opened.Text.end(), '\n'));
    const std::int64_t cells =
        static_cast<std::int64_t>(opened.Text.size()) - std::max<std::int64_t>(0, lines - 1);
    if (cells > MostShownCells) {
      const std::size_t width = opened.Text.find('\n');
      RefuseCells(name,
                  std::to_string(lines) + " lines of " +
                      std::to_string(width == std::string::npos ? opened.Text.size() : width) + " characters",
                  cells);
    }
    try {
      const TMatrix matrix = ReadText(bytes, format);
      opened.Sources = matrix.Sources;
      opened.Targets = matrix.Targets;
    } catch (const TInputError& error) {
      opened.Fault = Named(name, error);
    }
    return opened;
  }
  TMatrix matrix;
  try {
    matrix = ReadText(bytes, format);
  } catch (const TInputError& error) {
    throw Named(name, error);
  }
  const std::int64_t cells = std::int64_t{matrix.Sources} * matrix.Targets;
  if (cells > MostShownCells)
    RefuseCells(
        name, std::to_string(matrix.Sources) + " sources and " + std::to_string(matrix.Targets) + " targets",
        cells);
  opened.Text = MatrixText(matrix);
  opened.Sources = matrix.Sources;
  opened.Targets = matrix.Targets;
  opened.Labels = LabelsOfMatrix(matrix);
  return opened;
}

std::string TooLargeToOpen(std::string_view name, std::int64_t bytes) {
  return std::string(name) + " has " + std::to_string(bytes) + " bytes: too large to open here (at most " +
         std::to_string(MostOpenedBytes) + "). The command line handles it: bicliques " + std::string(name);
}
