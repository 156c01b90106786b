// Which variant types this layer handles.
#pragma once

#include "pal/oleauto.h"

namespace pal::oleaut32 {

/// S_OK for a type that a VARIANT can hold, DISP_E_BADVARTYPE for one it cannot; stops the
/// process for arrays, records and decimals, which this layer does not handle.
HRESULT CheckVariantType(const char* call, VARTYPE vt);

}  // namespace pal::oleaut32
