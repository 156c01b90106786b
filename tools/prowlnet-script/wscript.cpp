#include "prowlnet-script/wscript.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "pal/host_kit.h"
#include "prowlnet-script/script_values.h"
#include "prowlnet-script/session.h"

namespace script_host {
namespace {

/// Writes the values on the stack as strings, space-joined, and a line end. Converts them first:
/// a conversion may throw into the script.
void WriteLine(duk_context* ctx, std::FILE* stream) {
  const duk_idx_t count = duk_get_top(ctx);
  for (duk_idx_t i = 0; i < count; ++i) duk_to_string(ctx, i);
  std::string line;
  for (duk_idx_t i = 0; i < count; ++i) line += (i == 0 ? "" : " ") + Utf8At(ctx, i);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

duk_ret_t Echo(duk_context* ctx) {
  if (Quitting(ctx)) return ThrowQuit(ctx);
  WriteLine(ctx, stdout);
  return 0;
}

duk_ret_t WriteErrorLine(duk_context* ctx) {
  if (Quitting(ctx)) return ThrowQuit(ctx);
  duk_set_top(ctx, 1);
  WriteLine(ctx, stderr);
  return 0;
}

duk_ret_t SleepPumping(duk_context* ctx) {
  if (Quitting(ctx)) return ThrowQuit(ctx);
  const double milliseconds = duk_to_number(ctx, 0);
  if (milliseconds > 0) pal::PumpFor(std::chrono::milliseconds(static_cast<long long>(milliseconds)));
  return 0;
}

duk_ret_t Quit(duk_context* ctx) {
  Session& session = SessionOf(ctx);
  session.exitCode = duk_is_undefined(ctx, 0) ? 0 : duk_to_int(ctx, 0);
  session.quitting = true;
  return ThrowQuit(ctx);
}

bool PushArgument(duk_context* ctx) {
  const Session& session = SessionOf(ctx);
  const double index = duk_get_number_default(ctx, 0, -1);
  if (!(index >= 0 && index < static_cast<double>(session.arguments.size()) && std::trunc(index) == index)) {
    PushError(ctx, DISP_E_BADINDEX, "WScript.Arguments.Item: " + late_binding::DescribeHResult(DISP_E_BADINDEX));
    return false;
  }
  const std::string& argument = session.arguments[static_cast<size_t>(index)];
  duk_push_lstring(ctx, argument.data(), argument.size());
  return true;
}

duk_ret_t ArgumentItem(duk_context* ctx) {
  if (Quitting(ctx)) return ThrowQuit(ctx);
  if (!PushArgument(ctx)) return duk_throw(ctx);
  return 1;
}

duk_ret_t ArgumentCount(duk_context* ctx) {
  duk_push_uint(ctx, static_cast<duk_uint_t>(SessionOf(ctx).arguments.size()));
  return 1;
}

void PutFunction(duk_context* ctx, const char* name, duk_c_function function, duk_idx_t arguments) {
  duk_push_c_function(ctx, function, arguments);
  duk_put_prop_string(ctx, -2, name);
}

/// WScript.Arguments: callable, as in `WScript.Arguments(0)`, with the arguments at its indices.
void PushArguments(duk_context* ctx) {
  const Session& session = SessionOf(ctx);
  duk_push_c_function(ctx, ArgumentItem, 1);
  for (size_t i = 0; i < session.arguments.size(); ++i) {
    duk_push_lstring(ctx, session.arguments[i].data(), session.arguments[i].size());
    duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
  }
  duk_push_string(ctx, "length");
  duk_push_uint(ctx, static_cast<duk_uint_t>(session.arguments.size()));
  duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE);
  PutFunction(ctx, "Item", ArgumentItem, 1);
  PutFunction(ctx, "item", ArgumentItem, 1);
  PutFunction(ctx, "Count", ArgumentCount, 0);
  PutFunction(ctx, "count", ArgumentCount, 0);
}

}  // namespace

void DefineWScript(duk_context* ctx) {
  duk_push_object(ctx);
  PutFunction(ctx, "Echo", Echo, DUK_VARARGS);
  PutFunction(ctx, "Sleep", SleepPumping, 1);
  PutFunction(ctx, "Quit", Quit, 1);
  PushArguments(ctx);
  duk_put_prop_string(ctx, -2, "Arguments");
  duk_push_object(ctx);
  PutFunction(ctx, "WriteLine", WriteErrorLine, 1);
  duk_put_prop_string(ctx, -2, "StdErr");
  duk_put_global_string(ctx, "WScript");
}

}  // namespace script_host
