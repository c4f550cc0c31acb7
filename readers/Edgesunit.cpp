#include "Edgesunit.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <utility>
#include <vector>

namespace {

// The vertices of one side, numbered by first appearance while reading. The
// ids sit in one byte buffer and an open-addressing table of vertex numbers
// finds them: no allocation per vertex, one probe sequence per lookup.
class TSide {
public:
  explicit TSide(const char* name) : Name(name), Slots(1024, -1) {}

  std::int32_t Add(std::string_view id) {
    const std::size_t hash = std::hash<std::string_view>{}(id);
    const std::size_t mask = Slots.size() - 1;
    std::size_t slot = hash & mask;
    for (; Slots[slot] >= 0; slot = (slot + 1) & mask)
      if (Id(Slots[slot]) == id) return Slots[slot];
    const std::size_t count = Starts.size() - 1;
    if (count >= static_cast<std::size_t>(INT32_MAX))
      throw TInputError(
          0, 0, std::string("too many ") + Name + " vertices: more than " + std::to_string(INT32_MAX));
    Numbers = Numbers && std::all_of(id.begin(), id.end(), IsDigit);
    const auto vertex = static_cast<std::int32_t>(count);
    Bytes.append(id);
    Starts.push_back(Bytes.size());
    Slots[slot] = vertex;
    if (2 * (count + 1) > Slots.size()) Grow(); // at most half full
    return vertex;
  }

  // Fills the side's count, ids or names; returns the final number of each
  // vertex by its number of first appearance.
  std::vector<std::int32_t> Finish(std::int32_t& count, std::vector<std::int64_t>& shownIds,
                                   std::vector<std::string>& names) {
    Slots = {};
    const std::size_t size = Starts.size() - 1;
    std::vector<std::int64_t> values(size);
    for (std::size_t v = 0; v < size && Numbers; ++v) {
      const std::string_view id = Id(static_cast<std::int32_t>(v));
      const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), values[v]);
      Numbers = error == std::errc{} && end == id.data() + id.size();
    }
    std::vector<std::int32_t> final(size);
    if (!Numbers) {
      names.reserve(size);
      for (std::size_t v = 0; v < size; ++v) {
        final[v] = static_cast<std::int32_t>(v);
        names.emplace_back(Id(static_cast<std::int32_t>(v)));
      }
      count = static_cast<std::int32_t>(size);
    } else {
      shownIds = values;
      std::sort(shownIds.begin(), shownIds.end());
      shownIds.erase(std::unique(shownIds.begin(), shownIds.end()), shownIds.end());
      for (std::size_t v = 0; v < size; ++v)
        final[v] = static_cast<std::int32_t>(std::lower_bound(shownIds.begin(), shownIds.end(), values[v]) -
                                             shownIds.begin());
      count = static_cast<std::int32_t>(shownIds.size());
    }
    Bytes = {};
    Starts = {0};
    return final;
  }

private:
  std::string_view Id(std::int32_t vertex) const {
    const auto v = static_cast<std::size_t>(vertex);
    return std::string_view(Bytes).substr(Starts[v], Starts[v + 1] - Starts[v]);
  }

  void Grow() {
    std::vector<std::int32_t> slots(2 * Slots.size(), -1);
    const std::size_t mask = slots.size() - 1;
    for (const std::int32_t vertex : Slots) {
      if (vertex < 0) continue;
      std::size_t slot = std::hash<std::string_view>{}(Id(vertex)) & mask;
      while (slots[slot] >= 0)
        slot = (slot + 1) & mask;
      slots[slot] = vertex;
    }
    Slots = std::move(slots);
  }

  const char* Name;
  std::string Bytes;                  // the ids one after another
  std::vector<std::size_t> Starts{0}; // vertex v: Bytes[Starts[v] .. Starts[v + 1])
  std::vector<std::int32_t> Slots;    // vertex numbers by hash; -1 free; a power of two long
  bool Numbers = true;                // every id so far is digits only
};

