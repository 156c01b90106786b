// Script values between Duktape and the late-binding layer, and the script's text in UTF-8.
//
// Duktape keeps strings as JScript did, in 16-bit units: a character beyond the 16-bit range is
// two surrogates, each stored in three bytes (CESU-8). The host speaks UTF-8 everywhere else.
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

/// The string at `index` as UTF-8: a pair of surrogates becomes one character, a lone one U+FFFD.
std::string Utf8At(duk_context* ctx, duk_idx_t index);

/// `utf8` as Duktape keeps it: every character beyond the 16-bit range as two surrogates.
std::string Cesu8FromUtf8(std::string_view utf8);

/// Pushes UTF-8 `text` as a script string.
void PushText(duk_context* ctx, std::string_view text);

/// The value at `index` for an automation call; false for objects and functions, which have no
/// VARIANT here.
bool ValueAt(duk_context* ctx, duk_idx_t index, late_binding::Value* out);

void PushValue(duk_context* ctx, const late_binding::Value& value);

}  // namespace script_host
