// A module's exported entry point called as regsvr32 and COM's unload check call it.
#pragma once

#include "pal/windef.h"

namespace test_support {

/// Loads `module`, calls its entry point `entry` (an HRESULT function without arguments) and
/// unloads it again; E_FAIL when the module or the entry point cannot be found.
HRESULT CallModuleEntry(const char* module, const char* entry);

/// The DllCanUnloadNow answer of `module` while some hold keeps it loaded, E_FAIL once it is
/// unloaded; asking takes no lasting hold.
HRESULT CanUnloadNowIfLoaded(const char* module);

}  // namespace test_support
