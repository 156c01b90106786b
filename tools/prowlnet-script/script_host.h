// Runs one JavaScript file as Windows Script Host ran a JScript file: with ActiveXObject,
// GetObject, WScript and JScript's own globals, errors and conditional compilation, on the calling
// thread, which is the apartment thread of every object the script creates.
#pragma once

#include <string>
#include <vector>

#include "prowlnet-script/script_run.h"

namespace script_host {

/// Runs `script` as global code, with `arguments` as WScript.Arguments. The calling thread must
/// have entered a single-threaded apartment. Every object the script created has been released
/// when it returns. WScript.Quit, a time limit that runs out and an error in an event handler end
/// the process from inside (EndProcess), after `host.cleanUp`.
/// RETURNS
///  0 when the script ran to its end, or kScriptErrorExit after an uncaught error or a malformed
///  conditional-compilation directive, which it reports on stderr as "path:line: message".
int RunScript(const ScriptFile& script, const std::vector<std::string>& arguments, const HostProgram& host);

}  // namespace script_host
