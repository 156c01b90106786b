// Automation strings (BSTR) with the Windows layout: a 32-bit byte length just before the
// characters and a 16-bit terminator after them. One allocator per process, in this library.
#pragma once

#include "pal/windef.h"

using BSTR = OLECHAR*;

/// A copy of a zero-terminated string; null for a null argument.
BSTR SysAllocString(const OLECHAR* text);
/// `length` characters copied from `text` (left uninitialised but terminated if `text` is null).
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
/// `length` bytes copied from `bytes` (or uninitialised), followed by a 16-bit terminator.
BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length);
void SysFreeString(BSTR text);
/// Characters (bytes / 2), 0 for null.
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);
