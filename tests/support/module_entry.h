// A module's exported entry point called as regsvr32 and COM's unload check call it.
#pragma once

#include "pal/windef.h"

namespace test_support {

/// Loads `module`, calls its entry point `entry` (an HRESULT function without arguments) and
/// unloads it again; E_FAIL when the module or the entry point cannot be found.
HRESULT CallModuleEntry(const char* module, const char* entry);

}  // namespace test_support
