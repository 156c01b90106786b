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

using Replacements = std::map<std::u16string, std::u16string>;  // by upper-cased name

/// The roots and entries of a script, each %NAME% in a name or value replaced from
/// `replacements` and each %% read as %; nothing when it does not parse, names a replacement that
/// was not given or leaves a % unclosed, or when a key's name comes out empty or a replacement
/// puts a backslash into one. The script is split into its words and quoted strings first, so a
/// replacement is text wherever it stands and never changes the script around it.
std::optional<std::vector<ScriptRoot>> ParseScript(std::u16string_view script, const Replacements& replacements);

}  // namespace pal::atl
