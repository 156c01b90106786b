// Carries out registry scripts (see pal/statreg.h for the grammar and the removal rules).
#include <optional>

#include "atl/registry_script.h"
#include "kernel32/utf16.h"
#include "pal/kernel32.h"
#include "pal/libloader.h"
#include "pal/statreg.h"

namespace {

using pal::atl::Removal;
using pal::atl::ScriptEntry;
using pal::atl::ScriptValue;

/// Closes a registry key at the end of a scope.
class OpenKey {
 public:
  OpenKey() = default;
  ~OpenKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

LSTATUS SetValue(HKEY key, const char16_t* name, const ScriptValue& value) {
  if (value.type == REG_DWORD)
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number), sizeof(DWORD));
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                        static_cast<DWORD>((value.text.size() + 1) * sizeof(WCHAR)));
}

/// Deletes a key with everything below it; a key that is not there is no failure.
LSTATUS DeleteTreeIfPresent(HKEY parent, const std::u16string& name) {
  const LSTATUS status = RegDeleteTreeW(parent, name.c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS RegisterEntries(HKEY parent, const std::vector<ScriptEntry>& entries);

LSTATUS RegisterEntry(HKEY parent, const ScriptEntry& entry) {
  if (entry.isNamedValue) return SetValue(parent, entry.name.c_str(), *entry.value);
  if (entry.removal == Removal::kDelete) return DeleteTreeIfPresent(parent, entry.name);
  if (entry.removal == Removal::kForceRemove) {
    const LSTATUS status = DeleteTreeIfPresent(parent, entry.name);
    if (status != ERROR_SUCCESS) return status;
  }
  OpenKey key;
  LSTATUS status = RegCreateKeyExW(parent, entry.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  if (entry.value) {
    status = SetValue(key.get(), nullptr, *entry.value);
    if (status != ERROR_SUCCESS) return status;
  }
  return RegisterEntries(key.get(), entry.entries);
}

LSTATUS RegisterEntries(HKEY parent, const std::vector<ScriptEntry>& entries) {
  for (const ScriptEntry& entry : entries) {
    const LSTATUS status = RegisterEntry(parent, entry);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

bool KeepsSomethingBelow(const ScriptEntry& entry) {
  for (const ScriptEntry& inner : entry.entries) {
    if (inner.removal == Removal::kNoRemove || KeepsSomethingBelow(inner)) return true;
  }
  return false;
}

bool HasSubkeys(HKEY key) {
  WCHAR name[256];
  DWORD length = 256;
  return RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_NO_MORE_ITEMS;
}

LSTATUS UnregisterEntries(HKEY parent, const std::vector<ScriptEntry>& entries);

LSTATUS UnregisterEntry(HKEY parent, const ScriptEntry& entry) {
  if (entry.isNamedValue) {
    const LSTATUS status = RegDeleteValueW(parent, entry.name.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
  }
  if (entry.removal == Removal::kDelete) return ERROR_SUCCESS;
  bool empty = false;
  {
    OpenKey key;
    const LSTATUS opened = RegOpenKeyExW(parent, entry.name.c_str(), 0, KEY_ALL_ACCESS, key.out());
    if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (opened != ERROR_SUCCESS) return opened;
    const LSTATUS status = UnregisterEntries(key.get(), entry.entries);
    if (status != ERROR_SUCCESS) return status;
    empty = !HasSubkeys(key.get());
  }
  if (entry.removal == Removal::kNoRemove) return ERROR_SUCCESS;
  if (entry.removal == Removal::kForceRemove && !KeepsSomethingBelow(entry)) return DeleteTreeIfPresent(parent, entry.name);
  if (!empty) return ERROR_SUCCESS;
  const LSTATUS status = RegDeleteKeyW(parent, entry.name.c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS UnregisterEntries(HKEY parent, const std::vector<ScriptEntry>& entries) {
  for (const ScriptEntry& entry : entries) {
    const LSTATUS status = UnregisterEntry(parent, entry);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

}  // namespace

namespace ATL {

HRESULT CRegObject::AddReplacement(LPCOLESTR key, LPCOLESTR item) {
  if (key == nullptr || item == nullptr) return E_INVALIDARG;
  replacements_[pal::internal::FoldedAscii(key)] = item;
  return S_OK;
}

HRESULT CRegObject::ClearReplacements() {
  replacements_.clear();
  return S_OK;
}

HRESULT CRegObject::StringRegister(LPCOLESTR script) { return Run(script, true); }

HRESULT CRegObject::StringUnregister(LPCOLESTR script) { return Run(script, false); }

HRESULT CRegObject::ResourceRegister(LPCOLESTR moduleFileName, UINT id, LPCOLESTR type) {
  return RunResource(moduleFileName, id, type, true);
}

HRESULT CRegObject::ResourceUnregister(LPCOLESTR moduleFileName, UINT id, LPCOLESTR type) {
  return RunResource(moduleFileName, id, type, false);
}

HRESULT CRegObject::RunResource(LPCOLESTR moduleFileName, UINT id, LPCOLESTR type, bool registering) {
  if (moduleFileName == nullptr || type == nullptr || id > 0xFFFF) return E_INVALIDARG;
  HMODULE module = LoadLibraryW(moduleFileName);
  if (module == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(static_cast<WORD>(id)), type);
  HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
  if (found != nullptr) {
    // The script is UTF-16 text, not terminated: its size says where it ends.
    const auto* text = static_cast<const char16_t*>(LockResource(LoadResource(module, found)));
    const std::u16string script(text, SizeofResource(module, found) / sizeof(char16_t));
    hr = Run(script.c_str(), registering);
  }
  FreeLibrary(module);
  return hr;
}

HRESULT CRegObject::Run(LPCOLESTR script, bool registering) {
  if (script == nullptr) return E_INVALIDARG;
  const auto roots = pal::atl::ParseScript(script, replacements_);
  if (!roots) return DISP_E_EXCEPTION;
  for (const pal::atl::ScriptRoot& root : *roots) {
    const LSTATUS status = registering ? RegisterEntries(root.key, root.entries) : UnregisterEntries(root.key, root.entries);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  }
  return S_OK;
}

}  // namespace ATL
