// What one run of a script shares with the host's native functions: the script, its arguments,
// the host program, the objects the script holds, the settings it made on WScript, and the ways a
// run ends before the script's last line (WScript.Quit, the time limit, an error in an event
// handler).
#pragma once

#include <duktape.h>

#include <chrono>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "prowlnet-script/live_objects.h"

namespace script_host {

/// What RunScript returns after an uncaught script error, and the status of a run whose time
/// ran out.
constexpr int kScriptErrorExit = 1;

/// The script as the host read it.
struct ScriptFile {
  /// As the user named it: error reports name it so.
  std::string path;
  /// Absolute (WScript.ScriptFullName).
  std::string fullPath;
  /// The decoded source, as Duktape keeps text (script_values.h).
  std::string text;
};

/// The program that runs the script.
struct HostProgram {
  /// Its executable, absolute (WScript.FullName).
  std::string path;
  /// Its own cleanup, run before a run ends the process (leaving the apartment); may be null.
  void (*cleanUp)() = nullptr;
};

struct ScriptRun {
  ScriptRun(ScriptFile script, std::vector<std::string> arguments, HostProgram host)
      : script(std::move(script)), arguments(std::move(arguments)), host(std::move(host)) {}

  ScriptFile script;
  std::vector<std::string> arguments;
  HostProgram host;
  LiveObjects objects;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  /// WScript.Timeout: 0 for no limit.
  double timeoutSeconds = 0;
  /// WScript.Interactive: kept for the script to read back.
  bool interactive = true;
};

/// Makes `run` the one that the heap's native functions find; it must outlive the heap.
void AttachScriptRun(duk_context* ctx, ScriptRun* run);
ScriptRun& ScriptRunOf(duk_context* ctx);

/// Ends the process from inside the script, as WScript.Quit did: no catch or finally of the
/// script runs any more. Releases every object the script holds, flushes the output, runs the
/// host's cleanup and exits with `status`.
[[noreturn]] void EndProcess(ScriptRun& run, int status);

/// Sets the time limit (seconds, 0 for none), counted from the start of the run. Past it, the
/// next call into the host ends the run (EndTimedOut); a script that computes without calling the
/// host is ended by an alarm a second later, without releasing its objects.
void SetTimeout(ScriptRun& run, double seconds);
/// When the time runs out; nullopt without a limit.
std::optional<std::chrono::steady_clock::time_point> Deadline(const ScriptRun& run);
bool TimedOut(const ScriptRun& run);
/// Reports that the time ran out and ends the process with kScriptErrorExit.
[[noreturn]] void EndTimedOut(ScriptRun& run);
/// Cancels the alarm, for a run that ends otherwise.
void CancelTimeout();

}  // namespace script_host
