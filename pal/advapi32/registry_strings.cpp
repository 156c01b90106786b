#include "advapi32/registry_strings.h"

#include <vector>

namespace pal::internal {

std::optional<std::u16string> ReadRegistryString(HKEY root, const std::u16string& path, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  std::vector<WCHAR> text(size / sizeof(WCHAR) + 1, 0);
  if (status == ERROR_SUCCESS && type == REG_SZ)
    status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  return std::u16string(text.data());
}

LSTATUS WriteRegistryString(HKEY root, const std::u16string& path, const char16_t* name, const std::u16string& text) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
  RegCloseKey(key);
  return status;
}

}  // namespace pal::internal
