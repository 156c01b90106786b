// Locale identifiers: the environment's locale as an LCID, and the per-thread locale.
#include <cstdlib>
#include <cstring>
#include <string>

#include "pal/kernel32.h"
#include "pal/winnls.h"

namespace {

struct KnownLocale {
  const char* name;  // language and territory, as the environment names them
  LCID id;
};

constexpr KnownLocale kKnownLocales[] = {
    {"C", 0x0409},     {"POSIX", 0x0409}, {"en_US", 0x0409}, {"en_GB", 0x0809}, {"zh_CN", 0x0804},
    {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"de_DE", 0x0407}, {"fr_FR", 0x040C}, {"ja_JP", 0x0411},
};

/// The locale that LC_ALL, LC_CTYPE or LANG names (the first set and not empty), without its
/// charset and modifier; "C" when none is set.
std::string EnvironmentLocale() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* locale = std::getenv(variable);
    if (locale == nullptr || *locale == '\0') continue;
    return std::string(locale, std::strcspn(locale, ".@"));
  }
  return "C";
}

thread_local LCID threadLocale = 0;  // 0: not set by this thread

}  // namespace

LCID GetUserDefaultLCID() {
  const std::string locale = EnvironmentLocale();
  for (const KnownLocale& known : kKnownLocales) {
    if (locale == known.name) return known.id;
  }
  return LOCALE_CUSTOM_UNSPECIFIED;
}

LCID GetSystemDefaultLCID() { return GetUserDefaultLCID(); }

LCID GetThreadLocale() { return threadLocale != 0 ? threadLocale : GetUserDefaultLCID(); }

BOOL SetThreadLocale(LCID locale) {
  if (locale == LOCALE_USER_DEFAULT) locale = GetUserDefaultLCID();
  if (locale == LOCALE_SYSTEM_DEFAULT) locale = GetSystemDefaultLCID();
  if (locale == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  threadLocale = locale;
  return TRUE;
}
