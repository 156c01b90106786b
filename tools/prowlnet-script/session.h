// What one run of a script shares with the host's native functions: its arguments and whether it
// has called WScript.Quit.
#pragma once

#include <duktape.h>

#include <string>
#include <vector>

namespace script_host {

struct Session {
  std::vector<std::string> arguments;
  bool quitting = false;
  int exitCode = 0;
};

/// Makes `session` the one that the heap's native functions find; it must outlive the heap.
void AttachSession(duk_context* ctx, Session* session);
Session& SessionOf(duk_context* ctx);

/// WScript.Quit ends the script by throwing; this throws that error, and returns what a native
/// function returns after throwing. Native functions throw it again when a script caught it and
/// called the host once more, so Quit ends the script all the same.
duk_ret_t ThrowQuit(duk_context* ctx);
inline bool Quitting(duk_context* ctx) { return SessionOf(ctx).quitting; }

}  // namespace script_host
