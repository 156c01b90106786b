#include "advapi32/registry_text.h"

#include <cinttypes>
#include <cstdio>
#include <optional>
#include <vector>

#include "kernel32/utf16.h"
#include "pal/winreg.h"

namespace pal::registry {
namespace {

using internal::Utf16Of;
using internal::Utf8Of;

constexpr std::string_view kHeader = "Prowlnet registry 1\n";
constexpr std::string_view kClosing = "; end of registry: ";

std::uint32_t Checksum(std::string_view text) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

bool NeedsEscape(char16_t c) { return c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF); }

/// `text` in double quotes; quotes, backslashes, control characters and surrogates escaped.
/// Surrogate pairs are escaped as two units, so that every UTF-16 string reads back unchanged.
std::string Quoted(std::u16string_view text) {
  std::string out = "\"";
  size_t plainStart = 0;
  auto flushPlain = [&](size_t end) { out += Utf8Of(text.substr(plainStart, end - plainStart)); };
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'"' && c != u'\\' && !NeedsEscape(c)) continue;
    flushPlain(i);
    plainStart = i + 1;
    if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
    out += escape;
  }
  flushPlain(text.size());
  return out + "\"";
}

void AppendValue(std::string& out, const Value& value) {
  out += value.name.empty() ? "@" : Quoted(value.name);
  out += '=';
  if (value.type == REG_DWORD) {
    char number[16];
    std::snprintf(number, sizeof number, "dword:%08" PRIx32, value.number);
    out += number;
  } else {
    out += Quoted(value.text);
  }
  out += '\n';
}

void AppendKey(std::string& out, const Key& key, const std::string& path, bool isHive) {
  if (!isHive || !key.values().empty()) {
    out += "[" + path + "]\n";
    for (const Value& value : key.values()) AppendValue(out, value);
  }
  for (const Key* subkey : key.Subkeys()) AppendKey(out, *subkey, path + "\\" + Utf8Of(subkey->name()), false);
}

// ---- reading -----------------------------------------------------------------------------------

/// Checks the closing line and returns the text above it, or nothing.
std::optional<std::string_view> CheckedBody(std::string_view text) {
  if (text.empty() || text.back() != '\n') return std::nullopt;
  const size_t lineStart = text.rfind('\n', text.size() - 2);
  const size_t closingStart = lineStart == std::string_view::npos ? 0 : lineStart + 1;
  const std::string_view body = text.substr(0, closingStart);
  char expected[80];
  std::snprintf(expected, sizeof expected, "%.*s%zu bytes, checksum %08" PRIx32 "\n",
                static_cast<int>(kClosing.size()), kClosing.data(), body.size(), Checksum(body));
  if (text.substr(closingStart) != expected) return std::nullopt;
  return body;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// Reads a quoted string at the start of `line`, advancing past it.
std::optional<std::u16string> ReadQuoted(std::string_view& line) {
  if (line.empty() || line[0] != '"') return std::nullopt;
  std::u16string out;
  size_t i = 1;
  size_t plainStart = 1;
  auto flushPlain = [&](size_t end) { out += Utf16Of(line.substr(plainStart, end - plainStart)); };
  while (i < line.size() && line[i] != '"') {
    if (line[i] != '\\') {
      ++i;
      continue;
    }
    flushPlain(i);
    if (i + 1 >= line.size()) return std::nullopt;
    const char kind = line[i + 1];
    if (kind == '\\' || kind == '"') {
      out += static_cast<char16_t>(kind);
      i += 2;
    } else if (kind == 'u' && i + 6 <= line.size()) {
      unsigned unit = 0;
      for (size_t k = i + 2; k < i + 6; ++k) {
        const int digit = HexDigit(line[k]);
        if (digit < 0) return std::nullopt;
        unit = unit * 16 + static_cast<unsigned>(digit);
      }
      out += static_cast<char16_t>(unit);
      i += 6;
    } else {
      return std::nullopt;
    }
    plainStart = i;
  }
  if (i >= line.size()) return std::nullopt;
  flushPlain(i);
  line.remove_prefix(i + 1);
  return out;
}

std::optional<DWORD> ReadDword(std::string_view data) {
  constexpr std::string_view kPrefix = "dword:";
  if (data.substr(0, kPrefix.size()) != kPrefix || data.size() != kPrefix.size() + 8) return std::nullopt;
  DWORD number = 0;
  for (char c : data.substr(kPrefix.size())) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    number = number * 16 + static_cast<DWORD>(digit);
  }
  return number;
}

bool ReadValueLine(std::string_view line, Key& key) {
  Value value;
  if (line.substr(0, 1) == "@") {
    line.remove_prefix(1);
  } else {
    std::optional<std::u16string> name = ReadQuoted(line);
    if (!name || name->empty()) return false;
    value.name = std::move(*name);
  }
  if (line.substr(0, 1) != "=") return false;
  line.remove_prefix(1);
  if (std::optional<DWORD> number = ReadDword(line)) {
    value.type = REG_DWORD;
    value.number = *number;
  } else {
    std::optional<std::u16string> text = ReadQuoted(line);
    if (!text || !line.empty()) return false;
    value.type = REG_SZ;
    value.text = std::move(*text);
  }
  key.SetValue(std::move(value));
  return true;
}

/// The key a section line names, made with every key on its path.
Key* ReadSectionLine(std::string_view line, Hives& hives) {
  if (line.size() < 2 || line.back() != ']') return nullptr;
  const std::u16string path = Utf16Of(line.substr(1, line.size() - 2));
  std::vector<std::u16string> names;
  size_t start = 0;
  for (size_t end; (end = path.find(u'\\', start)) != std::u16string::npos; start = end + 1)
    names.push_back(path.substr(start, end - start));
  names.push_back(path.substr(start));

  Key* key = names[0] == hives.machine.name() ? &hives.machine : names[0] == hives.user.name() ? &hives.user : nullptr;
  for (size_t i = 1; key != nullptr && i < names.size(); ++i) {
    if (names[i].empty()) return nullptr;
    key = &key->FindOrCreate(names[i], nullptr);
  }
  return key;
}

}  // namespace

std::string TextOf(const Hives& hives) {
  std::string body(kHeader);
  AppendKey(body, hives.machine, Utf8Of(hives.machine.name()), true);
  AppendKey(body, hives.user, Utf8Of(hives.user.name()), true);
  char closing[80];
  std::snprintf(closing, sizeof closing, "%.*s%zu bytes, checksum %08" PRIx32 "\n",
                static_cast<int>(kClosing.size()), kClosing.data(), body.size(), Checksum(body));
  return body + closing;
}

bool ReadText(std::string_view text, Hives& hives) {
  std::optional<std::string_view> body = CheckedBody(text);
  if (!body || body->substr(0, kHeader.size()) != kHeader) return false;
  body->remove_prefix(kHeader.size());
  Key* current = nullptr;
  while (!body->empty()) {
    const size_t end = body->find('\n');
    const std::string_view line = body->substr(0, end);
    body->remove_prefix(end + 1);
    if (line.empty()) continue;
    if (line[0] == '[') {
      current = ReadSectionLine(line, hives);
      if (current == nullptr) return false;
    } else if (current == nullptr || !ReadValueLine(line, *current)) {
      return false;
    }
  }
  return true;
}

}  // namespace pal::registry
