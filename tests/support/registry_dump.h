// Reading the registry back in tests: every key below a key, and string values by path.
#pragma once

#include <optional>
#include <set>
#include <string>

#include "pal/winreg.h"

namespace test_support {

/// The paths of all keys below `root`\`path`, relative to it, with ASCII names.
std::set<std::string> KeysBelow(HKEY root, const std::u16string& path);

/// The whole tree below `root`\`path`, one line a key ("A\\B") and one a value
/// ("A\\B @Name = text", "@ = text" for the default value, "dword:N" for a number), texts in
/// UTF-8: what a test compares whole.
std::set<std::string> TreeBelow(HKEY root, const std::u16string& path);

/// The REG_SZ value `name` (null: default) of `root`\`path` in ASCII, or nothing.
std::optional<std::string> StringValue(HKEY root, const std::u16string& path, const char16_t* name);

/// ASCII text as UTF-16, and back.
std::u16string Wide(const std::string& text);
std::string Narrow(std::u16string_view text);

}  // namespace test_support
