// Helpers for the reader tests: feeding text in chunks, catching refusals,
// and comparing matrices by their rows.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Linereaderunit.h"
#include "Matrixunit.h"

using TMakeReader = std::function<std::unique_ptr<TReader>()>;
using TRows = std::vector<std::vector<std::int32_t>>;

// Feeds `text` in pieces that end at the offsets `cuts` (ascending), then
// the rest, and ends the input.
inline void FeedPieces(TLineFeeder& feeder, std::string_view text, const std::vector<std::size_t>& cuts) {
  std::size_t at = 0;
  for (const std::size_t cut : cuts) {
    feeder.Feed(text.substr(at, cut - at));
    at = cut;
  }
  feeder.Feed(text.substr(at));
  feeder.End();
}

// Reads `text` with a new reader, fed in pieces as FeedPieces does.
inline TMatrix ReadPieces(const TMakeReader& make, std::string_view text,
                          const std::vector<std::size_t>& cuts) {
  const auto reader = make();
  TLineFeeder feeder(*reader);
  FeedPieces(feeder, text, cuts);
  return reader->Finish();
}

// A refusal as it was thrown.
struct TRefusal {
  std::int64_t Line = -1;
  std::int64_t Column = -1;
  std::string Message;
  bool operator==(const TRefusal&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const TRefusal& refusal) {
  return out << "(" << refusal.Line << ", " << refusal.Column << ") \"" << refusal.Message << "\"";
}

// The TInputError that `read` throws, or nothing when it returns.
inline std::optional<TRefusal> RefusalOf(const std::function<void()>& read) {
  try {
    read();
  } catch (const TInputError& error) {
    return TRefusal{error.Line, error.Column, error.what()};
  }
  return std::nullopt;
}

inline TRows RowsOf(const TMatrix& matrix) {
  TRows rows;
  for (std::int32_t s = 0; s < matrix.Sources; ++s) {
    const auto row = matrix.Row(s);
    rows.emplace_back(row.begin(), row.end());
  }
  return rows;
}

// Checks that cutting `text` anywhere into two pieces, or into single bytes,
// changes nothing: the same rows and sizes, or the same refusal, as in one piece.
inline void ExpectSameInPieces(const TMakeReader& make, std::string_view text, const std::string& name) {
  std::optional<TMatrix> whole;
  const auto wholeRefusal = RefusalOf([&] { whole = ReadPieces(make, text, {}); });
  const auto expectSame = [&](const std::vector<std::size_t>& cuts, const std::string& how) {
    std::optional<TMatrix> pieces;
    const auto refusal = RefusalOf([&] { pieces = ReadPieces(make, text, cuts); });
    EXPECT_EQ(refusal, wholeRefusal) << name << ", " << how;
    if (whole && pieces) {
      EXPECT_EQ(RowsOf(*pieces), RowsOf(*whole)) << name << ", " << how;
      EXPECT_EQ(pieces->Targets, whole->Targets) << name << ", " << how;
    }
  };
  for (std::size_t cut = 0; cut <= text.size(); ++cut)
    expectSame({cut}, "cut at " + std::to_string(cut));
  std::vector<std::size_t> bytes;
  for (std::size_t cut = 1; cut < text.size(); ++cut)
    bytes.push_back(cut);
  expectSame(bytes, "byte by byte");
}
