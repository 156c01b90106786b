// Where the emulated Windows machine lives on this one.
#pragma once

#include <optional>
#include <string>

namespace pal {

/// $PROWLNET_PREFIX, or $HOME/.prowlnet when it is not set; read at every call.
std::string EmulatedMachineRoot();

/// The host path of a Windows path on drive c: (case of the drive letter and separators free),
/// or nothing for any other drive or a relative path.
std::optional<std::string> HostPathOf(const char* windowsPath);

}  // namespace pal
