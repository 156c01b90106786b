#include "engine/xml_charset.h"

#include <strings.h>

#include <cstring>
#include <string>
#include <string_view>

#include "pal/winnls.h"

namespace prowlnet {
namespace {

constexpr UINT kGbk = 936;
constexpr UINT kGb18030 = 54936;

/// Whether the `size` bytes at `bytes` are well-formed UTF-8: no stray or missing continuation
/// bytes, no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(const unsigned char* bytes, size_t size) {
  for (size_t i = 0; i < size;) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if (lead < 0xC2 || lead > 0xF4) return false;
    const size_t trailing = lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    if (size - i <= trailing) return false;
    // The second byte's range is what rules out overlong forms, surrogates and the values
    // above U+10FFFF.
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (bytes[i + 1] < low || bytes[i + 1] > high) return false;
    for (size_t k = 2; k <= trailing; ++k) {
      if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF) return false;
    }
    i += trailing + 1;
  }
  return true;
}

bool IsUtf8(std::string_view text) { return IsUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size()); }

bool IsAscii(const char* text) {
  for (; *text != '\0'; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80) return false;
  }
  return true;
}

/// `text` converted from code page `from` to code page `to`. With `strict`, a sequence that
/// `from` does not map fails the conversion; otherwise it becomes a replacement, and so does a
/// character that `to` lacks.
std::optional<std::string> Recode(std::string_view text, UINT from, UINT to, bool strict) {
  const int size = static_cast<int>(text.size());
  const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
  const int units = MultiByteToWideChar(from, flags, text.data(), size, nullptr, 0);
  if (units <= 0) return std::nullopt;
  std::u16string wide(static_cast<size_t>(units), u'\0');
  MultiByteToWideChar(from, flags, text.data(), size, wide.data(), units);
  const int bytes = WideCharToMultiByte(to, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::nullopt;
  std::string result(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(to, 0, wide.data(), units, result.data(), bytes, nullptr, nullptr);
  return result;
}

/// Calls `visit(node)` for every node under `root`, `root` included, and every attribute of
/// each, in document order. Iterative: a deeply nested text must not exhaust the stack.
template <typename Visit>
void ForEachNodeAndAttribute(IXML_Node* root, Visit&& visit) {
  IXML_Node* node = root;
  while (node != nullptr) {
    visit(node);
    ForEachAttribute(node, visit);
    if (IXML_Node* child = ixmlNode_getFirstChild(node)) {
      node = child;
      continue;
    }
    while (node != root && ixmlNode_getNextSibling(node) == nullptr) node = ixmlNode_getParentNode(node);
    node = node == root ? nullptr : ixmlNode_getNextSibling(node);
  }
}

/// Converts every value of the document from UTF-8 back to `codePage`. Every code page read
/// here extends ASCII, so only values with other characters change; a character that the code
/// page lacks (only a character reference can bring one in) becomes its default character, as
/// the ANSI conversions do.
void ConvertValuesBack(IXML_Document* document, UINT codePage) {
  ForEachNodeAndAttribute(&document->n, [codePage](IXML_Node* node) {
    const char* value = ixmlNode_getNodeValue(node);
    if (value == nullptr || IsAscii(value)) return;
    if (const std::optional<std::string> converted = Recode(value, CP_UTF8, codePage, false))
      ixmlNode_setNodeValue(node, converted->c_str());
  });
}

/// The encoding name in `declaration` (the text between "<?xml" and "?>"), or empty.
std::string_view EncodingName(std::string_view declaration) {
  size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return {};
  at = declaration.find_first_not_of(" \t\r\n", at + std::strlen("encoding"));
  if (at == std::string_view::npos || declaration[at] != '=') return {};
  at = declaration.find_first_not_of(" \t\r\n", at + 1);
  if (at == std::string_view::npos || (declaration[at] != '"' && declaration[at] != '\'')) return {};
  const size_t end = declaration.find(declaration[at], at + 1);
  if (end == std::string_view::npos) return {};
  return declaration.substr(at + 1, end - at - 1);
}

bool NameIsNoCase(std::string_view name, const char* wanted) {
  return name.size() == std::strlen(wanted) && strncasecmp(name.data(), wanted, name.size()) == 0;
}

}  // namespace

std::optional<UINT> DeclaredChineseCodePage(const char* text) {
  constexpr std::string_view kOpening = "<?xml";
  if (text == nullptr || std::strncmp(text, kOpening.data(), kOpening.size()) != 0) return std::nullopt;
  const char* end = std::strstr(text, "?>");
  if (end == nullptr) return std::nullopt;
  const std::string_view name = EncodingName(std::string_view(text, static_cast<size_t>(end - text)));
  if (NameIsNoCase(name, "GB2312") || NameIsNoCase(name, "GBK")) return kGbk;
  if (NameIsNoCase(name, "GB18030")) return kGb18030;
  return std::nullopt;
}

OwnedDocument ParseTextIn(const char* text, std::optional<UINT> codePage) {
  if (text == nullptr || codePage == std::nullopt || IsUtf8(text)) return ParseDocument(text);
  const std::optional<std::string> utf8 = Recode(text, *codePage, CP_UTF8, true);
  if (!utf8) return ParseDocument(text);
  OwnedDocument document = ParseDocument(utf8->c_str());
  if (document != nullptr) ConvertValuesBack(document.get(), *codePage);
  return document;
}

OwnedDocument ParseTextOrAnsi(const char* text) {
  return ParseTextIn(text, DeclaredChineseCodePage(text).value_or(CP_ACP));
}

}  // namespace prowlnet
