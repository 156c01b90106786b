#include "prowlnet-script/source_text.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "pal/winnls.h"
#include "prowlnet-script/script_values.h"

namespace script_host {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

/// Whether `bytes` is well-formed UTF-8: no overlong forms, surrogates or values past U+10FFFF.
bool IsUtf8(std::string_view bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const unsigned lead = static_cast<unsigned char>(bytes[at]);
    size_t length = 1;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead < 0x80) {
      ++at;
      continue;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (at + length > bytes.size()) return false;
    for (size_t i = 1; i < length; ++i) {
      const unsigned byte = static_cast<unsigned char>(bytes[at + i]);
      if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) return false;
    }
    at += length;
  }
  return true;
}

/// UTF-16 as Duktape keeps it: each unit, surrogates included, in one to three bytes.
std::string Cesu8FromUtf16(const std::u16string& text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (const char16_t unit : text) {
    if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else if (unit < 0x800) {
      out += static_cast<char>(0xC0 | (unit >> 6));
      out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (unit >> 12));
      out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return out;
}

std::u16string Utf16Units(std::string_view bytes, bool bigEndian) {
  std::u16string text;
  text.reserve(bytes.size() / 2 + 1);
  for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
    const unsigned first = static_cast<unsigned char>(bytes[at]);
    const unsigned second = static_cast<unsigned char>(bytes[at + 1]);
    text += static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  }
  if (bytes.size() % 2 != 0) text += kReplacement;
  return text;
}

/// `bytes` in `codePage` as UTF-16; a sequence the code page does not map becomes what
/// MultiByteToWideChar gives for it.
std::u16string FromCodePage(UINT codePage, std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(std::min<size_t>(bytes.size(), INT_MAX));
  const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  std::u16string text(static_cast<size_t>(needed > 0 ? needed : 0), u'\0');
  if (needed > 0) MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), needed);
  return text;
}

}  // namespace

std::string DecodeScriptText(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return Cesu8FromUtf16(FromCodePage(CP_UTF8, bytes.substr(3)));
  if (bytes.starts_with("\xFF\xFE")) return Cesu8FromUtf16(Utf16Units(bytes.substr(2), false));
  if (bytes.starts_with("\xFE\xFF")) return Cesu8FromUtf16(Utf16Units(bytes.substr(2), true));
  if (IsUtf8(bytes)) return Cesu8FromUtf8(bytes);
  return Cesu8FromUtf16(FromCodePage(CP_ACP, bytes));
}

}  // namespace script_host
