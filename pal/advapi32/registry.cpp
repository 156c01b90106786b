// The registry calls. A handle names a key by its path; every call finds the key again in the
// registry as it is now, so a key deleted by anyone since it was opened reads as ERROR_KEY_DELETED.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "advapi32/registry_store.h"
#include "internal/loud.h"
#include "kernel32/handles.h"
#include "kernel32/utf16.h"
#include "pal/winreg.h"

namespace {

using pal::internal::Unsupported;
using pal::internal::ViewOf;
using pal::registry::Hives;
using pal::registry::Key;
using pal::registry::Value;

enum class Hive { kMachine, kUser };

struct Location {
  Hive hive = Hive::kMachine;
  std::vector<std::u16string> path;
  REGSAM access = KEY_ALL_ACCESS;
};

struct KeyObject : pal::internal::KernelObject {
  Location location;
};

std::optional<Location> PredefinedLocation(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return Location{Hive::kMachine, {u"SOFTWARE", u"Classes"}};
  if (key == HKEY_LOCAL_MACHINE) return Location{Hive::kMachine, {}};
  if (key == HKEY_CURRENT_USER) return Location{Hive::kUser, {}};
  return std::nullopt;
}

bool IsPredefined(HKEY key) { return PredefinedLocation(key).has_value(); }

std::optional<Location> LocationOf(HKEY key) {
  if (std::optional<Location> predefined = PredefinedLocation(key)) return predefined;
  auto object = std::dynamic_pointer_cast<KeyObject>(pal::internal::LookUpHandle(key));
  if (object == nullptr) return std::nullopt;
  return object->location;
}

Key& HiveRoot(Hives& hives, Hive hive) { return hive == Hive::kMachine ? hives.machine : hives.user; }

/// The key at `location` in `hives`, or null once it has been deleted. The keys of the predefined
/// handles always exist, as they do on Windows.
Key* KeyAt(Hives& hives, const Location& location) {
  Key* key = &HiveRoot(hives, location.hive);
  const bool isPredefinedPath = location.hive == Hive::kMachine && location.path.size() == 2 &&
                                location.path[0] == u"SOFTWARE" && location.path[1] == u"Classes";
  for (const std::u16string& name : location.path) {
    key = isPredefinedPath ? &key->FindOrCreate(name, nullptr) : key->Find(name);
    if (key == nullptr) return nullptr;
  }
  return key;
}

/// The names of a backslash-separated path; names may hold no control characters.
std::vector<std::u16string> NamesOf(const char* call, std::u16string_view path) {
  std::vector<std::u16string> names;
  if (path.empty()) return names;
  size_t start = 0;
  for (;;) {
    const size_t end = path.find(u'\\', start);
    std::u16string_view name = path.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (name.empty()) Unsupported(call, "an empty key name in a path");
    for (char16_t c : name) {
      if (c < 0x20) Unsupported(call, "a control character in a key name");
    }
    names.emplace_back(name);
    if (end == std::u16string_view::npos) return names;
    start = end + 1;
  }
}

HKEY NewHandle(Location location) {
  auto object = std::make_shared<KeyObject>();
  object->location = std::move(location);
  return reinterpret_cast<HKEY>(pal::internal::InsertHandle(std::move(object)));
}

REGSAM Granted(REGSAM desired) {
  desired &= ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY);  // one registry view: both name the same keys
  return (desired & MAXIMUM_ALLOWED) != 0 ? KEY_ALL_ACCESS : desired;
}

bool Allows(const Location& location, REGSAM needed) { return (location.access & needed) == needed; }

