// prowlnet-script: runs a JavaScript file that drives automation objects, as Windows Script Host
// ran JScript files, so that scripts written for the control run unchanged.
//
//   prowlnet-script [--help] SCRIPT [ARGUMENT...]
//
// Exit status: 0, or the code the script gave WScript.Quit; 1 after an uncaught script error;
// 2 for bad arguments or a script file that cannot be read.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "pal/objbase.h"
#include "prowlnet-script/script_host.h"
#include "prowlnet_version.h"

namespace {

constexpr int kUsageExit = 2;

constexpr const char* kUsage =
    "Usage: prowlnet-script [--help | --version] SCRIPT [ARGUMENT...]\n"
    "Runs the JavaScript file SCRIPT (ECMAScript 5.1) as a Windows Script Host script, on one\n"
    "apartment thread. The ARGUMENTs are WScript.Arguments.\n"
    "  new ActiveXObject(progId)  creates an automation object registered in the emulated machine\n"
    "                             under $PROWLNET_PREFIX (default ~/.prowlnet) and calls its methods\n"
    "                             by name; register the control first with prowlnet register\n"
    "  WScript                    Echo, Sleep(ms), Arguments, Quit(code), StdErr.WriteLine\n"
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

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return text;
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
  const std::optional<std::string> source = ReadFile(options->script);
  if (!source) {
    std::fprintf(stderr, "prowlnet-script: cannot read %s: %s\n", options->script.c_str(), std::strerror(errno));
    return kUsageExit;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::fprintf(stderr, "prowlnet-script: cannot enter a single-threaded apartment\n");
    return kUsageExit;
  }
  const int status = script_host::RunScript(options->script, *source, options->arguments);
  CoFreeUnusedLibraries();
  CoUninitialize();
  std::fflush(stdout);
  return status;
}
