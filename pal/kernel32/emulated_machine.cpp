// Where the emulated Windows machine lives on this one: its root and drive c:.
#include "pal/emulated_machine.h"

#include <cstdlib>
#include <string_view>

namespace pal {

std::string EmulatedMachineRoot() {
  if (const char* prefix = std::getenv("PROWLNET_PREFIX"); prefix != nullptr && prefix[0] != '\0') return prefix;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.prowlnet";
}

std::optional<std::string> HostPathOf(const char* windowsPath) {
  if (windowsPath == nullptr) return std::nullopt;
  const std::string_view path(windowsPath);
  if (path.size() < 3 || (path[0] != 'c' && path[0] != 'C') || path[1] != ':' || (path[2] != '\\' && path[2] != '/'))
    return std::nullopt;
  std::string host = EmulatedMachineRoot() + "/drive_c/";
  for (char c : path.substr(3)) host += c == '\\' ? '/' : c;
  return host;
}

}  // namespace pal
