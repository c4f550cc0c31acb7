// Labelsunit: the vertices' own labels, for inputs that name their vertices
// (contexts, edge lists with names) or number them in their own way
// (transaction files, edge lists of numbers). The window shows the matrix
// and its results by position (1, 2, ...); with labels it can show them as
// the input does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Matrixunit.h"

struct TVertexLabels {
  // The label of source (target) v, counting from 0; an empty list: that
  // side is shown by position.
  std::vector<std::string> Sources;
  std::vector<std::string> Targets;

  // Neither side has labels.
  bool Empty() const { return Sources.empty() && Targets.empty(); }
  // Whether the labels fit a matrix of this shape: each side's labels are
  // absent or one per vertex.
  bool Fit(std::int64_t sources, std::int64_t targets) const;
  bool operator==(const TVertexLabels&) const = default;
};

// The labels `matrix` carries: a side's names when it has them, else its
// numbers (ids) when they are not the positions 1, 2, ...; empty otherwise.
TVertexLabels LabelsOfMatrix(const TMatrix& matrix);

// A result line "1,2 : 3" with every position replaced by its label:
// "a,b : c". A side without labels, a position beyond its labels, and a line
// not of that form stay as they are.
std::string LabelledLine(std::string_view line, const TVertexLabels& labels);
