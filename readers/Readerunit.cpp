#include "Readerunit.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "Csvunit.h"
#include "Cxtunit.h"
#include "Edgesunit.h"
#include "Fimiunit.h"
#include "Matrixtextunit.h"

namespace {

struct TFormatName {
  TFormat Format;
  std::string_view Name;
};
constexpr TFormatName FormatNames[] = {{TFormat::Matrix, "matrix"},
                                       {TFormat::Fimi, "fimi"},
                                       {TFormat::Edges, "edges"},
                                       {TFormat::Cxt, "cxt"},
                                       {TFormat::Csv, "csv"}};

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

constexpr std::size_t ChunkBytes = 64 * 1024;

} // namespace

TFormat ParseFormat(std::string_view name) {
  for (const auto& entry : FormatNames)
    if (entry.Name == name) return entry.Format;
  throw std::invalid_argument("unknown input format '" + std::string(name) +
                              "': use matrix, fimi, edges, cxt or csv");
}

std::string_view FormatName(TFormat format) {
  for (const auto& entry : FormatNames)
    if (entry.Format == format) return entry.Name;
  return "matrix";
}

TFormat FormatForPath(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = file.find_last_of('.');
  if (dot == std::string_view::npos) return TFormat::Matrix;
  const std::string extension = Lower(file.substr(dot + 1));
  if (extension == "dat") return TFormat::Fimi;
  if (extension == "cxt") return TFormat::Cxt;
  if (extension == "edges" || extension == "tsv") return TFormat::Edges;
  if (extension == "csv") return TFormat::Csv;
  return TFormat::Matrix;
}

std::unique_ptr<TReader> MakeReader(TFormat format) {
  switch (format) {
  case TFormat::Fimi:
    return MakeFimiReader();
  case TFormat::Edges:
    return MakeEdgesReader();
  case TFormat::Cxt:
    return MakeCxtReader();
  case TFormat::Csv:
    return MakeCsvReader();
  case TFormat::Matrix:
    break;
  }
  return MakeMatrixTextReader();
}

TMatrix ReadText(std::string_view text, TFormat format) {
  const auto reader = MakeReader(format);
  TLineFeeder feeder(*reader);
  feeder.Feed(text);
  feeder.End();
  return reader->Finish();
}

TMatrix ReadFd(int fd, TFormat format, std::int64_t maxBytes) {
  const auto reader = MakeReader(format);
  TLineFeeder feeder(*reader);
  std::vector<char> buffer(ChunkBytes);
  std::int64_t total = 0;
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "cannot read the input");
    }
    // The bytes within the limit are checked first: a fault in them is the
    // more useful message.
    const std::int64_t allowed = std::min<std::int64_t>(got, maxBytes - total);
    feeder.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(allowed)));
    if (allowed < got)
      throw TInputError(0, 0, "the input is larger than the limit of " + ByteSizeText(maxBytes));
    total += got;
  }
  feeder.End();
  return reader->Finish();
}

std::int64_t ParseByteSize(std::string_view text) {
  const auto refuse = [&text]() -> std::int64_t {
    throw std::invalid_argument("not a size: '" + std::string(text) +
                                "' (a whole number of bytes, optionally followed by K, M, G or T)");
  };
  std::size_t i = 0;
  std::int64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const int digit = text[i] - '0';
    if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10) return refuse();
    value = value * 10 + digit;
  }
  if (i == 0) return refuse();
  const std::string unit = Lower(text.substr(i));
  int shift = 0;
  if (!unit.empty()) {
    const std::string_view units = "kmgt";
    const std::size_t found = units.find(unit[0]);
    const std::string_view rest = std::string_view(unit).substr(1);
    if (found == std::string_view::npos || !(rest.empty() || rest == "b" || rest == "ib")) return refuse();
    shift = 10 * static_cast<int>(found + 1);
  }
  if (value > (std::numeric_limits<std::int64_t>::max() >> shift)) return refuse();
  return value << shift;
}

std::string ByteSizeText(std::int64_t bytes) {
  const std::string exact = std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  constexpr const char* Units[] = {"TiB", "GiB", "MiB", "KiB"};
  for (int k = 0; k < 4; ++k) {
    const std::int64_t unit = std::int64_t{1} << (10 * (4 - k));
    if (bytes > 0 && bytes % unit == 0)
      return std::to_string(bytes / unit) + " " + Units[k] + " (" + exact + ")";
  }
  return exact;
}
