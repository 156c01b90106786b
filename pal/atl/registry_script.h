// Registry scripts read into a tree of entries, before any of them is carried out.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pal/winreg.h"

namespace pal::atl {

struct ScriptValue {
  DWORD type = REG_SZ;  // REG_SZ or REG_DWORD
  std::u16string text;
  DWORD number = 0;
};

enum class Removal { kNormal, kForceRemove, kNoRemove, kDelete };

struct ScriptEntry {
  std::u16string name;
  bool isNamedValue = false;  // "val name = ..."
  Removal removal = Removal::kNormal;
  std::optional<ScriptValue> value;  // the default value of a key, or the named value
  std::vector<ScriptEntry> entries;  // below a key
};

struct ScriptRoot {
  HKEY key = nullptr;
  std::vector<ScriptEntry> entries;
};

/// `script` with each %NAME% replaced from `replacements` (keyed by upper-cased name) and each %%
/// by %; nothing when a name has no replacement or a % is not closed.
std::optional<std::u16string> Expand(std::u16string_view script, const std::map<std::u16string, std::u16string>& replacements);

/// The roots and entries of an expanded script; nothing when it does not parse.
std::optional<std::vector<ScriptRoot>> ParseScript(std::u16string_view script);

}  // namespace pal::atl
