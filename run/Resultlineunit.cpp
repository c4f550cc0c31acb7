#include "Resultlineunit.h"

#include <nlohmann/json.hpp>

namespace {

std::vector<std::string> QuotedNames(const std::vector<std::string>& names) {
  std::vector<std::string> quoted;
  quoted.reserve(names.size());
  // Escaped once per vertex, so that a line costs only copies.
  for (const std::string& name : names)
    quoted.push_back(nlohmann::json(name).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  return quoted;
}

void AppendNames(std::string& out, const TVertexSet& set, std::int32_t size,
                 const std::vector<std::string>& names) {
  bool first = true;
  auto append = [&](std::int32_t v) {
    if (!first) out += ',';
    first = false;
    out += names[static_cast<std::size_t>(v)];
  };
  ForEachMember(set, size, append);
}

} // namespace

TResultLines::TResultLines(const TMatrix& matrix, TLineFormat format)
    : Format(format), Sources{matrix.Sources, matrix.SourceIds.empty() ? nullptr : matrix.SourceIds.data()},
      Targets{matrix.Targets, matrix.TargetIds.empty() ? nullptr : matrix.TargetIds.data()} {
  if (format == TLineFormat::Jsonl) {
    SourceNames = QuotedNames(matrix.SourceNames);
    TargetNames = QuotedNames(matrix.TargetNames);
  }
}

void TResultLines::Append(std::string& out, const TVertexSet& sources, const TVertexSet& targets) const {
  if (Format == TLineFormat::Text) {
    AppendResultLine(out, sources, Sources, targets, Targets);
    return;
  }
  out += "{\"sources\":[";
  AppendSide(out, sources, Sources);
  out += "],\"targets\":[";
  AppendSide(out, targets, Targets);
  out += ']';
  if (!SourceNames.empty()) {
    out += ",\"source_names\":[";
    AppendNames(out, sources, Sources.Size, SourceNames);
    out += ']';
  }
  if (!TargetNames.empty()) {
    out += ",\"target_names\":[";
    AppendNames(out, targets, Targets.Size, TargetNames);
    out += ']';
  }
  out += '}';
}
