#include "Labelsunit.h"

#include <algorithm>

namespace {

std::vector<std::string> SideLabels(std::int32_t count, const std::vector<std::int64_t>& ids,
                                    const std::vector<std::string>& names) {
  if (!names.empty()) return names;
  bool positions = true;
  for (std::size_t v = 0; v < ids.size() && positions; ++v)
    positions = ids[v] == static_cast<std::int64_t>(v) + 1;
  if (ids.empty() || positions || static_cast<std::int32_t>(ids.size()) != count) return {};
  std::vector<std::string> labels;
  labels.reserve(ids.size());
  for (const std::int64_t id : ids)
    labels.push_back(std::to_string(id));
  return labels;
}

// Appends `list` ("n,n,...") with each position replaced by its label;
// false, with `out` unspecified, when the list is not of that form.
bool AppendLabelled(std::string& out, std::string_view list, const std::vector<std::string>& labels) {
  if (labels.empty() || list.empty()) {
    out += list;
    return true;
  }
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = std::min(list.find(',', at), list.size());
    const std::string_view number = list.substr(at, comma - at);
    if (number.empty() || number.size() > 10 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return false;
    const std::uint64_t position = std::stoull(std::string(number));
    if (position >= 1 && position <= labels.size()) {
      out += labels[static_cast<std::size_t>(position - 1)];
    } else {
      out += number;
    }
    if (comma == list.size()) return true;
    out += ',';
    at = comma + 1;
  }
}

} // namespace

bool TVertexLabels::Fit(std::int64_t sources, std::int64_t targets) const {
  return (Sources.empty() || static_cast<std::int64_t>(Sources.size()) == sources) &&
         (Targets.empty() || static_cast<std::int64_t>(Targets.size()) == targets);
}

TVertexLabels LabelsOfMatrix(const TMatrix& matrix) {
  return {SideLabels(matrix.Sources, matrix.SourceIds, matrix.SourceNames),
          SideLabels(matrix.Targets, matrix.TargetIds, matrix.TargetNames)};
}

std::string LabelledLine(std::string_view line, const TVertexLabels& labels) {
  const std::size_t colon = line.find(" : ");
  if (labels.Empty() || colon == std::string_view::npos) return std::string(line);
  std::string out;
  out.reserve(line.size() * 2);
  if (!AppendLabelled(out, line.substr(0, colon), labels.Sources)) return std::string(line);
  out += " : ";
  if (!AppendLabelled(out, line.substr(colon + 3), labels.Targets)) return std::string(line);
  return out;
}
