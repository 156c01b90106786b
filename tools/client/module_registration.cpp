#include "client/module_registration.h"

#include "pal/host_kit.h"
#include "pal/kernel32.h"
#include "pal/libloader.h"

namespace prowlnet_client {

const char* RegistrationEntryName(bool unregister) { return unregister ? "DllUnregisterServer" : "DllRegisterServer"; }

EntryPointCall CallRegistrationEntry(const std::string& modulePath, bool unregister) {
  HMODULE module = LoadLibraryW(pal::BstrFromUtf8(modulePath));
  if (module == nullptr) return {EntryPointCall::Step::kNotLoaded, HRESULT_FROM_WIN32(GetLastError())};
  const auto entry = reinterpret_cast<HRESULT (*)()>(GetProcAddress(module, RegistrationEntryName(unregister)));
  if (entry == nullptr) {
    FreeLibrary(module);
    return {EntryPointCall::Step::kNoEntryPoint, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)};
  }
  const HRESULT hr = entry();
  FreeLibrary(module);
  return {EntryPointCall::Step::kCalled, hr};
}

}  // namespace prowlnet_client
