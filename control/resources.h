// The module's resources, all in Chinese (PRC): type library 1, string 100, registry scripts 101
// and 103, toolbox bitmap 102.
#pragma once

namespace prowlnet::control {

constexpr unsigned kTypeLibResource = 1;
constexpr unsigned kProjectNameString = 100;
constexpr unsigned kApplicationScriptResource = 101;
constexpr unsigned kToolboxBitmapResource = 102;
constexpr unsigned kClassScriptResource = 103;

}  // namespace prowlnet::control
