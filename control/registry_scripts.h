// The module's registry scripts, carried as its REGISTRY resources 101 (the application) and
// 103 (the class).
#pragma once

namespace prowlnet::control {

/// The application: AppID\{appid} and AppID\Prowlnet.DLL. Replacement: %APPID%.
extern const char16_t kApplicationScript[];
/// The class, its ProgIDs and its registration. Replacements: %MODULE%, %APPID%, %OLEMISC%.
extern const char16_t kClassScript[];

}  // namespace prowlnet::control
