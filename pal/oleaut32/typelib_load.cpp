// Loading type libraries from the data their modules carry, by path or by registration.
#include <cstdio>
#include <optional>
#include <string>

#include "advapi32/registry_strings.h"
#include "internal/loud.h"
#include "kernel32/utf16.h"
#include "oleaut32/typelib.h"
#include "pal/libloader.h"

namespace {

struct ResourcePath {
  std::u16string module;
  UINT resource = 1;
};

/// Splits "module\N" into the module and resource N; a plain path is resource 1.
ResourcePath SplitResource(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  if (slash == std::u16string_view::npos || slash + 1 == path.size()) return {std::u16string(path), 1};
  UINT resource = 0;
  for (char16_t c : path.substr(slash + 1)) {
    if (c < u'0' || c > u'9' || resource > 0xFFFF) return {std::u16string(path), 1};
    resource = resource * 10 + (c - u'0');
  }
  return {std::u16string(path.substr(0, slash)), resource};
}

/// The library of TYPELIB resource `resource` of the module at `path`, copied out of the module.
HRESULT LoadFromModule(const std::u16string& path, UINT resource, ITypeLib** lib) {
  HMODULE module = LoadLibraryW(path.c_str());
  if (module == nullptr) return TYPE_E_CANTLOADLIBRARY;
  HRSRC found = resource > 0xFFFF ? nullptr : FindResourceW(module, MAKEINTRESOURCEW(static_cast<WORD>(resource)), u"TYPELIB");
  const auto* data = found == nullptr ? nullptr : static_cast<const pal::TypeLibData*>(LockResource(LoadResource(module, found)));
  std::optional<pal::oleaut32::Library> library;
  if (data != nullptr) library = pal::oleaut32::LibraryOf(*data);
  FreeLibrary(module);
  if (data == nullptr) return TYPE_E_CANTLOADLIBRARY;
  if (!library) return TYPE_E_INVDATAREAD;
  *lib = new pal::oleaut32::TypeLib(std::move(*library));
  return S_OK;
}

std::u16string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return pal::internal::Utf16Of(text);
}

std::u16string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

/// The registered version "major.minor" with the highest minor at least `minor`, or nothing.
std::optional<std::u16string> RegisteredVersion(const std::u16string& libKey, WORD major, WORD minor) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, libKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  std::optional<std::u16string> best;
  unsigned bestMinor = 0;
  WCHAR name[64];
  for (DWORD index = 0;; ++index) {
    DWORD length = 64;
    if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    unsigned foundMajor = 0, foundMinor = 0;
    char narrow[64];
    std::snprintf(narrow, sizeof narrow, "%s", pal::internal::Utf8Of(name).c_str());
    if (std::sscanf(narrow, "%x.%x", &foundMajor, &foundMinor) != 2 || foundMajor != major || foundMinor < minor) continue;
    if (!best || foundMinor > bestMinor) {
      best = name;
      bestMinor = foundMinor;
    }
  }
  RegCloseKey(key);
  return best;
}

}  // namespace

HRESULT LoadTypeLib(LPCOLESTR path, ITypeLib** lib) {
  if (path == nullptr || lib == nullptr) return E_INVALIDARG;
  *lib = nullptr;
  const ResourcePath split = SplitResource(path);
  if (split.module.find_first_of(u"/\\:") == std::u16string::npos)
    pal::internal::Unsupported("LoadTypeLib", "a file name without a path");
  return LoadFromModule(split.module, split.resource, lib);
}

HRESULT LoadRegTypeLib(REFGUID guid, WORD major, WORD minor, LCID lcid, ITypeLib** lib) {
  if (lib == nullptr) return E_INVALIDARG;
  *lib = nullptr;
  const std::u16string libKey = u"TypeLib\\" + GuidText(guid);
  const std::optional<std::u16string> version = RegisteredVersion(libKey, major, minor);
  if (!version) return TYPE_E_LIBNOTREGISTERED;
  for (unsigned locale : {static_cast<unsigned>(lcid), static_cast<unsigned>(lcid & 0x3FF), 0u}) {
    const std::optional<std::u16string> path =
        pal::internal::ReadRegistryString(HKEY_CLASSES_ROOT, libKey + u"\\" + *version + u"\\" + Hex(locale) + u"\\win32", nullptr);
    if (path) return LoadTypeLib(path->c_str(), lib);
  }
  return TYPE_E_LIBNOTREGISTERED;
}
