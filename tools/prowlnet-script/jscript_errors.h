// Errors as JScript reported them. Every error object carries `number` and `description`
// (`message` is the same text):
//
//   try { control.StartSerch(); } catch (e) { if ((e.number & 0xFFFF) == 438) ... }
//
// A runtime error's number is 0x800A0000 | n, negative as an int32, where n is JScript's own
// number: 438 no such property or method, 429 cannot create object, 5009 undefined identifier...
// A failed automation call maps its HRESULT to JScript's number where JScript had one and keeps
// the HRESULT in the description; any other HRESULT is the number itself, as JScript passed it.
// `new Error(number, description)` sets both; `new Error("text")` has number 0.
#pragma once

#include <duktape.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "pal/oleauto.h"

namespace script_host {

/// JScript's runtime error numbers that the host raises (the low word of `number`).
enum JScriptError : int {
  kInvalidCall = 5,
  kOverflow = 6,
  kOutOfMemory = 7,
  kSubscriptOutOfRange = 9,
  kTypeMismatch = 13,
  kOutOfStackSpace = 28,
  kBadFileMode = 54,
  kInputPastEnd = 62,
  kCannotCreateObject = 429,
  kNameNotFoundInAutomation = 432,
  kNoSuchMember = 438,
  kActionNotSupported = 445,
  kArgumentNotOptional = 449,
  kWrongArgumentCount = 450,
  kUnsupportedAutomationType = 458,
  kSyntaxError = 1002,
  kFunctionExpected = 5002,
  kObjectExpected = 5007,
  kUndefinedIdentifier = 5009,
  kRegExpSyntax = 5017,
  kUriEncode = 5024,
  kUriDecode = 5025,
  kArrayLength = 5029,
};

/// The `number` of JScript error `error`: 0x800A0000 | error, as a negative int32.
std::int32_t JScriptNumber(JScriptError error);

/// JScript's text for `error`: "Object doesn't support this property or method".
const char* JScriptText(JScriptError error);

/// Pushes an Error with `number` and `description` (also its message), blamed on the script line
/// that called the host.
void PushScriptError(duk_context* ctx, std::int32_t number, std::string_view description);

/// Pushes JScript's error `error`: its text, then ": " and `detail` when there is one.
void PushJScriptError(duk_context* ctx, JScriptError error, std::string_view detail = {});

/// Pushes the error a failed automation call raises: `detail` names what failed and holds the
/// platform's text with the HRESULT ("StartSerch: Unknown name. (0x80020006)").
void PushComError(duk_context* ctx, HRESULT hr, std::string_view detail);

/// Replaces the global Error with JScript's constructor and gives every error the engine makes a
/// `number` and `description` (Duktape's errCreate hook). Errors made in `preludeFileName` are
/// blamed on the script line that called into it.
void InstallJScriptErrors(duk_context* ctx, const char* preludeFileName);

/// Reports the uncaught value on top of the stack on stderr: "path:line: message", or
/// "path: message" for a thrown value that is not an Error and so carries no line.
void ReportUncaught(duk_context* ctx, const std::string& path);

}  // namespace script_host
