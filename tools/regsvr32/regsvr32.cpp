// regsvr32: registers an in-process server module in the emulated machine's registry by calling
// its DllRegisterServer (or, with -u, its DllUnregisterServer), as the Windows tool of that name.
//
//   regsvr32 [-u] [-s] MODULE
//
// Exit status: 0 done; 1 the entry point failed; 2 bad arguments; 3 the module could not be
// loaded or lacks the entry point.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "client/apartment_scope.h"
#include "client/module_registration.h"

namespace {

constexpr const char* kUsage =
    "usage: regsvr32 [-u] [-s] MODULE\n"
    "Registers the in-process server MODULE (an absolute path, or a path on c:) in the registry\n"
    "of the emulated machine under $PROWLNET_PREFIX (default ~/.prowlnet).\n"
    "  -u  unregister instead\n"
    "  -s  silent: print nothing on success\n";

struct Options {
  bool unregister = false;
  bool silent = false;
  std::string module;
};

bool ParseArguments(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "-u" || argument == "/u") {
      options->unregister = true;
    } else if (argument == "-s" || argument == "/s") {
      options->silent = true;
    } else if (!argument.empty() && argument[0] != '-' && options->module.empty()) {
      options->module = argument;
    } else {
      return false;
    }
  }
  return !options->module.empty();
}

/// An absolute path for a relative one, so that the registry records where the module is.
std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/' || path.find(':') != std::string::npos) return path;
  char cwd[4096];
  return getcwd(cwd, sizeof cwd) != nullptr ? std::string(cwd) + "/" + path : path;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!ParseArguments(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* entryName = prowlnet_client::RegistrationEntryName(options.unregister);
  const prowlnet_client::EntryPointCall call = [&] {
    const prowlnet_client::ApartmentScope apartment;
    return prowlnet_client::CallRegistrationEntry(Absolute(options.module), options.unregister);
  }();
  switch (call.step) {
    case prowlnet_client::EntryPointCall::Step::kNotLoaded:
      std::fprintf(stderr, "regsvr32: cannot load %s\n", options.module.c_str());
      return 3;
    case prowlnet_client::EntryPointCall::Step::kNoEntryPoint:
      std::fprintf(stderr, "regsvr32: %s has no %s\n", options.module.c_str(), entryName);
      return 3;
    case prowlnet_client::EntryPointCall::Step::kCalled:
      break;
  }
  if (FAILED(call.hr)) {
    std::fprintf(stderr, "regsvr32: %s in %s failed: 0x%08X\n", entryName, options.module.c_str(),
                 static_cast<unsigned>(call.hr));
    return 1;
  }
  if (!options.silent) std::printf("%s in %s succeeded.\n", entryName, options.module.c_str());
  return 0;
}
