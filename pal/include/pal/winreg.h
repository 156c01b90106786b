// The registry: keys and values under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, with
// HKEY_CLASSES_ROOT as HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
//
// The registry is one text file under $PROWLNET_PREFIX, shared by every process of the emulated
// machine. Each call reads it afresh under a shared lock; each change rewrites it atomically
// under an exclusive lock, so a change made by one process is seen by the next call of another.
// Names compare without regard to ASCII letter case and keep the case they were created with.
// Values are REG_SZ (with its terminator) or REG_DWORD.
#pragma once

#include "pal/windef.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using LSTATUS = LONG;
using LPBYTE = BYTE*;
using REGSAM = DWORD;

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// Sign-extended, as the Windows headers define them.
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000000))))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001))))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000002))))

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM DELETE = 0x00010000;
constexpr REGSAM READ_CONTROL = 0x00020000;
constexpr REGSAM KEY_READ = READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
constexpr REGSAM KEY_WRITE = READ_CONTROL | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;
constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;

constexpr DWORD ERROR_BADDB = 1009;
constexpr DWORD ERROR_CANTOPEN = 1011;
constexpr DWORD ERROR_CANTREAD = 1012;
constexpr DWORD ERROR_CANTWRITE = 1013;
constexpr DWORD ERROR_KEY_DELETED = 1018;

/// Opens `subKey` below `key`, creating every missing key on the way. An empty or null `subKey`
/// opens `key` again. Only non-volatile keys, no class and default security are supported.
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                        REGSAM desired, const SECURITY_ATTRIBUTES* security, PHKEY result,
                        LPDWORD disposition);
/// ERROR_FILE_NOT_FOUND (and a null `*result`) when the key does not exist.
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LSTATUS RegCloseKey(HKEY key);

/// A null or empty `name` is the key's default value. REG_SZ data must end in its terminator and
/// hold no other zero character; REG_DWORD data is 4 bytes.
LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
/// With null `data`, only the size in bytes; with a buffer too small, ERROR_MORE_DATA and the size.
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name);

/// The name of subkey `index` in the order of upper-cased names; `*nameLength` is the buffer's
/// size in characters on entry and the name's length without terminator on return.
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                      LPWSTR keyClass, LPDWORD classLength, PFILETIME lastWriteTime);

/// Value `index` of the key, in the order the values were first set: its name (the default
/// value's is empty), with `*nameLength` as for RegEnumKeyExW, and its type and data as
/// RegQueryValueExW gives them.
LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved, LPDWORD type,
                      LPBYTE data, LPDWORD size);

/// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise).
LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey);
/// Deletes `subKey` with everything below it; a null `subKey` deletes the subkeys and values of
/// `key` but keeps `key` itself.
LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey);
