#include "support/registry_dump.h"

#include <vector>

namespace test_support {
namespace {

void Collect(HKEY key, const std::string& prefix, std::set<std::string>& keys) {
  for (DWORD index = 0;; ++index) {
    WCHAR name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return;
    const std::string path = prefix + Narrow(name);
    keys.insert(path);
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    Collect(child, path + "\\", keys);
    RegCloseKey(child);
  }
}

}  // namespace

std::set<std::string> KeysBelow(HKEY root, const std::u16string& path) {
  std::set<std::string> keys;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return keys;
  Collect(key, "", keys);
  RegCloseKey(key);
  return keys;
}

std::optional<std::string> StringValue(HKEY root, const std::u16string& path, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  WCHAR buffer[512];
  DWORD size = sizeof buffer;
  DWORD type = 0;
  const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  return Narrow(std::u16string_view(buffer, size / sizeof(WCHAR) - 1));
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace test_support
