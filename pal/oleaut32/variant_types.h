// Which variant types this layer handles.
#pragma once

#include "pal/oleauto.h"

namespace pal::oleaut32 {

/// S_OK for a type that a VARIANT can hold, DISP_E_BADVARTYPE for one it cannot; stops the
/// process for arrays, records and decimals, which this layer does not handle.
HRESULT CheckVariantType(const char* call, VARTYPE vt);

/// Whether a variant of type `vt` is one this layer handles at all: no array, record or decimal.
bool IsHandledVariantType(VARTYPE vt);

/// VariantChangeType, but E_NOTIMPL for a source or target type it does not convert, where the
/// call itself stops the process: for a conversion of a host's value that this layer makes.
HRESULT ChangeVariantType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt);

}  // namespace pal::oleaut32
