// String values of the registry by path, for the services of this layer that keep their data
// there (activation, type library registration).
#pragma once

#include <optional>
#include <string>

#include "pal/winreg.h"

namespace pal::internal {

/// The REG_SZ value `name` (null for the default value) of key `path` below `root`, or nothing.
std::optional<std::u16string> ReadRegistryString(HKEY root, const std::u16string& path, const char16_t* name);

/// Creates key `path` below `root` and sets its REG_SZ value `name` (null for the default value).
LSTATUS WriteRegistryString(HKEY root, const std::u16string& path, const char16_t* name, const std::u16string& text);

}  // namespace pal::internal
