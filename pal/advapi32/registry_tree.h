// The registry in memory: a tree of keys, each with named values, for as long as one call needs it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pal/windef.h"

namespace pal::registry {

struct Value {
  std::u16string name;  // empty for the default value
  DWORD type = 0;       // REG_SZ or REG_DWORD
  std::u16string text;  // REG_SZ, without its terminator
  DWORD number = 0;     // REG_DWORD
};

class Key {
 public:
  explicit Key(std::u16string name) : name_(std::move(name)) {}

  const std::u16string& name() const { return name_; }

  Key* Find(std::u16string_view name) const;
  /// The subkey `name`, made if missing; `*created` says which.
  Key& FindOrCreate(std::u16string_view name, bool* created);
  /// Removes subkey `name` with everything below it; false if there was none.
  bool Remove(std::u16string_view name);
  /// Subkeys in the order of their upper-cased names.
  std::vector<const Key*> Subkeys() const;
  bool HasSubkeys() const { return !subkeys_.empty(); }
  void RemoveAllSubkeys() { subkeys_.clear(); }

  const Value* FindValue(std::u16string_view name) const;
  void SetValue(Value value);
  bool RemoveValue(std::u16string_view name);
  const std::vector<Value>& values() const { return values_; }
  void RemoveAllValues() { values_.clear(); }

 private:
  std::u16string name_;
  std::vector<Value> values_;  // in the order they were first set
  std::map<std::u16string, std::unique_ptr<Key>> subkeys_;  // by upper-cased name
};

/// The two hives kept in the file.
struct Hives {
  Key machine{u"HKEY_LOCAL_MACHINE"};
  Key user{u"HKEY_CURRENT_USER"};
};

/// The key at `path` below `root`, or null.
Key* Walk(Key& root, const std::vector<std::u16string>& path);

}  // namespace pal::registry
