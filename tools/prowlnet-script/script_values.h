// Script values between Duktape and the late-binding layer, the script's text in UTF-8, and the
// errors that the host raises in a script.
//
// Duktape raises script errors with longjmp, which skips C++ destructors. So a native function
// of the host does its work in a helper that pushes its result, or pushes an error and returns
// false; the native function itself, which owns no C++ objects, then throws the error.
#pragma once

#include <duktape.h>

#include <string>
#include <string_view>

#include "late_binding/late_binding.h"

namespace script_host {

/// The string at `index` as UTF-8. Duktape keeps a character beyond the 16-bit range that a
/// script wrote as two escapes ("\uD83D\uDE00") as two surrogates; they become one character.
std::string Utf8At(duk_context* ctx, duk_idx_t index);

/// The value at `index` for an automation call; false for objects and functions, which have no
/// VARIANT here.
bool ValueAt(duk_context* ctx, duk_idx_t index, late_binding::Value* out);

void PushValue(duk_context* ctx, const late_binding::Value& value);

/// Pushes an Error with `message` whose `number` is `hr` (a negative number for a failure, as
/// scripts compare it) and whose `description` is the message too.
void PushError(duk_context* ctx, HRESULT hr, std::string_view message);

}  // namespace script_host
