// Which modules a program running with raised privileges may load.
#pragma once

#include <optional>
#include <string>

namespace pal::kernel32 {

/// The path to load the module at `hostPath` from. In an ordinary process that is `hostPath`
/// itself. In secure-execution mode (a program run with file capabilities or set-user-ID) the
/// invoking user controls the environment, the registry file and the arguments, so a module is
/// loaded only from the folder pal itself was loaded from, the folder the dynamic loader trusted:
/// its canonical path then, so that no link a user swaps in later redirects the load. Nothing
/// for a module that is not there, and nothing, with a line on stderr, for one outside that
/// folder.
std::optional<std::string> LoadablePathOfModule(const std::string& hostPath);

}  // namespace pal::kernel32
