// The WScript object that Windows Script Host gave its scripts, as far as scripts of this control
// use it:
//
//   WScript.Echo(a, b, ...)        the values as strings, space-joined, on stdout with a line end
//   WScript.Sleep(ms)              waits, dispatching the thread's messages (controls' timers run)
//   WScript.Arguments              the script's arguments: .length, .Count(), .Item(i), (i) and [i]
//   WScript.Quit(code)             ends the script with that exit code
//   WScript.StdErr.WriteLine(s)    s on stderr with a line end
#pragma once

#include <duktape.h>

namespace script_host {

/// Defines the global WScript. Needs a session (script_host/session.h).
void DefineWScript(duk_context* ctx);

}  // namespace script_host
