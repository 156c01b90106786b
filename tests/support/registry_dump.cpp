#include "support/registry_dump.h"

#include <cstring>
#include <vector>

#include "pal/winnls.h"

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

std::string Utf8(std::u16string_view text) {
  if (text.empty()) return "";
  const int length = static_cast<int>(text.size());
  std::string out(static_cast<size_t>(length) * 3, '\0');
  const int written = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), static_cast<int>(out.size()),
                                          nullptr, nullptr);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

/// The lines of the values of `key`, whose path is `path`.
void CollectValues(HKEY key, const std::string& path, std::set<std::string>& lines) {
  for (DWORD index = 0;; ++index) {
    WCHAR name[256];
    DWORD length = 256;
    BYTE data[4096];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegEnumValueW(key, index, name, &length, nullptr, &type, data, &size) != ERROR_SUCCESS) return;
    std::string text;
    if (type == REG_DWORD) {
      DWORD number = 0;
      std::memcpy(&number, data, sizeof number);
      text = "dword:" + std::to_string(number);
    } else {
      text = Utf8(std::u16string_view(reinterpret_cast<const char16_t*>(data), size / sizeof(WCHAR) - 1));
    }
    lines.insert(path + " @" + Utf8(std::u16string_view(name, length)) + " = " + text);
  }
}

void CollectTree(HKEY key, const std::string& path, std::set<std::string>& lines) {
  if (!path.empty()) lines.insert(path);
  CollectValues(key, path, lines);
  for (DWORD index = 0;; ++index) {
    WCHAR name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return;
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    const std::string childName = Utf8(std::u16string_view(name, length));
    CollectTree(child, path.empty() ? childName : path + "\\" + childName, lines);
    RegCloseKey(child);
  }
}

}  // namespace

std::set<std::string> TreeBelow(HKEY root, const std::u16string& path) {
  std::set<std::string> lines;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return lines;
  CollectTree(key, "", lines);
  RegCloseKey(key);
  return lines;
}

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
