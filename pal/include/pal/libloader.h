// Modules and the resources they carry: loading a module by path, the module that holds an
// address, its file name, and finding, loading and reading its resources.
//
// A module carries its resources as a table in place of a Windows module's resource section: it
// exports, with C linkage, a function named PalResourceSection that returns the table
// (pal::ResourceSection). Each entry has a type (a number such as RT_BITMAP, or a name such as
// "TYPELIB"), a number, a language and its bytes.
//
// Differences from Windows that callers rely on:
// - HMODULE is the loader's handle; each LoadLibraryW is balanced by a FreeLibrary. A null
//   HMODULE is the program itself, which carries no resources.
// - resources are named by number only (MAKEINTRESOURCEW); a name given as text stops the process.
// - a string resource is one entry per string, of type RT_STRING and the string's own number,
//   as LoadStringW asks for it (not blocks of 16): FindResourceW of RT_STRING stops the process.
// - a REGISTRY resource holds its script as UTF-16 text; a TYPELIB resource holds a
//   pal::TypeLibData (pal/typelib_data.h).
#pragma once

#include <cstddef>

#include "pal/windef.h"

using FARPROC = void (*)();
struct HRSRC__;
using HRSRC = HRSRC__*;
using HGLOBAL = HANDLE;

inline LPWSTR MAKEINTRESOURCEW(WORD number) { return reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(number)); }
inline bool IS_INTRESOURCE(LPCWSTR resource) { return (reinterpret_cast<ULONG_PTR>(resource) >> 16) == 0; }

constexpr WORD RT_BITMAP_NUMBER = 2;
constexpr WORD RT_STRING_NUMBER = 6;
inline LPWSTR RT_BITMAP() { return MAKEINTRESOURCEW(RT_BITMAP_NUMBER); }
inline LPWSTR RT_STRING() { return MAKEINTRESOURCEW(RT_STRING_NUMBER); }

constexpr WORD LANG_NEUTRAL_DEFAULT = 0;
constexpr WORD LANG_CHINESE_PRC = 0x0804;  // Chinese (PRC), 2052

constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x2;
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x4;

/// Loads the module at `path` (an absolute host path or a path on drive c:), or takes one more
/// reference on it; null with ERROR_MOD_NOT_FOUND when it cannot be loaded.
HMODULE LoadLibraryW(LPCWSTR path);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
/// Only GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT:
/// the module that holds the address `name`.
BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module);
/// The module's full host path (the program's for null), cut to `size` characters with the
/// terminator; the characters written without it.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

/// A resource of any language, language-neutral ones first; null with
/// ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND.
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
/// The resource in exactly `language`.
HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
/// Copies string resource `id`, cut to `size` - 1 characters and terminated; the characters
/// copied, 0 when there is no such string.
int LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int size);

namespace pal {

struct ResourceEntry {
  LPCWSTR typeName;  // a named type ("TYPELIB", "REGISTRY"), or null for a numbered one
  WORD typeNumber;   // RT_BITMAP_NUMBER, RT_STRING_NUMBER ... when typeName is null
  WORD number;
  WORD language;
  const void* data;
  DWORD size;
};

struct ResourceSection {
  const ResourceEntry* entries;
  size_t count;
};

/// The signature of a module's PalResourceSection.
using LPFNRESOURCESECTION = const ResourceSection* (*)();
inline constexpr char kResourceSectionEntry[] = "PalResourceSection";

}  // namespace pal
