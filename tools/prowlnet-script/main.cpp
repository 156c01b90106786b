// prowlnet-script: runs a JavaScript file that drives automation objects, as Windows Script Host
// ran JScript files, so that scripts written for the control run unchanged.
//
//   prowlnet-script [--help | --version] SCRIPT [ARGUMENT...]
//
// Exit status: 0, or the code the script gave WScript.Quit; 1 after an uncaught script error;
// 2 for bad arguments or a script file that cannot be read.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "pal/objbase.h"
#include "prowlnet-script/console_text.h"
#include "prowlnet-script/script_host.h"
#include "prowlnet-script/source_text.h"
#include "prowlnet_version.h"

namespace {

constexpr int kUsageExit = 2;

/// Larger than any script; a file beyond it is not read into memory.
constexpr std::uintmax_t kLargestScript = 64u << 20;

constexpr const char* kUsage =
    "Usage: prowlnet-script [--help | --version] SCRIPT [ARGUMENT...]\n"
    "Runs the JScript file SCRIPT as Windows Script Host ran it, on one apartment thread. The\n"
    "ARGUMENTs are WScript.Arguments (/name:value and /name are also in Arguments.Named).\n"
    "  new ActiveXObject(progId)  creates an automation object registered in the emulated machine\n"
    "                             under $PROWLNET_PREFIX (default ~/.prowlnet) and calls its methods\n"
    "                             by name; register the control first with prowlnet register\n"
    "  WScript                    Echo, Sleep, Quit, Arguments, StdIn/StdOut/StdErr, CreateObject,\n"
    "                             GetObject, ConnectObject and the host's properties\n"
    "The file may be UTF-8, UTF-16 with a byte-order mark, or in the ANSI code page (PROWLNET_ACP);\n"
    "output is in the charset of the locale.\n"
    "Exit status: 0, or the code given to WScript.Quit; 1 after a script error, which is\n"
    "reported on stderr as SCRIPT:LINE: message; 2 for bad arguments or an unreadable SCRIPT.\n";

struct Options {
  std::string script;
  std::vector<std::string> arguments;
};

/// Options come before the script; everything after it belongs to the script.
std::optional<Options> ParseArguments(int argc, char** argv) {
  int i = 1;
  const bool endOfOptions = i < argc && std::strcmp(argv[i], "--") == 0;
  if (endOfOptions) ++i;
  if (i >= argc) return std::nullopt;
  if (!endOfOptions && argv[i][0] == '-') return std::nullopt;  // no option but --help
  Options options{argv[i], {}};
  for (++i; i < argc; ++i) options.arguments.emplace_back(argv[i]);
  return options;
}

/// The file's bytes; nullopt with errno set when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size > kLargestScript) {
    errno = EFBIG;
    return std::nullopt;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return bytes;
}

std::string ExecutablePath(const char* argv0) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::absolute(argv0).string() : self.string();
}

void LeaveApartment() {
  CoFreeUnusedLibraries();
  CoUninitialize();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("prowlnet-script " PROWLNET_VERSION);
    return 0;
  }
  const std::optional<Options> options = ParseArguments(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return kUsageExit;
  }
  const std::optional<std::string> bytes = ReadFile(options->script);
  if (!bytes) {
    std::fprintf(stderr, "prowlnet-script: cannot read %s: %s\n", options->script.c_str(), std::strerror(errno));
    return kUsageExit;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::fprintf(stderr, "prowlnet-script: cannot enter a single-threaded apartment\n");
    return kUsageExit;
  }
  // The script sees its path and arguments as text, not as the bytes of the locale's charset.
  const script_host::ScriptFile script{
      script_host::FromConsole(options->script),
      script_host::FromConsole(std::filesystem::absolute(options->script).lexically_normal().string()),
      script_host::DecodeScriptText(*bytes)};
  std::vector<std::string> arguments;
  for (const std::string& argument : options->arguments) arguments.push_back(script_host::FromConsole(argument));
  const int status = script_host::RunScript(script, arguments, {ExecutablePath(argv[0]), LeaveApartment});
  LeaveApartment();
  std::fflush(stdout);
  return status;
}
