// Where a host finds the control module it registers on first use.
//
// An ordinary run takes, in order: $PROWLNET_MODULE; the module of an installed tree, at
// lib/prowlnet/prowlnet.so beside the program's bin/ folder wherever the tree was unpacked; the
// module of the build tree this program was built in.
//
// A run in secure-execution mode (file capabilities, as the package gives prowlnet for its ICMP
// probes) takes only the module at its install path, fixed when it was built. There the invoking
// user holds the environment and could hard-link the program into a folder of their own, so
// neither $PROWLNET_MODULE nor the program's location may choose code that runs with the raised
// privilege; the dynamic loader ignores $ORIGIN and LD_LIBRARY_PATH there for the same reason.
#include <sys/auxv.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "client/control_session.h"

namespace prowlnet_client {
namespace {

bool SecureExecution() { return getauxval(AT_SECURE) != 0; }

/// The module of the installed tree this program belongs to, if it is in one.
std::optional<std::string> ModuleBesideProgram() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::nullopt;
  const std::filesystem::path module = program.parent_path().parent_path() / PROWLNET_MODULE_FROM_PREFIX;
  if (!std::filesystem::is_regular_file(module, error)) return std::nullopt;
  return module.string();
}

void WarnModuleVariableIgnored() {
  static bool warned = false;
  if (warned) return;
  warned = true;
  std::fprintf(stderr, "prowlnet: PROWLNET_MODULE is ignored: this program runs with raised privileges, so it loads only %s\n",
               PROWLNET_INSTALLED_MODULE);
}

}  // namespace

std::string ControlModulePath() {
  const char* variable = std::getenv("PROWLNET_MODULE");
  const bool variableSet = variable != nullptr && *variable != '\0';
  if (SecureExecution()) {
    if (variableSet) WarnModuleVariableIgnored();
    return PROWLNET_INSTALLED_MODULE;
  }
  if (variableSet) return variable;
  if (const std::optional<std::string> installed = ModuleBesideProgram()) return *installed;
  return PROWLNET_MODULE_PATH;
}

}  // namespace prowlnet_client
