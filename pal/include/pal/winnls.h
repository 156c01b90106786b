// Code-page conversion between narrow text and UTF-16.
//
// The ANSI code page (CP_ACP) is chosen at every call from the environment: PROWLNET_ACP, a
// code-page number ("936") or a charset name ("GBK"), when it is set; otherwise the charset of
// the locale that LC_ALL, LC_CTYPE or LANG names, the first of them that is set and not empty
// deciding (the part after '.' in "zh_CN.GBK", up to any '@'); UTF-8 when that locale names no
// charset ("C", "POSIX", "en_US") or none is set. A code page or charset that this machine
// cannot convert stops the process with a message.
//
// A code page other than UTF-8 has '?' as its default character: a UTF-16 character it cannot
// represent becomes '?', and so does each byte sequence that it does not map. In UTF-8 an
// ill-formed sequence becomes U+FFFD (one per maximal ill-formed part), and so does an unpaired
// surrogate on the way out. No best-fit mapping is applied.
#pragma once

#include "pal/windef.h"

using LCID = DWORD;

constexpr LCID LOCALE_NEUTRAL = 0x0000;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_CUSTOM_UNSPECIFIED = 0x1000;

/// The locale of the environment (LC_ALL, then LC_CTYPE, then LANG) as a locale identifier:
/// 0x0409 for C, POSIX and en_US, 0x0804 for zh_CN, and so on for the few languages listed in
/// the implementation; LOCALE_CUSTOM_UNSPECIFIED for any other. The system default is the same.
LCID GetUserDefaultLCID();
LCID GetSystemDefaultLCID();

/// The calling thread's locale: the user default until the thread sets another.
LCID GetThreadLocale();
/// LOCALE_USER_DEFAULT and LOCALE_SYSTEM_DEFAULT stand for the identifiers above.
BOOL SetThreadLocale(LCID locale);

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

constexpr DWORD MB_PRECOMPOSED = 0x00000001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x00000400;

/// Converts `cbMultiByte` bytes (-1: up to and including the terminator) to UTF-16. With
/// `cchWideChar` 0 returns the number of characters needed; otherwise the number written, or 0
/// with ERROR_INSUFFICIENT_BUFFER when they do not fit. MB_ERR_INVALID_CHARS makes a sequence
/// that does not map fail the call with ERROR_NO_UNICODE_TRANSLATION. Code pages: CP_ACP,
/// CP_UTF8, 54936 (GB18030) and numbered ones this machine knows as "CP<n>"; another gives
/// ERROR_INVALID_PARAMETER.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar);

/// Converts `cchWideChar` UTF-16 characters (-1: up to and including the terminator) to the code
/// page. Sizes and errors as for MultiByteToWideChar. `lpDefaultChar` (one byte) replaces '?' and
/// `*lpUsedDefaultChar` tells whether a replacement was made; both must be null for UTF-8, as
/// on Windows (ERROR_INVALID_PARAMETER otherwise).
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, BOOL* lpUsedDefaultChar);
