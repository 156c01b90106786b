// OLE automation functions: automation strings (BSTR) with the Windows layout, VARIANT handling,
// type libraries and dispatch through type information.
#pragma once

#include "pal/oaidl.h"

// ---- automation strings ------------------------------------------------------------------------
// A BSTR has a 32-bit byte length just before the characters and a 16-bit terminator after them.
// One allocator per process, in this library.

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

// ---- VARIANT -----------------------------------------------------------------------------------
// A VARIANT owns its BSTR and holds a reference on its interface pointer; a VT_BYREF variant owns
// nothing. Arrays (VT_ARRAY) and records (VT_RECORD) are not supported.

constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
constexpr USHORT VARIANT_ALPHABOOL = 0x02;

void VariantInit(VARIANTARG* variant);
/// Frees what the variant owns and leaves it VT_EMPTY; DISP_E_BADVARTYPE for a type that no
/// variant can hold.
HRESULT VariantClear(VARIANTARG* variant);
/// Clears `dest`, then makes it an independent copy of `source`.
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source);
/// Converts `source` (which may be VT_BYREF) to type `vt` into `dest`, which may be `source`
/// itself. Among VT_EMPTY, VT_I2, VT_I4, VT_UI4, VT_R8 (source only), VT_BOOL and VT_BSTR:
/// DISP_E_TYPEMISMATCH for a string that is not a number, DISP_E_OVERFLOW for a value out of range;
/// `dest` is untouched on failure. Numbers are read and written in the English form ("-12.5", "1,000").
/// Flags: 0, VARIANT_NOVALUEPROP, VARIANT_ALPHABOOL ("True"/"False" instead of "-1"/"0").
HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt);

// ---- type libraries ----------------------------------------------------------------------------
// A module carries its type libraries as constant data (pal/typelib_data.h).

/// Loads type library resource 1 of the module at `path` (an absolute host path or a path on
/// drive c:), or resource N of "path\N". Does not register it.
HRESULT LoadTypeLib(LPCOLESTR path, ITypeLib** lib);
/// Loads the registered library `guid` of version major.minor (or the highest registered minor
/// version above it) for `lcid`, falling back to the language-neutral registration.
HRESULT LoadRegTypeLib(REFGUID guid, WORD major, WORD minor, LCID lcid, ITypeLib** lib);
/// Writes HKCR\TypeLib\{libid}\major.minor and HKCR\Interface\{iid} for each automation interface.
HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir);
/// Removes what RegisterTypeLib wrote for that version; the library's key goes with its last version.
HRESULT UnRegisterTypeLib(REFGUID guid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);

/// The IDispatch helpers that forward to the type information. Invoke answers E_NOTIMPL for an
/// argument of a type that VariantChangeType here does not convert, where Windows converts it.
HRESULT DispGetIDsOfNames(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT DispInvoke(void* instance, ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excepInfo, UINT* argErr);
