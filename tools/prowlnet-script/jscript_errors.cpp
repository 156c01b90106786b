#include "prowlnet-script/jscript_errors.h"

#include <cstdio>
#include <cstring>

#include "late_binding/late_binding.h"
#include "prowlnet-script/console_text.h"
#include "prowlnet-script/script_values.h"

namespace script_host {
namespace {

constexpr char kPreludeKey[] = DUK_HIDDEN_SYMBOL("preludeFileName");

struct KnownText {
  JScriptError error;
  const char* text;
};

constexpr KnownText kTexts[] = {
    {kInvalidCall, "Invalid procedure call or argument"},
    {kOverflow, "Overflow"},
    {kOutOfMemory, "Out of memory"},
    {kSubscriptOutOfRange, "Subscript out of range"},
    {kTypeMismatch, "Type mismatch"},
    {kOutOfStackSpace, "Out of stack space"},
    {kBadFileMode, "Bad file mode"},
    {kInputPastEnd, "Input past end of file"},
    {kCannotCreateObject, "Automation server can't create object"},
    {kNameNotFoundInAutomation, "File name or class name not found during Automation operation"},
    {kNoSuchMember, "Object doesn't support this property or method"},
    {kActionNotSupported, "Object doesn't support this action"},
    {kArgumentNotOptional, "Argument not optional"},
    {kWrongArgumentCount, "Wrong number of arguments or invalid property assignment"},
    {kUnsupportedAutomationType, "Variable uses an Automation type not supported in JScript"},
    {kSyntaxError, "Syntax error"},
    {kFunctionExpected, "Function expected"},
    {kObjectExpected, "Object expected"},
    {kUndefinedIdentifier, "Undefined identifier"},
    {kRegExpSyntax, "Syntax error in regular expression"},
    {kUriEncode, "The URI to be encoded contains an invalid character"},
    {kUriDecode, "The URI to be decoded is not a valid encoding"},
    {kArrayLength, "Array length must be a finite positive integer"},
};

struct HResultMapping {
  HRESULT hr;
  JScriptError error;
};

// The failures of automation calls that JScript reported with numbers of its own.
constexpr HResultMapping kHResults[] = {
    {DISP_E_UNKNOWNNAME, kNoSuchMember},
    {DISP_E_MEMBERNOTFOUND, kNoSuchMember},
    {DISP_E_BADPARAMCOUNT, kWrongArgumentCount},
    {DISP_E_PARAMNOTOPTIONAL, kArgumentNotOptional},
    {DISP_E_TYPEMISMATCH, kTypeMismatch},
    {DISP_E_BADVARTYPE, kUnsupportedAutomationType},
    {DISP_E_OVERFLOW, kOverflow},
    {DISP_E_BADINDEX, kSubscriptOutOfRange},
    {E_OUTOFMEMORY, kOutOfMemory},
    {E_INVALIDARG, kInvalidCall},
};

/// The error at `index` gets `number` and `description`, and `description` as its message.
void SetNumberAndDescription(duk_context* ctx, duk_idx_t index, std::int32_t number, std::string_view description) {
  index = duk_normalize_index(ctx, index);
  duk_push_int(ctx, number);
  duk_put_prop_string(ctx, index, "number");
  PushText(ctx, description);
  duk_dup_top(ctx);
  duk_put_prop_string(ctx, index, "description");
  duk_put_prop_string(ctx, index, "message");
}

std::string StringProperty(duk_context* ctx, duk_idx_t index, const char* key) {
  duk_get_prop_string(ctx, index, key);
  std::string text = duk_is_string(ctx, -1) ? Utf8At(ctx, -1) : std::string();
  duk_pop(ctx);
  return text;
}

/// The text between the quotes that follow `after` in `message`, or "".
std::string QuotedAfter(const std::string& message, const char* after) {
  const size_t start = message.find(after);
  if (start == std::string::npos) return {};
  const size_t open = start + std::strlen(after);
  const size_t close = message.find('\'', open);
  return close == std::string::npos ? std::string() : message.substr(open, close - open);
}

struct Classified {
  std::int32_t number;
  std::string description;
};

Classified WithDetail(JScriptError error, const std::string& message) {
  return {JScriptNumber(error), std::string(JScriptText(error)) + " (" + message + ")"};
}

Classified ClassifyTypeError(const std::string& message) {
  if (message.find("not callable") != std::string::npos) {
    const std::string member = QuotedAfter(message, "(property '");
    if (!member.empty()) {
      return {JScriptNumber(kNoSuchMember), "Object doesn't support property or method '" + member + "'"};
    }
    return {JScriptNumber(kFunctionExpected), JScriptText(kFunctionExpected)};
  }
  if (message.find("not constructable") != std::string::npos) {
    return {JScriptNumber(kActionNotSupported), JScriptText(kActionNotSupported)};
  }
  return WithDetail(kObjectExpected, message);
}

/// The JScript number and text of an error that the engine made (`creator` names the built-in
/// that raised it, if one did).
Classified ClassifyEngineError(const std::string& name, const std::string& message, const std::string& creator) {
  if (name == "ReferenceError") {
    const std::string identifier = QuotedAfter(message, "identifier '");
    if (!identifier.empty()) return {JScriptNumber(kUndefinedIdentifier), "'" + identifier + "' is undefined"};
    return WithDetail(kUndefinedIdentifier, message);
  }
  if (name == "TypeError") return ClassifyTypeError(message);
  if (name == "RangeError") {
    if (message == "callstack limit") return {JScriptNumber(kOutOfStackSpace), JScriptText(kOutOfStackSpace)};
    if (message == "invalid length") return {JScriptNumber(kArrayLength), JScriptText(kArrayLength)};
    return WithDetail(kInvalidCall, message);
  }
  if (name == "SyntaxError") {
    return WithDetail(message.find("regexp") != std::string::npos ? kRegExpSyntax : kSyntaxError, message);
  }
  if (name == "URIError") return WithDetail(creator.rfind("encode", 0) == 0 ? kUriEncode : kUriDecode, message);
  return {0, message};
}

/// The function of the activation `level` (from the top) at the top of the stack, or undefined.
void PushCallstackFunction(duk_context* ctx, duk_int_t level) {
  duk_inspect_callstack_entry(ctx, level);
  if (duk_is_undefined(ctx, -1)) return;
  duk_get_prop_string(ctx, -1, "function");
  duk_remove(ctx, -2);
}

/// Whether the error being created comes from one of the built-in error constructors, called by
/// the script, rather than from the engine. Level -1 is the hook, -2 what created the error.
bool MadeByErrorConstructor(duk_context* ctx, std::string* creator) {
  PushCallstackFunction(ctx, -2);
  *creator = duk_is_object(ctx, -1) ? StringProperty(ctx, -1, "name") : std::string();
  const bool native = duk_is_c_function(ctx, -1);
  duk_pop(ctx);
  static constexpr const char* kConstructors[] = {"Error",     "EvalError", "RangeError", "ReferenceError",
                                                  "SyntaxError", "TypeError", "URIError"};
  if (!native) return false;
  for (const char* constructor : kConstructors)
    if (*creator == constructor) return true;
  return false;
}

std::string PreludeFileName(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  std::string name = StringProperty(ctx, -1, kPreludeKey);
  duk_pop(ctx);
  return name;
}

void DefineOwn(duk_context* ctx, duk_idx_t index, const char* key) {
  index = duk_normalize_index(ctx, index);
  duk_push_string(ctx, key);
  duk_insert(ctx, -2);
  duk_def_prop(ctx, index, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE);
}

/// An error made inside the prelude names the script line that called into it instead.
void BlameTheScript(duk_context* ctx, duk_idx_t error) {
  const std::string prelude = PreludeFileName(ctx);
  if (StringProperty(ctx, error, "fileName") != prelude) return;
  for (duk_int_t level = -2;; --level) {
    duk_inspect_callstack_entry(ctx, level);
    if (duk_is_undefined(ctx, -1)) {
      duk_pop(ctx);
      return;
    }
    duk_get_prop_string(ctx, -1, "function");
    const std::string file = duk_is_object(ctx, -1) ? StringProperty(ctx, -1, "fileName") : std::string();
    duk_pop(ctx);
    if (!file.empty() && file != prelude) {
      duk_get_prop_string(ctx, -1, "lineNumber");
      DefineOwn(ctx, error, "lineNumber");
      PushText(ctx, file);
      DefineOwn(ctx, error, "fileName");
      duk_pop(ctx);
      return;
    }
    duk_pop(ctx);
  }
}

/// Duktape.errCreate: every new error gets JScript's number and description. It runs when an
/// error is made, whether by the engine, a constructor or the host.
duk_ret_t OnErrorCreated(duk_context* ctx) {
  duk_set_top(ctx, 1);
  if (!duk_is_object(ctx, 0)) return 1;
  // A constructor call runs the hook once more on what the constructor gave back.
  if (duk_has_prop_string(ctx, 0, "number")) return 1;
  std::string creator;
  const std::string message = StringProperty(ctx, 0, "message");
  if (MadeByErrorConstructor(ctx, &creator)) {
    SetNumberAndDescription(ctx, 0, 0, message);
  } else {
    const Classified classified = ClassifyEngineError(StringProperty(ctx, 0, "name"), message, creator);
    SetNumberAndDescription(ctx, 0, classified.number, classified.description);
  }
  BlameTheScript(ctx, 0);
  return 1;
}

/// JScript's Error(number, description), Error(number) and Error(description).
duk_ret_t ConstructError(duk_context* ctx) {
  const duk_idx_t count = duk_get_top(ctx);
  std::int32_t number = 0;
  duk_idx_t descriptionAt = -1;
  if (count >= 2) {
    number = duk_to_int32(ctx, 0);
    descriptionAt = 1;
  } else if (count == 1 && duk_is_number(ctx, 0)) {
    number = duk_to_int32(ctx, 0);
  } else if (count == 1) {
    descriptionAt = 0;
  }
  if (descriptionAt >= 0 && duk_is_undefined(ctx, descriptionAt)) descriptionAt = -1;
  if (descriptionAt >= 0) {
    duk_to_string(ctx, descriptionAt);
  } else {
    duk_push_string(ctx, "");
    descriptionAt = duk_get_top_index(ctx);
  }
  duk_push_error_object_raw(ctx, DUK_ERR_ERROR, nullptr, 0, "%s", duk_get_string(ctx, descriptionAt));
  duk_push_int(ctx, number);
  duk_put_prop_string(ctx, -2, "number");
  duk_dup(ctx, descriptionAt);
  duk_put_prop_string(ctx, -2, "description");
  return 1;
}

void ReplaceErrorConstructor(duk_context* ctx) {
  duk_get_global_string(ctx, "Error");
  duk_get_prop_string(ctx, -1, "prototype");
  duk_push_c_function(ctx, ConstructError, DUK_VARARGS);
  duk_push_string(ctx, "prototype");
  duk_dup(ctx, -3);
  duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE);
  duk_push_string(ctx, "name");
  duk_push_string(ctx, "Error");
  duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE);
  duk_dup_top(ctx);
  duk_put_prop_string(ctx, -3, "constructor");
  duk_put_global_string(ctx, "Error");
  duk_pop_2(ctx);
}

}  // namespace

