// What the registry says about a class of OLE objects: status flags, user type names, verbs.
#include <cstring>
#include <optional>
#include <string>

#include "advapi32/registry_strings.h"
#include "internal/loud.h"
#include "kernel32/utf16.h"
#include "pal/oleidl.h"

namespace {

using pal::internal::ReadRegistryString;

std::u16string ClassKeyOf(REFCLSID clsid) {
  OLECHAR text[40];
  StringFromGUID2(clsid, text, 40);
  return u"CLSID\\" + std::u16string(text);
}

bool KeyExists(const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

/// The decimal number of a registry text, as the status flags are written; 0 for none.
DWORD NumberOf(const std::u16string& text) {
  DWORD value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') break;
    value = value * 10 + static_cast<DWORD>(c - u'0');
  }
  return value;
}

/// A task-memory copy of `text`, or null.
LPOLESTR TaskCopy(const std::u16string& text) {
  const size_t bytes = (text.size() + 1) * sizeof(OLECHAR);
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

}  // namespace

HRESULT OleRegGetMiscStatus(REFCLSID clsid, DWORD aspect, DWORD* status) {
  if (status == nullptr) return E_INVALIDARG;
  *status = 0;
  const std::u16string classKey = ClassKeyOf(clsid);
  if (!KeyExists(classKey)) return REGDB_E_CLASSNOTREG;
  const std::u16string miscKey = classKey + u"\\MiscStatus";
  std::optional<std::u16string> value = ReadRegistryString(HKEY_CLASSES_ROOT, miscKey + u"\\" + pal::internal::Utf16Of(std::to_string(aspect)), nullptr);
  if (!value) value = ReadRegistryString(HKEY_CLASSES_ROOT, miscKey, nullptr);
  if (value) *status = NumberOf(*value);
  return S_OK;
}

HRESULT OleRegGetUserType(REFCLSID clsid, DWORD form, LPOLESTR* userType) {
  if (userType == nullptr) return E_INVALIDARG;
  *userType = nullptr;
  const std::u16string classKey = ClassKeyOf(clsid);
  if (!KeyExists(classKey)) return REGDB_E_CLASSNOTREG;
  std::optional<std::u16string> name;
  if (form != USERCLASSTYPE_FULL)
    name = ReadRegistryString(HKEY_CLASSES_ROOT, classKey + u"\\AuxUserType\\" + pal::internal::Utf16Of(std::to_string(form)), nullptr);
  if (!name) name = ReadRegistryString(HKEY_CLASSES_ROOT, classKey, nullptr);
  if (!name) return REGDB_E_READREGDB;
  *userType = TaskCopy(*name);
  return *userType == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT OleRegEnumVerbs(REFCLSID clsid, IEnumOLEVERB** verbs) {
  if (verbs == nullptr) return E_INVALIDARG;
  *verbs = nullptr;
  const std::u16string classKey = ClassKeyOf(clsid);
  if (!KeyExists(classKey)) return REGDB_E_CLASSNOTREG;
  if (KeyExists(classKey + u"\\Verb")) pal::internal::Unsupported("OleRegEnumVerbs", "classes with registered verbs");
  return OLEOBJ_E_NOVERBS;
}
