// A process that registers or unregisters a server module, for the tests that kill it part way or
// run two at once.
//
//   registration_child register|unregister MODULE
//   registration_child cycle MODULE PROGID N    registers and unregisters N times, and after each
//                                              step checks that its own keys are all there or all
//                                              gone; exits 1 at the first that is not

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "pal/winreg.h"
#include "support/module_entry.h"
#include "support/registry_dump.h"

namespace {

using test_support::StringValue;
using test_support::Wide;

/// Whether the registration of `module` under `progId` reads back whole: the ProgID names the
/// class, whose server is the module and whose type library is registered for the module.
bool Registered(const std::string& module, const std::string& progId) {
  const std::optional<std::string> clsid = StringValue(HKEY_CLASSES_ROOT, Wide(progId + "\\CLSID"), nullptr);
  if (!clsid) return false;
  const std::u16string classKey = Wide("CLSID\\" + *clsid);
  const std::optional<std::string> server = StringValue(HKEY_CLASSES_ROOT, classKey + u"\\InprocServer32", nullptr);
  const std::optional<std::string> libid = StringValue(HKEY_CLASSES_ROOT, classKey + u"\\TypeLib", nullptr);
  if (server != module || !libid) return false;
  return StringValue(HKEY_CLASSES_ROOT, Wide("TypeLib\\" + *libid + "\\1.0\\0\\win32"), nullptr) == module;
}

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, Wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

int Cycle(const char* module, const std::string& progId, int times) {
  for (int i = 0; i < times; ++i) {
    if (test_support::CallModuleEntry(module, "DllRegisterServer") != S_OK || !Registered(module, progId)) {
      std::printf("round %d: registration lost\n", i);
      return 1;
    }
    if (test_support::CallModuleEntry(module, "DllUnregisterServer") != S_OK || KeyExists(progId)) {
      std::printf("round %d: unregistration lost\n", i);
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "register") == 0) return test_support::CallModuleEntry(argv[2], "DllRegisterServer") == S_OK ? 0 : 1;
  if (argc == 3 && std::strcmp(argv[1], "unregister") == 0)
    return test_support::CallModuleEntry(argv[2], "DllUnregisterServer") == S_OK ? 0 : 1;
  if (argc == 5 && std::strcmp(argv[1], "cycle") == 0) return Cycle(argv[2], argv[3], std::atoi(argv[4]));
  std::fprintf(stderr, "usage: registration_child register|unregister MODULE | cycle MODULE PROGID N\n");
  return 2;
}