std::int32_t JScriptNumber(JScriptError error) {
  return static_cast<std::int32_t>(0x800A0000u | static_cast<std::uint32_t>(error));
}

const char* JScriptText(JScriptError error) {
  for (const KnownText& known : kTexts)
    if (known.error == error) return known.text;
  return "Runtime error";
}

void PushScriptError(duk_context* ctx, std::int32_t number, std::string_view description) {
  // No C file and line: Duktape then blames the script line that made the call.
  const std::string stored = Cesu8FromUtf8(description);
  duk_push_error_object_raw(ctx, DUK_ERR_ERROR, nullptr, 0, "%s", stored.c_str());
  SetNumberAndDescription(ctx, -1, number, description);
}

void PushJScriptError(duk_context* ctx, JScriptError error, std::string_view detail) {
  std::string description = JScriptText(error);
  if (!detail.empty()) description += ": " + std::string(detail);
  PushScriptError(ctx, JScriptNumber(error), description);
}

void PushComError(duk_context* ctx, HRESULT hr, std::string_view detail) {
  for (const HResultMapping& mapping : kHResults) {
    if (mapping.hr == hr) {
      PushJScriptError(ctx, mapping.error, detail);
      return;
    }
  }
  PushScriptError(ctx, hr, detail);
}

void InstallJScriptErrors(duk_context* ctx, const char* preludeFileName) {
  duk_push_heap_stash(ctx);
  duk_push_string(ctx, preludeFileName);
  duk_put_prop_string(ctx, -2, kPreludeKey);
  duk_pop(ctx);
  ReplaceErrorConstructor(ctx);
  duk_get_global_string(ctx, "Duktape");
  duk_push_c_function(ctx, OnErrorCreated, 1);
  duk_put_prop_string(ctx, -2, "errCreate");
  duk_pop(ctx);
}

void ReportUncaught(duk_context* ctx, const std::string& path) {
  bool hasLine = false;
  duk_int_t line = 0;
  if (duk_is_error(ctx, -1)) {
    duk_get_prop_string(ctx, -1, "lineNumber");
    hasLine = duk_is_number(ctx, -1);
    line = duk_get_int(ctx, -1);
    duk_pop(ctx);
  }
  duk_dup_top(ctx);
  duk_safe_to_string(ctx, -1);
  const std::string message = Utf8At(ctx, -1);
  duk_pop(ctx);
  const std::string where = hasLine ? path + ":" + std::to_string(line) : path;
  WriteToConsole(stderr, where + ": " + message + "\n");
}

}  // namespace script_host
