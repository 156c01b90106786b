// Automation strings to and from the engine's single-byte text, through the ANSI code page.
#pragma once

#include <memory>

#include "pal/oleauto.h"

namespace prowlnet {

/// A new automation string holding `text` converted from the ANSI code page; an empty text
/// gives an empty string, never a null one. Null only when memory runs out.
BSTR BstrFromAnsi(const char* text);

/// `text` converted to the ANSI code page (unmappable characters become the code page's default
/// character), zero-terminated; a null string gives null. Null also when memory runs out.
std::unique_ptr<char[]> AnsiFromBstr(BSTR text);

/// Hands `result` to the caller through `out`, or frees it when the caller passed no place for it.
void StoreOrFree(BSTR result, BSTR* out);

}  // namespace prowlnet