bool IsComment(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t");
  return first != std::string_view::npos && (line[first] == '%' || line[first] == '#');
}

class TEdgesReader final : public TReader {
public:
  void Line(std::string_view line, std::int64_t number) override {
    if (IsComment(line)) return;
    CheckText(line, 0, number, true);
    std::size_t pos = SkipBlanks(line, 0);
    if (pos == line.size()) return;
    const std::string_view source = Field(line, pos, number, "a source id");
    pos = SkipBlanks(line, pos);
    if (pos < line.size() && line[pos] == ',') pos = SkipBlanks(line, pos + 1);
    const std::string_view target = Field(line, pos, number, "a target id");
    const std::int32_t s = Sources.Add(source);
    Edges.emplace_back(s, Targets.Add(target));
  }

  TMatrix Finish() override {
    TMatrix matrix;
    const std::vector<std::int32_t> sourceOf =
        Sources.Finish(matrix.Sources, matrix.SourceIds, matrix.SourceNames);
    const std::vector<std::int32_t> targetOf =
        Targets.Finish(matrix.Targets, matrix.TargetIds, matrix.TargetNames);
    // Rows by counting: first the row lengths, then each edge into its row.
    std::vector<std::int64_t> starts(static_cast<std::size_t>(matrix.Sources) + 1, 0);
    for (const auto& edge : Edges)
      ++starts[static_cast<std::size_t>(sourceOf[static_cast<std::size_t>(edge.first)]) + 1];
    for (std::size_t s = 1; s < starts.size(); ++s)
      starts[s] += starts[s - 1];
    std::vector<std::int32_t> adjacent(Edges.size());
    std::vector<std::int64_t> next(starts.begin(), starts.end() - 1);
    for (const auto& edge : Edges) {
      const auto s = static_cast<std::size_t>(sourceOf[static_cast<std::size_t>(edge.first)]);
      adjacent[static_cast<std::size_t>(next[s]++)] = targetOf[static_cast<std::size_t>(edge.second)];
    }
    Edges = {};
    // Sorted, repeats dropped, packed in place.
    matrix.Adjacent.reserve(adjacent.size());
    for (std::size_t s = 0; s + 1 < starts.size(); ++s) {
      const auto first = adjacent.begin() + starts[s], last = adjacent.begin() + starts[s + 1];
      std::sort(first, last);
      matrix.Adjacent.insert(matrix.Adjacent.end(), first, std::unique(first, last));
      matrix.RowStarts.push_back(static_cast<std::int64_t>(matrix.Adjacent.size()));
    }
    return matrix;
  }

protected:
  std::size_t CheckPart(std::string_view soFar, std::size_t from, std::int64_t number) override {
    if (IsComment(soFar)) return soFar.size();
    return CheckText(soFar, from, number, false);
  }

private:
  static std::size_t SkipBlanks(std::string_view line, std::size_t pos) {
    while (pos < line.size() && IsBlank(line[pos]))
      ++pos;
    return pos;
  }

  // The field at line[pos..], up to a blank, a comma or the end; pos moves past it.
  static std::string_view Field(std::string_view line, std::size_t& pos, std::int64_t number,
                                std::string_view expected) {
    const std::size_t start = pos;
    while (pos < line.size() && !IsBlank(line[pos]) && line[pos] != ',')
      ++pos;
    if (pos == start) {
      RefuseAt(number, static_cast<std::int64_t>(start + 1),
               "expected " + std::string(expected) + ", found " +
                   (start == line.size() ? std::string("end of line") : ShowChar(line, start)));
    }
    return line.substr(start, pos - start);
  }

  TSide Sources{"source"};
  TSide Targets{"target"};
  std::vector<std::pair<std::int32_t, std::int32_t>> Edges; // by number of first appearance
};

} // namespace

std::unique_ptr<TReader> MakeEdgesReader() { return std::make_unique<TEdgesReader>(); }
