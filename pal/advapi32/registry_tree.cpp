#include "advapi32/registry_tree.h"

#include <algorithm>

#include "kernel32/utf16.h"

namespace pal::registry {

using internal::EqualIgnoringAsciiCase;
using internal::FoldedAscii;

Key* Key::Find(std::u16string_view name) const {
  auto found = subkeys_.find(FoldedAscii(name));
  return found == subkeys_.end() ? nullptr : found->second.get();
}

Key& Key::FindOrCreate(std::u16string_view name, bool* created) {
  auto [slot, inserted] = subkeys_.try_emplace(FoldedAscii(name));
  if (inserted) slot->second = std::make_unique<Key>(std::u16string(name));
  if (created != nullptr) *created = inserted;
  return *slot->second;
}

bool Key::Remove(std::u16string_view name) { return subkeys_.erase(FoldedAscii(name)) == 1; }

std::vector<const Key*> Key::Subkeys() const {
  std::vector<const Key*> keys;
  keys.reserve(subkeys_.size());
  for (const auto& [folded, key] : subkeys_) keys.push_back(key.get());
  return keys;
}

const Value* Key::FindValue(std::u16string_view name) const {
  for (const Value& value : values_) {
    if (EqualIgnoringAsciiCase(value.name, name)) return &value;
  }
  return nullptr;
}

void Key::SetValue(Value value) {
  for (Value& existing : values_) {
    if (!EqualIgnoringAsciiCase(existing.name, value.name)) continue;
    // The first spelling of the name stays, as on Windows.
    value.name = existing.name;
    existing = std::move(value);
    return;
  }
  values_.push_back(std::move(value));
}

bool Key::RemoveValue(std::u16string_view name) {
  auto found = std::find_if(values_.begin(), values_.end(),
                            [&](const Value& value) { return EqualIgnoringAsciiCase(value.name, name); });
  if (found == values_.end()) return false;
  values_.erase(found);
  return true;
}

Key* Walk(Key& root, const std::vector<std::u16string>& path) {
  Key* key = &root;
  for (const std::u16string& name : path) {
    key = key->Find(name);
    if (key == nullptr) return nullptr;
  }
  return key;
}

}  // namespace pal::registry
