// JScript 5.8's globals and behaviours that Duktape lacks: ScriptEngine and its version
// functions, CollectGarbage, Enumerator, RegExp's static match properties ($1..$9, lastMatch,
// lastParen, leftContext, rightContext, input), Date.prototype.getYear as JScript gave it, and
// Date.parse of JScript's formats. Most of them are script (jscript_prelude.js).
#pragma once

#include <duktape.h>

namespace script_host {

/// The file name that errors raised inside the prelude carry before they are blamed on the
/// script (jscript_errors.h).
inline constexpr char kPreludeFileName[] = "jscript_prelude.js";

/// Defines them. Needs JScript's Error (InstallJScriptErrors) first.
void DefineJScriptGlobals(duk_context* ctx);

}  // namespace script_host
