// Runs one JavaScript file as Windows Script Host ran a JScript file: with ActiveXObject and
// WScript as globals, on the calling thread, which is the apartment thread of every object the
// script creates.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace script_host {

/// What RunScript returns after an uncaught script error.
constexpr int kScriptErrorExit = 1;

/// Runs `source` as the global code of the script `path`, with `arguments` as WScript.Arguments.
/// The calling thread must have entered a single-threaded apartment. Every object the script
/// created has been released when it returns.
/// RETURNS
///  0 when the script ran to its end, the code it gave WScript.Quit, or kScriptErrorExit after an
///  uncaught error, which it reports on stderr as "path:line: message".
int RunScript(const std::string& path, std::string_view source, const std::vector<std::string>& arguments);

}  // namespace script_host
