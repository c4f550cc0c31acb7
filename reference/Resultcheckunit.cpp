#include "Resultcheckunit.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <span>

namespace {

using TMembers = std::vector<std::int32_t>;

// The vertices of one side of a line, from their shown numbers; false with
// `fault` set when a number is malformed, unknown or out of order.
bool ParseSide(std::string_view text, const std::unordered_map<std::int64_t, std::int32_t>& index,
               TMembers& members, std::string& fault, const char* side) {
  members.clear();
  if (text.empty()) return true;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find(',', at), text.size());
    std::int64_t number = 0;
    const auto [stop, error] = std::from_chars(text.data() + at, text.data() + end, number);
    if (error != std::errc() || stop != text.data() + end || end == at) {
      fault = std::string("malformed ") + side + " list";
      return false;
    }
    const auto found = index.find(number);
    if (found == index.end()) {
      fault = std::string(side) + " " + std::to_string(number) + " is not in the graph";
      return false;
    }
    if (!members.empty() && found->second <= members.back()) {
      fault = std::string(side) + " list not ascending";
      return false;
    }
    members.push_back(found->second);
    at = end + 1;
  }
  return true;
}

// The intersection of the lists `of(v)` for every v of `members`; `all` when
// `members` is empty.
template <typename TListOf> TMembers Common(const TMembers& members, TListOf&& of, std::int32_t all) {
  TMembers common;
  if (members.empty()) {
    for (std::int32_t v = 0; v < all; ++v)
      common.push_back(v);
    return common;
  }
  const std::span<const std::int32_t> first = of(members.front());
  common.assign(first.begin(), first.end());
  TMembers next;
  for (std::size_t k = 1; k < members.size() && !common.empty(); ++k) {
    const std::span<const std::int32_t> list = of(members[k]);
    next.clear();
    std::set_intersection(common.begin(), common.end(), list.begin(), list.end(), std::back_inserter(next));
    common.swap(next);
  }
  return common;
}

void IndexSide(std::unordered_map<std::int64_t, std::int32_t>& index, const std::vector<std::int64_t>& ids,
               std::int32_t size) {
  index.reserve(static_cast<std::size_t>(size));
  for (std::int32_t v = 0; v < size; ++v)
    index.emplace(ids.empty() ? v + 1 : ids[static_cast<std::size_t>(v)], v);
}

} // namespace

TResultChecker::TResultChecker(const TMatrix& matrix)
    : Matrix(matrix), Columns(static_cast<std::size_t>(matrix.Targets)) {
  IndexSide(SourceIndex, matrix.SourceIds, matrix.Sources);
  IndexSide(TargetIndex, matrix.TargetIds, matrix.Targets);
  for (std::int32_t s = 0; s < matrix.Sources; ++s)
    for (const std::int32_t t : matrix.Row(s))
      Columns[static_cast<std::size_t>(t)].push_back(s);
}

std::string TResultChecker::Check(std::string_view line) {
  const std::size_t colon = line.find(" : ");
  if (colon == std::string_view::npos) return "no \" : \" between the sides";
  TMembers sources;
  TMembers targets;
  std::string fault;
  if (!ParseSide(line.substr(0, colon), SourceIndex, sources, fault, "source") ||
      !ParseSide(line.substr(colon + 3), TargetIndex, targets, fault, "target"))
    return fault;
  if (sources.empty()) return "no source";

  // Maximal: the targets are exactly those every source has, and the
  // sources exactly those having every target.
  const TMembers sharedTargets = Common(
      sources, [&](std::int32_t s) { return Matrix.Row(s); }, Matrix.Targets);
  if (sharedTargets != targets) return "the targets are not those the sources share";
  const TMembers sharingSources = Common(
      targets,
      [&](std::int32_t t) { return std::span<const std::int32_t>(Columns[static_cast<std::size_t>(t)]); },
      Matrix.Sources);
  if (sharingSources != sources) return "the sources are not all those having every target";

  if (!Seen.insert(std::hash<std::string_view>{}(line)).second) return "the same line as an earlier one";
  return {};
}
