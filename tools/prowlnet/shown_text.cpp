#include "shown_text.h"

#include <optional>

#include <fmt/format.h>

namespace prowlnet_cli {
namespace {

struct CodePoint {
  char32_t value;
  size_t length;
};

/// The code point that starts at `at`, or nothing when the bytes there are not UTF-8 (a stray
/// continuation byte, a sequence cut short, an overlong form, a surrogate, beyond U+10FFFF).
std::optional<CodePoint> DecodeAt(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return CodePoint{lead, 1};
  const size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return std::nullopt;
  char32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return std::nullopt;
    value = value << 6 | (byte(at + i) & 0x3F);
  }
  const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < smallest[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return std::nullopt;
  return CodePoint{value, length};
}

/// C1 controls, and the invisible characters that reorder or break the text around them.
bool IsHiddenControl(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

/// The visible form of an ASCII character, or nothing when it shows as itself.
std::optional<std::string> EscapedAscii(unsigned char c, LineBreaks breaks) {
  const bool kept = breaks == LineBreaks::kKept;
  switch (c) {
    case '\\':
      return kept ? std::nullopt : std::optional<std::string>("\\\\");
    case '\n':
      return kept ? std::nullopt : std::optional<std::string>("\\n");
    case '\r':
      return kept ? std::nullopt : std::optional<std::string>("\\r");
    case '\t':
      return kept ? std::nullopt : std::optional<std::string>("\\t");
    default:
      if (c < 0x20 || c == 0x7F) return fmt::format("\\x{:02x}", c);
      return std::nullopt;
  }
}

}  // namespace

std::string Printable(std::string_view text, LineBreaks breaks) {
  std::string shown;
  shown.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const std::optional<CodePoint> c = DecodeAt(text, at);
    if (!c) {
      shown += fmt::format("\\x{:02x}", static_cast<unsigned char>(text[at]));
      ++at;
      continue;
    }
    if (c->value < 0x80) {
      const std::optional<std::string> escaped = EscapedAscii(static_cast<unsigned char>(c->value), breaks);
      if (escaped) {
        shown += *escaped;
      } else {
        shown += text[at];
      }
    } else if (IsHiddenControl(c->value)) {
      shown += fmt::format("\\u{:04x}", static_cast<unsigned>(c->value));
    } else {
      shown.append(text.substr(at, c->length));
    }
    at += c->length;
  }
  return shown;
}

std::string CsvCell(std::string_view text) {
  const bool formula = !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
  const std::string cell = (formula ? "'" : "") + std::string(text);
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string quoted = "\"";
  for (char c : cell) quoted += c == '"' ? std::string_view("\"\"") : std::string_view(&c, 1);
  return quoted + "\"";
}

}  // namespace prowlnet_cli
