// The WScript object that Windows Script Host gave its scripts, with its members matched
// regardless of case (host_object.h):
//
//   Echo(a, b, ...)          the values as strings, space-joined, on stdout with a line end
//   Sleep(ms)                waits, dispatching the thread's messages (controls' timers run)
//   Quit([code])             ends the script at once (see script_run.h: EndProcess)
//   Arguments                the script's arguments (wsh_arguments.h)
//   StdIn, StdOut, StdErr    text streams (text_stream.h)
//   CreateObject(progId[, prefix]), GetObject(path[, progId[, prefix]]),
//   ConnectObject(object, prefix), DisconnectObject(object)    objects and their events
//   FullName, Name, Path, ScriptName, ScriptFullName, Version, BuildVersion, Application,
//   Interactive, Timeout     as WSH 5.8 gave them, for this host and script
#pragma once

#include <duktape.h>

namespace script_host {

/// The WScript.Version this host gives, and the build beside it.
inline constexpr char kWshVersion[] = "5.8";
inline constexpr int kWshBuild = 16385;

/// Defines the global WScript. Needs a script run (script_run.h).
void DefineWScript(duk_context* ctx);

}  // namespace script_host
