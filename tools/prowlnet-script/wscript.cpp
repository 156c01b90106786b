#include "prowlnet-script/wscript.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "pal/host_kit.h"
#include "pal/ocidl.h"
#include "prowlnet-script/activex_object.h"
#include "prowlnet-script/console_text.h"
#include "prowlnet-script/host_object.h"
#include "prowlnet-script/jscript_errors.h"
#include "prowlnet-script/object_events.h"
#include "prowlnet-script/script_run.h"
#include "prowlnet-script/script_values.h"
#include "prowlnet-script/text_stream.h"
#include "prowlnet-script/wsh_arguments.h"

namespace script_host {
namespace {

/// The longest wait WScript.Sleep takes: its argument was a 32-bit count of milliseconds.
constexpr double kLongestSleepMs = 2147483647.0;

/// Ends the run when its time limit has passed; every call into the host checks.
void CheckTime(duk_context* ctx) {
  ScriptRun& run = ScriptRunOf(ctx);
  if (TimedOut(run)) EndTimedOut(run);
}

duk_ret_t Echo(duk_context* ctx) {
  CheckTime(ctx);
  const duk_idx_t count = duk_get_top(ctx);
  // Converts every value first: a conversion may throw into the script.
  for (duk_idx_t i = 0; i < count; ++i) duk_to_string(ctx, i);
  std::string line;
  for (duk_idx_t i = 0; i < count; ++i) line += (i == 0 ? "" : " ") + Utf8At(ctx, i);
  WriteToConsole(stdout, line + "\n");
  return 0;
}

duk_ret_t SleepPumping(duk_context* ctx) {
  CheckTime(ctx);
  double milliseconds = duk_to_number(ctx, 0);
  if (!(milliseconds > 0)) return 0;
  milliseconds = std::min(milliseconds, kLongestSleepMs);
  ScriptRun& run = ScriptRunOf(ctx);
  const auto deadline = Deadline(run);
  const std::chrono::milliseconds wait(static_cast<long long>(milliseconds));
  const auto wanted = std::chrono::steady_clock::now() + wait;
  if (deadline && *deadline < wanted) {
    using std::chrono::milliseconds;
    const auto left = std::chrono::duration_cast<milliseconds>(*deadline - std::chrono::steady_clock::now());
    pal::PumpFor(std::max(left, milliseconds(0)));
    EndTimedOut(run);
  }
  pal::PumpFor(wait);
  return 0;
}

/// The exit status for the code given to Quit: a whole number in 0..255 as it is (rounded as a
/// VARIANT conversion rounds); any other code is a failure the shell must see, so it becomes 255
/// rather than wrapping round to 0.
int ExitStatusOf(double code) {
  if (std::isnan(code)) return 0;
  const double rounded = std::nearbyint(code);
  return rounded >= 0 && rounded <= 255 ? static_cast<int>(rounded) : 255;
}

duk_ret_t Quit(duk_context* ctx) {
  const double code = duk_is_undefined(ctx, 0) ? 0 : duk_to_number(ctx, 0);
  EndProcess(ScriptRunOf(ctx), ExitStatusOf(code));
}

/// Connects the events of the live object `id` to the functions named with the prefix at
/// `prefixAt`. With `required`, an object without events is an error; otherwise it is left
/// unconnected, as CreateObject left it.
bool ConnectPrefixed(duk_context* ctx, LiveObjects::Id id, duk_idx_t prefixAt, bool required, const char* caller) {
  ScriptRun& run = ScriptRunOf(ctx);
  duk_to_string(ctx, prefixAt);
  const std::string prefix = Utf8At(ctx, prefixAt);
  std::unique_ptr<EventConnection> connection;
  const HRESULT hr = ConnectEvents(ctx, run.objects.Find(id), prefix, &connection);
  if (hr == S_OK) {
    run.objects.SetEvents(id, std::move(connection));
    return true;
  }
  if (hr == S_FALSE && !required) return true;
  const HRESULT failure = hr == S_FALSE ? CONNECT_E_NOCONNECTION : hr;
  const std::string text = late_binding::DescribeHResult(failure);
  PushComError(ctx, failure, std::string(caller) + ": the object has no events to connect: " + text);
  return false;
}

bool PrefixGiven(duk_context* ctx, duk_idx_t index) {
  return !duk_is_undefined(ctx, index) && !duk_is_null(ctx, index);
}

bool PushCreated(duk_context* ctx) {
  if (!duk_is_string(ctx, 0)) {
    PushJScriptError(ctx, kTypeMismatch, "WScript.CreateObject: the first argument must be a ProgID");
    return false;
  }
  LiveObjects::Id id = 0;
  if (!PushCreatedObject(ctx, Utf8At(ctx, 0), "WScript.CreateObject", &id)) return false;
  return !PrefixGiven(ctx, 1) || ConnectPrefixed(ctx, id, 1, false, "WScript.CreateObject");
}

duk_ret_t CreateObject(duk_context* ctx) {
  CheckTime(ctx);
  duk_set_top(ctx, 2);
  if (!PushCreated(ctx)) return duk_throw(ctx);
  return 1;
}

bool PushGot(duk_context* ctx) {
  LiveObjects::Id id = 0;
  if (!PushObjectFromGetObject(ctx, "WScript.GetObject", &id)) return false;
  return !PrefixGiven(ctx, 2) || ConnectPrefixed(ctx, id, 2, false, "WScript.GetObject");
}

duk_ret_t GetObject(duk_context* ctx) {
  CheckTime(ctx);
  duk_set_top(ctx, 3);
  if (!PushGot(ctx)) return duk_throw(ctx);
  return 1;
}

/// The live object of the proxy at 0; 0 with JScript's 13 pushed for another value.
LiveObjects::Id ObjectArgument(duk_context* ctx, const char* caller) {
  const LiveObjects::Id id = ObjectIdOf(ctx, 0);
  if (id == 0) PushJScriptError(ctx, kTypeMismatch, std::string(caller) + ": the first argument must be an object");
  return id;
}

duk_ret_t ConnectObject(duk_context* ctx) {
  duk_set_top(ctx, 2);
  const LiveObjects::Id id = ObjectArgument(ctx, "WScript.ConnectObject");
  if (id == 0 || !ConnectPrefixed(ctx, id, 1, true, "WScript.ConnectObject")) return duk_throw(ctx);
  return 0;
}

duk_ret_t DisconnectObject(duk_context* ctx) {
  const LiveObjects::Id id = ObjectArgument(ctx, "WScript.DisconnectObject");
  if (id == 0) return duk_throw(ctx);
  ScriptRunOf(ctx).objects.SetEvents(id, nullptr);
  return 0;
}

duk_ret_t Application(duk_context* ctx) {
  duk_get_global_string(ctx, "WScript");
  return 1;
}

duk_ret_t Interactive(duk_context* ctx) {
  duk_push_boolean(ctx, ScriptRunOf(ctx).interactive);
  return 1;
}

duk_ret_t SetInteractive(duk_context* ctx) {
  ScriptRunOf(ctx).interactive = duk_to_boolean(ctx, 0) != 0;
  return 0;
}

duk_ret_t Timeout(duk_context* ctx) {
  duk_push_number(ctx, ScriptRunOf(ctx).timeoutSeconds);
  return 1;
}

duk_ret_t SetTimeoutSeconds(duk_context* ctx) {
  SetTimeout(ScriptRunOf(ctx), duk_to_number(ctx, 0));
  return 0;
}

void PutText(duk_context* ctx, const char* name, const std::string& value) {
  PushText(ctx, value);
  PutConstant(ctx, name);
}

void PutPaths(duk_context* ctx, const ScriptRun& run) {
  const std::filesystem::path host(run.host.path);
  PutText(ctx, "FullName", run.host.path);
  PutText(ctx, "Path", host.parent_path().string());
  PutText(ctx, "ScriptFullName", run.script.fullPath);
  PutText(ctx, "ScriptName", std::filesystem::path(run.script.fullPath).filename().string());
}

}  // namespace

void DefineWScript(duk_context* ctx) {
  duk_push_object(ctx);
  PutMethod(ctx, "Echo", Echo, DUK_VARARGS);
  PutMethod(ctx, "Sleep", SleepPumping, 1);
  PutMethod(ctx, "Quit", Quit, 1);
  PutMethod(ctx, "CreateObject", CreateObject, 2);
  PutMethod(ctx, "GetObject", GetObject, 3);
  PutMethod(ctx, "ConnectObject", ConnectObject, 2);
  PutMethod(ctx, "DisconnectObject", DisconnectObject, 1);
  PushWshArguments(ctx);
  PutConstant(ctx, "Arguments");
  PutTextStreams(ctx);
  PutPaths(ctx, ScriptRunOf(ctx));
  PutText(ctx, "Name", "Windows Script Host");
  PutText(ctx, "Version", kWshVersion);
  duk_push_int(ctx, kWshBuild);
  PutConstant(ctx, "BuildVersion");
  PutGetter(ctx, "Application", Application);
  PutGetter(ctx, "Interactive", Interactive, SetInteractive);
  PutGetter(ctx, "Timeout", Timeout, SetTimeoutSeconds);
  WrapHostObject(ctx, "WScript");
  duk_put_global_string(ctx, "WScript");
}

}  // namespace script_host
