// The host's own automation objects as a script sees them (WScript, its Arguments and streams):
// member names are matched regardless of case, as IDispatch names are, so `WScript.echo` and
// `WScript.Arguments.Length` work; reading or calling a member the object lacks raises JScript's
// 438, and assigning to a read-only one 450.
//
// An object is built as a plain object (or, for one that is callable, a function) with its
// members under their proper names, then wrapped:
//
//   duk_push_object(ctx);
//   PutMethod(ctx, "Echo", Echo, DUK_VARARGS);
//   PutGetter(ctx, "Version", Version);
//   WrapHostObject(ctx, "WScript");
#pragma once

#include <duktape.h>

namespace script_host {

/// A method of the object being built at the top of the stack.
void PutMethod(duk_context* ctx, const char* name, duk_c_function method, duk_idx_t arguments);

/// A read-only property whose value is on top of the stack, above the object being built.
void PutConstant(duk_context* ctx, const char* name);

/// A property read by `getter` and, when given, assigned by `setter` (value at index 0).
void PutGetter(duk_context* ctx, const char* name, duk_c_function getter, duk_c_function setter = nullptr);

/// Replaces the object at the top of the stack by its case-insensitive proxy; `typeName` names it
/// in errors ("WScript.Arguments").
void WrapHostObject(duk_context* ctx, const char* typeName);

}  // namespace script_host
