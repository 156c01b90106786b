// Where a module path from the registry or a caller lies on this machine.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pal::internal {

/// The host path of a module: an absolute host path as it is, a path on drive c: below the
/// emulated machine's drive; nothing for any other path, and nothing for a module that a program
/// running with raised privileges may not load (kernel32/trusted_modules.h).
std::optional<std::string> HostPathOfModule(std::u16string_view path);

}  // namespace pal::internal
