// Resultlineunit: the text of one result in the chosen output format, with
// the vertices shown as the input names them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Engineunit.h"
#include "Matrixunit.h"
#include "Poslistunit.h"

// text: "sources : targets", the shown numbers joined by ",".
// jsonl: {"sources":[...],"targets":[...]} with the shown numbers, plus
// "source_names" and "target_names" when the input names its vertices.
enum class TLineFormat { Text, Jsonl };

class TResultLines {
public:
  // Borrows `matrix` for the object's life.
  TResultLines(const TMatrix& matrix, TLineFormat format);

  // Appends the line of one result, without its break. Safe from several
  // threads at once.
  void Append(std::string& out, const TVertexSet& sources, const TVertexSet& targets) const;

private:
  TLineFormat Format;
  TSideNumbers Sources;
  TSideNumbers Targets;
  // Each name as a JSON string, quotes included; empty when the side has no names.
  std::vector<std::string> SourceNames;
  std::vector<std::string> TargetNames;
};
