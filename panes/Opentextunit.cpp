#include "Opentextunit.h"

#include <stdexcept>

#include "Matrixtextunit.h"
#include "Readerunit.h"
#include "Windowtextunit.h"

std::string PaneTextOfFile(std::string_view name, std::string_view bytes) {
  const TFormat format = FormatForPath(name);
  if (format == TFormat::Matrix) return FileToPaneText(bytes);
  TMatrix matrix;
  try {
    matrix = ReadText(bytes, format);
  } catch (const TInputError& error) {
    throw TInputError(error.Line, error.Column, std::string(name) + ": " + error.what());
  }
  const std::int64_t cells = std::int64_t{matrix.Sources} * matrix.Targets;
  if (cells > MostShownCells) {
    throw std::runtime_error(
        std::string(name) + " has " + std::to_string(matrix.Sources) + " sources and " +
        std::to_string(matrix.Targets) + " targets, " + std::to_string(cells) +
        " cells: too many to show as a matrix here. The command line handles it: bicliques " +
        std::string(name));
  }
  return MatrixText(matrix);
}
