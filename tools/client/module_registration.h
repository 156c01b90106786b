// Calling an in-process server module's registration entry point, as regsvr32 does: load the
// module, call DllRegisterServer (or DllUnregisterServer), unload it.
#pragma once

#include <string>

#include "pal/windef.h"

namespace prowlnet_client {

struct EntryPointCall {
  enum class Step { kCalled, kNotLoaded, kNoEntryPoint };
  /// How far the call got.
  Step step;
  /// The entry point's HRESULT once called; before that, the failure as an HRESULT.
  HRESULT hr;

  bool succeeded() const { return step == Step::kCalled && SUCCEEDED(hr); }
};

/// "DllRegisterServer", or "DllUnregisterServer" when `unregister`.
const char* RegistrationEntryName(bool unregister);

/// Loads `modulePath` (a host path, or a path on c:), calls its registration entry point and
/// unloads it again. The caller's thread should be in an apartment, as the entry point may use COM.
EntryPointCall CallRegistrationEntry(const std::string& modulePath, bool unregister);

}  // namespace prowlnet_client
