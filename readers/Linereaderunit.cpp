#include "Linereaderunit.h"

#include <cstdio>
#include <cstring>

void TReader::Part(std::string_view soFar, std::int64_t number) {
  if (number != PartLine) {
    PartLine = number;
    PartChecked = 0;
  }
  PartChecked = CheckPart(soFar, PartChecked, number);
}

namespace {

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";

bool IsUtf16Mark(std::string_view head) {
  return head.size() >= 2 &&
         ((head[0] == '\xFF' && head[1] == '\xFE') || (head[0] == '\xFE' && head[1] == '\xFF'));
}

// True while `head` could still grow into a byte-order mark.
bool MayBecomeMark(std::string_view head) {
  if (head.size() < Utf8Mark.size() && Utf8Mark.starts_with(head)) return true;
  return head.size() == 1 && (head[0] == '\xFF' || head[0] == '\xFE');
}

} // namespace

void TLineFeeder::CheckHead(bool ended) {
  if (!ended && MayBecomeMark(Head)) return;
  if (Head.starts_with(Utf8Mark))
    RefuseAt(1, 1, "UTF-8 byte-order mark at the start: save the file without it");
  if (IsUtf16Mark(Head)) RefuseAt(1, 1, "UTF-16 text: save it as UTF-8 or ASCII");
  HeadDone = true;
  const std::string head = std::move(Head);
  Head.clear();
  Split(head);
}

void TLineFeeder::Feed(std::string_view bytes) {
  if (!HeadDone) {
    // At most three bytes wait here: enough to tell a byte-order mark.
    while (!bytes.empty() && Head.size() < Utf8Mark.size()) {
      Head.push_back(bytes.front());
      bytes.remove_prefix(1);
    }
    CheckHead(false);
    if (!HeadDone) return;
  }
  Split(bytes);
}

void TLineFeeder::Split(std::string_view bytes) {
  while (!bytes.empty()) {
    const void* found = std::memchr(bytes.data(), '\n', bytes.size());
    if (found == nullptr) {
      Carry.append(bytes);
      // A last "\r" may be the start of "\r\n": it is checked with the line.
      std::string_view soFar = Carry;
      if (soFar.back() == '\r') soFar.remove_suffix(1);
      if (!soFar.empty()) Reader.Part(soFar, Number + 1);
      return;
    }
    const auto end = static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
    std::string_view line = bytes.substr(0, end);
    if (!Carry.empty()) {
      Carry.append(line);
      line = Carry;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    Reader.Line(line, ++Number);
    Carry.clear();
    bytes.remove_prefix(end + 1);
  }
}

void TLineFeeder::End() {
  if (!HeadDone) CheckHead(true);
  if (!Carry.empty()) {
    Reader.Line(Carry, ++Number);
    Carry.clear();
  }
}

int Utf8Length(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return 1;
  int length;
  unsigned char low = 0x80, high = 0xBF; // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;  // no overlong forms
    if (lead == 0xED) high = 0x9F; // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F; // nothing above U+10FFFF
  } else {
    return 0;
  }
  for (int k = 1; k < length; ++k) {
    if (pos + static_cast<std::size_t>(k) >= text.size()) return -1;
    const auto byte = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(k)]);
    if (k == 1 ? (byte < low || byte > high) : (byte < 0x80 || byte > 0xBF)) return 0;
  }
  return length;
}

std::string ShowChar(std::string_view text, std::size_t pos) {
  const auto byte = static_cast<unsigned char>(text[pos]);
  if (byte == '\t') return "'\\t'";
  if (byte == '\r') return "'\\r'";
  if (byte == '\n') return "'\\n'";
  if (byte >= 0x20 && byte < 0x7F) return std::string{'\'', static_cast<char>(byte), '\''};
  if (byte >= 0x80) {
    const int length = Utf8Length(text, pos);
    if (length > 1) {
      std::string shown = "'";
      shown.append(text.substr(pos, static_cast<std::size_t>(length)));
      shown.push_back('\'');
      return shown;
    }
  }
  char shown[8];
  std::snprintf(shown, sizeof shown, "'\\x%02x'", byte);
  return shown;
}

void RefuseAt(std::int64_t line, std::int64_t column, std::string_view what) {
  throw TInputError(line, column,
                    "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                        std::string(what));
}

void RefuseLine(std::int64_t line, std::string_view what) {
  throw TInputError(line, 0, "line " + std::to_string(line) + " " + std::string(what));
}

std::size_t RefuseChar(std::string_view text, std::size_t pos, std::int64_t number, bool complete,
                       std::string_view expected) {
  if (!complete && Utf8Length(text, pos) < 0) return pos;
  RefuseAt(number, static_cast<std::int64_t>(pos + 1),
           "expected " + std::string(expected) + ", found " + ShowChar(text, pos));
}

std::size_t CheckText(std::string_view text, std::size_t from, std::int64_t number, bool complete) {
  std::size_t pos = from;
  while (pos < text.size()) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte >= 0x20 && byte < 0x7F) {
      ++pos;
    } else if (byte == '\t') {
      ++pos;
    } else if (byte < 0x80) {
      RefuseChar(text, pos, number, complete, "text");
    } else {
      const int length = Utf8Length(text, pos);
      if (length < 0 && !complete) return pos;
      if (length <= 0) {
        RefuseAt(number, static_cast<std::int64_t>(pos + 1),
                 "not UTF-8 text, found " + ShowChar(text, pos) + ": save the file as UTF-8");
      }
      pos += static_cast<std::size_t>(length);
    }
  }
  return pos;
}