Location Below(const Location& parent, const std::vector<std::u16string>& names, REGSAM access) {
  Location child = parent;
  child.path.insert(child.path.end(), names.begin(), names.end());
  child.access = access;
  return child;
}

}  // namespace

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR keyClass, DWORD options, REGSAM desired,
                        const SECURITY_ATTRIBUTES* security, PHKEY result, LPDWORD disposition) {
  if (keyClass != nullptr && keyClass[0] != 0) Unsupported("RegCreateKeyExW", "a key class");
  if (options != REG_OPTION_NON_VOLATILE) Unsupported("RegCreateKeyExW", "options other than non-volatile");
  if (security != nullptr) Unsupported("RegCreateKeyExW", "security attributes");
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::optional<Location> parent = LocationOf(key);
  if (!parent) return ERROR_INVALID_HANDLE;
  const std::vector<std::u16string> names = NamesOf("RegCreateKeyExW", ViewOf(subKey));
  if (!names.empty() && !Allows(*parent, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;

  bool created = false;
  const LSTATUS status = pal::registry::ChangeRegistry([&](Hives& hives) -> LONG {
    Key* current = KeyAt(hives, *parent);
    if (current == nullptr) return ERROR_KEY_DELETED;
    for (const std::u16string& name : names) current = &current->FindOrCreate(name, &created);
    return ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS) return status;
  *result = NewHandle(Below(*parent, names, Granted(desired)));
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
  if (options != 0) Unsupported("RegOpenKeyExW", "options");
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::optional<Location> parent = LocationOf(key);
  if (!parent) return ERROR_INVALID_HANDLE;
  const Location location = Below(*parent, NamesOf("RegOpenKeyExW", ViewOf(subKey)), Granted(desired));
  const LSTATUS status = pal::registry::ReadRegistry([&](Hives& hives) -> LONG {
    if (KeyAt(hives, *parent) == nullptr) return ERROR_KEY_DELETED;
    return KeyAt(hives, location) == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
  });
  if (status == ERROR_SUCCESS) *result = NewHandle(location);
  return status;
}

LSTATUS RegCloseKey(HKEY key) {
  if (IsPredefined(key)) return ERROR_SUCCESS;
  if (std::dynamic_pointer_cast<KeyObject>(pal::internal::LookUpHandle(key)) == nullptr) return ERROR_INVALID_HANDLE;
  pal::internal::RemoveHandle(key);
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  Value value;
  value.name = ViewOf(name);
  value.type = type;
  if (type == REG_SZ) {
    if (data == nullptr || size < sizeof(WCHAR) || size % sizeof(WCHAR) != 0)
      Unsupported("RegSetValueExW", "REG_SZ data that is not a terminated string");
    value.text.resize(size / sizeof(WCHAR));
    std::memcpy(value.text.data(), data, size);
    if (value.text.back() != 0 || value.text.find(u'\0') != value.text.size() - 1)
      Unsupported("RegSetValueExW", "REG_SZ data that is not one terminated string");
    value.text.pop_back();
  } else if (type == REG_DWORD) {
    if (data == nullptr || size != sizeof(DWORD)) Unsupported("RegSetValueExW", "REG_DWORD data of other than 4 bytes");
    std::memcpy(&value.number, data, sizeof(DWORD));
  } else {
    Unsupported("RegSetValueExW", "value types other than REG_SZ and REG_DWORD");
  }
  std::optional<Location> location = LocationOf(key);
  if (!location) return ERROR_INVALID_HANDLE;
  if (!Allows(*location, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return pal::registry::ChangeRegistry([&](Hives& hives) -> LONG {
    Key* target = KeyAt(hives, *location);
    if (target == nullptr) return ERROR_KEY_DELETED;
    target->SetValue(std::move(value));
    return ERROR_SUCCESS;
  });
}

namespace {

/// The bytes a value reads as: a string with its terminator, or the 4 bytes of a number.
std::vector<BYTE> BytesOf(const Value& value) {
  std::vector<BYTE> bytes;
  if (value.type == REG_DWORD) {
    bytes.resize(sizeof(DWORD));
    std::memcpy(bytes.data(), &value.number, sizeof(DWORD));
  } else {
    bytes.resize((value.text.size() + 1) * sizeof(WCHAR), 0);
    std::memcpy(bytes.data(), value.text.data(), value.text.size() * sizeof(WCHAR));
  }
  return bytes;
}

/// The value's type, and its bytes as far as `*size` allows, as the query calls give them out.
LSTATUS CopyValueOut(const Value& value, LPDWORD type, LPBYTE data, LPDWORD size) {
  const std::vector<BYTE> bytes = BytesOf(value);
  if (type != nullptr) *type = value.type;
  if (size == nullptr) return ERROR_SUCCESS;
  const DWORD available = *size;
  *size = static_cast<DWORD>(bytes.size());
  if (data == nullptr) return ERROR_SUCCESS;
  if (available < bytes.size()) return ERROR_MORE_DATA;
  std::memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  std::optional<Location> location = LocationOf(key);
  if (!location) return ERROR_INVALID_HANDLE;
  if (!Allows(*location, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  std::optional<Value> found;
  const LSTATUS status = pal::registry::ReadRegistry([&](Hives& hives) -> LONG {
    Key* target = KeyAt(hives, *location);
    if (target == nullptr) return ERROR_KEY_DELETED;
    if (const Value* value = target->FindValue(ViewOf(name))) found = *value;
    return found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
  if (status != ERROR_SUCCESS) return status;
  return CopyValueOut(*found, type, data, size);
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name) {
  std::optional<Location> location = LocationOf(key);
  if (!location) return ERROR_INVALID_HANDLE;
  if (!Allows(*location, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return pal::registry::ChangeRegistry([&](Hives& hives) -> LONG {
    Key* target = KeyAt(hives, *location);
    if (target == nullptr) return ERROR_KEY_DELETED;
    return target->RemoveValue(ViewOf(name)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD, LPWSTR keyClass,
                      LPDWORD classLength, PFILETIME lastWriteTime) {
  if (keyClass != nullptr || classLength != nullptr) Unsupported("RegEnumKeyExW", "key classes");
  if (lastWriteTime != nullptr) Unsupported("RegEnumKeyExW", "last write times");
  if (name == nullptr || nameLength == nullptr) return ERROR_INVALID_PARAMETER;
  std::optional<Location> location = LocationOf(key);
  if (!location) return ERROR_INVALID_HANDLE;
  if (!Allows(*location, KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  std::u16string found;
  const LSTATUS status = pal::registry::ReadRegistry([&](Hives& hives) -> LONG {
    Key* target = KeyAt(hives, *location);
    if (target == nullptr) return ERROR_KEY_DELETED;
    const std::vector<const Key*> subkeys = target->Subkeys();
    if (index >= subkeys.size()) return ERROR_NO_MORE_ITEMS;
    found = subkeys[index]->name();
    return ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS) return status;
  if (found.size() + 1 > *nameLength) return ERROR_MORE_DATA;
  std::memcpy(name, found.c_str(), (found.size() + 1) * sizeof(WCHAR));
  *nameLength = static_cast<DWORD>(found.size());
  return ERROR_SUCCESS;
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD size) {
  if (name == nullptr || nameLength == nullptr || (data != nullptr && size == nullptr)) return ERROR_INVALID_PARAMETER;
  std::optional<Location> location = LocationOf(key);
  if (!location) return ERROR_INVALID_HANDLE;
  if (!Allows(*location, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  std::optional<Value> found;
  const LSTATUS status = pal::registry::ReadRegistry([&](Hives& hives) -> LONG {
    Key* target = KeyAt(hives, *location);
    if (target == nullptr) return ERROR_KEY_DELETED;
    if (index >= target->values().size()) return ERROR_NO_MORE_ITEMS;
    found = target->values()[index];
    return ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS) return status;
  if (found->name.size() + 1 > *nameLength) return ERROR_MORE_DATA;
  std::memcpy(name, found->name.c_str(), (found->name.size() + 1) * sizeof(WCHAR));
  *nameLength = static_cast<DWORD>(found->name.size());
  return CopyValueOut(*found, type, data, size);
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  if (subKey == nullptr || subKey[0] == 0) Unsupported("RegDeleteKeyW", "deleting the key of the handle itself");
  std::optional<Location> parent = LocationOf(key);
  if (!parent) return ERROR_INVALID_HANDLE;
  std::vector<std::u16string> names = NamesOf("RegDeleteKeyW", ViewOf(subKey));
  const std::u16string last = names.back();
  names.pop_back();
  const Location container = Below(*parent, names, parent->access);
  return pal::registry::ChangeRegistry([&](Hives& hives) -> LONG {
    if (KeyAt(hives, *parent) == nullptr) return ERROR_KEY_DELETED;
    Key* holder = KeyAt(hives, container);
    Key* doomed = holder == nullptr ? nullptr : holder->Find(last);
    if (doomed == nullptr) return ERROR_FILE_NOT_FOUND;
    if (doomed->HasSubkeys()) return ERROR_ACCESS_DENIED;
    holder->Remove(last);
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
  std::optional<Location> parent = LocationOf(key);
  if (!parent) return ERROR_INVALID_HANDLE;
  std::vector<std::u16string> names = NamesOf("RegDeleteTreeW", ViewOf(subKey));
  if (names.empty()) {
    if (!Allows(*parent, KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    return pal::registry::ChangeRegistry([&](Hives& hives) -> LONG {
      Key* target = KeyAt(hives, *parent);
      if (target == nullptr) return ERROR_KEY_DELETED;
      target->RemoveAllSubkeys();
      target->RemoveAllValues();
      return ERROR_SUCCESS;
    });
  }
  const std::u16string last = names.back();
  names.pop_back();
  const Location container = Below(*parent, names, parent->access);
  return pal::registry::ChangeRegistry([&](Hives& hives) -> LONG {
    if (KeyAt(hives, *parent) == nullptr) return ERROR_KEY_DELETED;
    Key* holder = KeyAt(hives, container);
    return holder != nullptr && holder->Remove(last) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}
