#include "Latticetextunit.h"

namespace {

// Appends each part in turn (one growing string, no temporaries).
template <class... TParts> void Append(std::string& out, const TParts&... parts) {
  (out.append(std::string_view(parts)), ...);
}

// `text` with every byte sequence that is not UTF-8, every control
// character but the tab and the two non-characters U+FFFE and U+FFFF
// replaced by U+FFFD: both formats must be UTF-8 text, and XML allows no
// others.
std::string ValidText(std::string_view text) {
  static constexpr std::string_view Replacement = "\xEF\xBF\xBD";
  std::string valid;
  valid.reserve(text.size());
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  for (std::size_t at = 0; at < text.size();) {
    const unsigned char lead = byte(at);
    // Length, and the range of the first continuation byte, as UTF-8
    // allows them: no overlong forms, no surrogates, nothing past U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead < 0x80) {
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      low = lead == 0xE0 ? 0xA0 : 0x80;
      high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      low = lead == 0xF0 ? 0x90 : 0x80;
      high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    bool whole = length != 0 && at + length <= text.size();
    for (std::size_t k = 1; whole && k < length; ++k)
      whole =
          k == 1 ? byte(at + k) >= low && byte(at + k) <= high : byte(at + k) >= 0x80 && byte(at + k) <= 0xBF;
    const bool control = (length == 1 && ((lead < 0x20 && lead != '\t') || lead == 0x7F)) ||
                         (whole && length == 2 && lead == 0xC2 && byte(at + 1) < 0xA0);
    const bool nonCharacter =
        whole && length == 3 && lead == 0xEF && byte(at + 1) == 0xBF && byte(at + 2) >= 0xBE;
    if (!whole || control || nonCharacter) {
      valid += Replacement;
      at += whole ? length : 1;
      continue;
    }
    valid.append(text.substr(at, length));
    at += length;
  }
  return valid;
}

// A DOT string's content: quotes and backslashes escaped.
std::string DotQuoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : ValidText(text)) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string XmlEscaped(std::string_view text) {
  std::string escaped;
  for (const char c : ValidText(text)) {
    switch (c) {
    case '&':
      escaped += "&amp;";
      break;
    case '<':
      escaped += "&lt;";
      break;
    case '>':
      escaped += "&gt;";
      break;
    case '"':
      escaped += "&quot;";
      break;
    default:
      escaped += c;
    }
  }
  return escaped;
}

std::string Dot(const TDiagram& diagram, const TLattice& lattice) {
  std::string text = "digraph lattice {\n"
                     "  rankdir=BT;\n"
                     "  node [shape=box, style=rounded, fontsize=10];\n"
                     "  edge [arrowhead=none];\n";
  for (std::int32_t i = 0; i < diagram.Count(); ++i) {
    const bool bottom = diagram.AddedBottom && i == diagram.Count() - 1;
    Append(text, "  ", NodeId(diagram, i),
           " [label=", DotQuoted(diagram.Labels[static_cast<std::size_t>(i)]));
    if (bottom) {
      text += ", style=\"rounded,dashed\", tooltip=\"bottom: every target; no listed result\"";
    } else {
      Append(text, ", tooltip=", DotQuoted(lattice.Lines[static_cast<std::size_t>(i)]));
    }
    text += "];\n";
  }
  for (const TCover& edge : diagram.Edges)
    Append(text, "  ", NodeId(diagram, edge.Lower), " -> ", NodeId(diagram, edge.Upper), ";\n");
  text += "}\n";
  return text;
}

std::string Graphml(const TDiagram& diagram, const TLattice& lattice) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<graphml xmlns=\"http://graphml.graphdrawing.org/xmlns\">\n"
                     "  <key id=\"label\" for=\"node\" attr.name=\"label\" attr.type=\"string\"/>\n"
                     "  <key id=\"sources\" for=\"node\" attr.name=\"sources\" attr.type=\"int\"/>\n"
                     "  <key id=\"targets\" for=\"node\" attr.name=\"targets\" attr.type=\"int\"/>\n"
                     "  <key id=\"line\" for=\"node\" attr.name=\"line\" attr.type=\"string\"/>\n"
                     "  <key id=\"bottom\" for=\"node\" attr.name=\"bottom\" attr.type=\"boolean\">\n"
                     "    <default>false</default>\n"
                     "  </key>\n"
                     "  <graph id=\"lattice\" edgedefault=\"directed\">\n";
  for (std::int32_t i = 0; i < diagram.Count(); ++i) {
    const auto at = static_cast<std::size_t>(i);
    const bool bottom = diagram.AddedBottom && i == diagram.Count() - 1;
    Append(text, "    <node id=\"", NodeId(diagram, i), "\">\n");
    Append(text, "      <data key=\"label\">", XmlEscaped(diagram.Labels[at]), "</data>\n");
    Append(text, "      <data key=\"sources\">", std::to_string(diagram.Sources[at]), "</data>\n");
    Append(text, "      <data key=\"targets\">", std::to_string(diagram.Targets[at]), "</data>\n");
    if (bottom) {
      text += "      <data key=\"bottom\">true</data>\n";
    } else {
      Append(text, "      <data key=\"line\">", XmlEscaped(lattice.Lines[at]), "</data>\n");
    }
    text += "    </node>\n";
  }
  for (const TCover& edge : diagram.Edges)
    Append(text, "    <edge source=\"", NodeId(diagram, edge.Lower), "\" target=\"",
           NodeId(diagram, edge.Upper), "\"/>\n");
  text += "  </graph>\n</graphml>\n";
  return text;
}

} // namespace

std::string NodeId(const TDiagram& diagram, std::int32_t i) {
  if (diagram.AddedBottom && i == diagram.Count() - 1) return "bottom";
  std::string id = "n";
  id += std::to_string(i + 1);
  return id;
}

std::string LatticeText(const TDiagram& diagram, const TLattice& lattice, TLatticeFormat format) {
  return format == TLatticeFormat::Dot ? Dot(diagram, lattice) : Graphml(diagram, lattice);
}
