// A slow, obviously correct enumerator for the tests: intersect every
// non-empty subset of rows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace bruteforce {

// Target set (as "0"/"1" text) -> its source set (every row containing it),
// for every distinct intersection of one or more rows. Keep rows <= 16.
inline std::map<std::string, std::string> Bicliques(const std::vector<std::string>& rows) {
  const std::size_t n = rows.size();
  const std::size_t m = n == 0 ? 0 : rows[0].size();
  std::vector<std::string> meet(std::size_t{1} << n);
  std::map<std::string, std::string> result;
  for (std::size_t mask = 1; mask < meet.size(); ++mask) {
    const std::size_t low = static_cast<std::size_t>(__builtin_ctzll(mask));
    const std::size_t rest = mask & (mask - 1);
    meet[mask] = rest == 0 ? rows[low] : meet[rest];
    for (std::size_t c = 0; c < m; ++c) {
      if (rows[low][c] == '0') meet[mask][c] = '0';
    }
    if (result.count(meet[mask])) continue;
    std::string sources(n, '0');
    for (std::size_t s = 0; s < n; ++s) {
      bool contains = true;
      for (std::size_t c = 0; c < m && contains; ++c)
        contains = meet[mask][c] == '0' || rows[s][c] == '1';
      if (contains) sources[s] = '1';
    }
    result.emplace(meet[mask], sources);
  }
  return result;
}

inline std::string PosList(const std::string& bits) {
  std::string list;
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (bits[i] != '1') continue;
    if (!list.empty()) list += ',';
    list += std::to_string(i + 1);
  }
  return list;
}

// The result text lines: "sources : targets", sorted by bytes.
inline std::vector<std::string> ResultLines(const std::vector<std::string>& rows) {
  std::vector<std::string> lines;
  for (const auto& [targets, sources] : Bicliques(rows))
    lines.push_back(PosList(sources) + " : " + PosList(targets));
  std::sort(lines.begin(), lines.end());
  return lines;
}

// A random matrix; some rows copied from earlier ones and some all zero, so
// that duplicate and empty rows occur.
inline std::vector<std::string> RandomMatrix(std::mt19937& random, std::size_t rows, std::size_t columns) {
  std::vector<std::string> matrix;
  const unsigned density = 15 + random() % 70;
  for (std::size_t r = 0; r < rows; ++r) {
    const unsigned kind = random() % 10;
    if (kind == 0 && r > 0) {
      matrix.push_back(matrix[random() % r]);
    } else if (kind == 1) {
      matrix.emplace_back(columns, '0');
    } else {
      std::string row(columns, '0');
      for (auto& c : row)
        c = random() % 100 < density ? '1' : '0';
      matrix.push_back(row);
    }
  }
  return matrix;
}

// Characters per row; 0 for no rows.
inline std::size_t Width(const std::vector<std::string>& rows) {
  return rows.empty() ? 0 : rows.front().size();
}

// A random matrix whose cells are 1 with chance `density`; about one row in
// ten is all zero and one in ten a copy of an earlier row.
template <typename TRandom>
std::vector<std::string> RandomMatrix(TRandom& random, std::size_t rows, std::size_t columns,
                                      double density) {
  std::bernoulli_distribution bit(density);
  std::uniform_int_distribution<int> kind(0, 9);
  std::vector<std::string> matrix;
  for (std::size_t s = 0; s < rows; ++s) {
    const int k = kind(random);
    if (k == 0) {
      matrix.emplace_back(columns, '0');
    } else if (k == 1 && !matrix.empty()) {
      matrix.push_back(matrix[std::uniform_int_distribution<std::size_t>(0, matrix.size() - 1)(random)]);
    } else {
      std::string row(columns, '0');
      for (char& cell : row)
        cell = bit(random) ? '1' : '0';
      matrix.push_back(row);
    }
  }
  return matrix;
}

} // namespace bruteforce
