// Identifiers as text: "{6B29FC40-CA47-1067-B31D-00DD010662DA}".
#include <cstdio>
#include <optional>
#include <string>

#include "advapi32/registry_strings.h"
#include "kernel32/utf16.h"
#include "pal/objbase.h"

namespace {

constexpr int kGuidTextLength = 38;

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

/// Reads `digits` hex digits at `text[at]`.
std::optional<DWORD> HexField(std::u16string_view text, size_t at, size_t digits) {
  DWORD value = 0;
  for (size_t i = at; i < at + digits; ++i) {
    const int digit = HexValue(text[i]);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<DWORD>(digit);
  }
  return value;
}

/// The identifier of braced text in the registry form, or nothing.
std::optional<GUID> BracedGuid(std::u16string_view text) {
  if (text.size() != kGuidTextLength || text[0] != u'{' || text[37] != u'}') return std::nullopt;
  for (size_t dash : {9, 14, 19, 24}) {
    if (text[dash] != u'-') return std::nullopt;
  }
  const auto data1 = HexField(text, 1, 8);
  const auto data2 = HexField(text, 10, 4);
  const auto data3 = HexField(text, 15, 4);
  if (!data1 || !data2 || !data3) return std::nullopt;
  GUID guid{*data1, static_cast<WORD>(*data2), static_cast<WORD>(*data3), {}};
  static constexpr size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (size_t i = 0; i < 8; ++i) {
    const auto byte = HexField(text, kByteAt[i], 2);
    if (!byte) return std::nullopt;
    guid.Data4[i] = static_cast<BYTE>(*byte);
  }
  return guid;
}

std::optional<GUID> ClassOfProgId(const std::u16string& progId) {
  const std::optional<std::u16string> text = pal::internal::ReadRegistryString(HKEY_CLASSES_ROOT, progId + u"\\CLSID", nullptr);
  return text ? BracedGuid(*text) : std::nullopt;
}

}  // namespace

int StringFromGUID2(REFGUID guid, LPOLESTR text, int size) {
  if (text == nullptr || size < kGuidTextLength + 1) return 0;
  char narrow[kGuidTextLength + 1];
  std::snprintf(narrow, sizeof narrow, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  for (int i = 0; i <= kGuidTextLength; ++i) text[i] = static_cast<OLECHAR>(narrow[i]);
  return kGuidTextLength + 1;
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid) {
  if (iid == nullptr) return E_INVALIDARG;
  const std::optional<GUID> guid = BracedGuid(pal::internal::ViewOf(text));
  if (!guid) return E_INVALIDARG;
  *iid = *guid;
  return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid) {
  if (clsid == nullptr) return E_INVALIDARG;
  const std::u16string_view view = pal::internal::ViewOf(text);
  if (!view.empty() && view[0] == u'{') {
    const std::optional<GUID> guid = BracedGuid(view);
    if (!guid) return CO_E_CLASSSTRING;
    *clsid = *guid;
    return S_OK;
  }
  return SUCCEEDED(CLSIDFromProgID(text, clsid)) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
  if (progId == nullptr || clsid == nullptr) return E_INVALIDARG;
  const std::u16string name(progId);
  std::optional<GUID> guid;
  // A version-independent ProgID names its current version; that version's class wins.
  const std::optional<std::u16string> current = pal::internal::ReadRegistryString(HKEY_CLASSES_ROOT, name + u"\\CurVer", nullptr);
  if (current && !current->empty() && !pal::internal::EqualIgnoringAsciiCase(*current, name)) guid = ClassOfProgId(*current);
  if (!guid) guid = ClassOfProgId(name);
  if (!guid) return CO_E_CLASSSTRING;
  *clsid = *guid;
  return S_OK;
}
