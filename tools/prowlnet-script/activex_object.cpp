#include "prowlnet-script/activex_object.h"

#include <strings.h>

#include <cstring>

#include <vector>

#include "pal/host_kit.h"
#include "prowlnet-script/jscript_errors.h"
#include "prowlnet-script/script_run.h"
#include "prowlnet-script/script_values.h"

namespace script_host {
namespace {

// The proxy's target is a plain object that names the live object; the methods that member
// reads hand out keep the target, so an object lives while any of its methods does.
constexpr char kObjectIdKey[] = DUK_HIDDEN_SYMBOL("objectId");
constexpr char kTargetKey[] = DUK_HIDDEN_SYMBOL("target");
constexpr char kDispidKey[] = DUK_HIDDEN_SYMBOL("dispid");
constexpr char kNameKey[] = DUK_HIDDEN_SYMBOL("name");
constexpr char kHandlerKey[] = DUK_HIDDEN_SYMBOL("activeXHandler");

// ProgIDs of the objects that came with Windows, which scripts of the time used beside the
// control: they are not registered here, and the error says why.
constexpr const char* kWindowsProgIdPrefixes[] = {
    "WScript.", "Scripting.", "Shell.", "ADODB.",    "MSXML",   "Microsoft.XML", "WbemScripting.", "WinHttp.",
    "CDO.",     "SAPI.",      "Excel.", "Word.",     "Outlook.", "Access.",      "PowerPoint.",    "InternetExplorer.",
};

bool IsWindowsProgId(const std::string& progId) {
  for (const char* prefix : kWindowsProgIdPrefixes)
    if (strncasecmp(progId.c_str(), prefix, std::strlen(prefix)) == 0) return true;
  return false;
}

LiveObjects::Id IdAt(duk_context* ctx, duk_idx_t index) {
  if (!duk_is_object(ctx, index)) return 0;
  duk_get_prop_string(ctx, index, kObjectIdKey);
  const auto id = static_cast<LiveObjects::Id>(duk_get_uint(ctx, -1));
  duk_pop(ctx);
  return id;
}

/// The target's finalizer: Duktape runs it when the script drops the last reference.
duk_ret_t ReleaseObject(duk_context* ctx) {
  ScriptRunOf(ctx).objects.Release(IdAt(ctx, 0));
  return 0;
}

/// Calls the method that the current function stands for with the call's arguments.
bool CallFromScript(duk_context* ctx) {
  const duk_idx_t count = duk_get_top(ctx);
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, kTargetKey);
  IDispatch* object = ScriptRunOf(ctx).objects.Find(IdAt(ctx, -1));
  duk_get_prop_string(ctx, -2, kDispidKey);
  const DISPID id = duk_get_int(ctx, -1);
  duk_get_prop_string(ctx, -3, kNameKey);
  const std::string name = Utf8At(ctx, -1);
  duk_pop_n(ctx, 4);
  if (object == nullptr) {
    PushJScriptError(ctx, kObjectExpected, name + ": the object was released");
    return false;
  }
  std::vector<late_binding::Value> arguments(static_cast<size_t>(count));
  for (duk_idx_t i = 0; i < count; ++i) {
    if (ValueAt(ctx, i, &arguments[static_cast<size_t>(i)])) continue;
    const std::string mismatch = late_binding::DescribeHResult(DISP_E_TYPEMISMATCH);
    PushComError(ctx, DISP_E_TYPEMISMATCH, name + ": " + mismatch + " in argument " + std::to_string(i + 1));
    return false;
  }
  const late_binding::Outcome outcome = late_binding::CallMethod(object, id, arguments);
  if (!outcome.ok()) {
    PushComError(ctx, outcome.hr, name + ": " + outcome.error);
    return false;
  }
  PushValue(ctx, outcome.result);
  return true;
}

duk_ret_t CallMember(duk_context* ctx) {
  if (!CallFromScript(ctx)) return duk_throw(ctx);
  return 1;
}

/// The method named by the key at 1 of the target at 0, as a function.
bool PushMethod(duk_context* ctx) {
  const std::string name = Utf8At(ctx, 1);
  IDispatch* object = ScriptRunOf(ctx).objects.Find(IdAt(ctx, 0));
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = object == nullptr ? E_POINTER : late_binding::FindMember(object, name, &id);
  if (FAILED(hr)) {
    PushComError(ctx, hr, name + ": " + late_binding::DescribeHResult(hr));
    return false;
  }
  duk_push_c_function(ctx, CallMember, DUK_VARARGS);
  duk_dup(ctx, 0);
  duk_put_prop_string(ctx, -2, kTargetKey);
  duk_push_int(ctx, id);
  duk_put_prop_string(ctx, -2, kDispidKey);
  duk_dup(ctx, 1);
  duk_put_prop_string(ctx, -2, kNameKey);
  return true;
}

/// The proxy's get trap (target, key, receiver).
duk_ret_t GetMember(duk_context* ctx) {
  // Symbols name no automation member; the engine asks for some of its own.
  if (duk_is_symbol(ctx, 1)) return 0;
  if (!PushMethod(ctx)) return duk_throw(ctx);
  return 1;
}

/// The one handler that every proxy shares.
void PushHandler(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  if (!duk_get_prop_string(ctx, -1, kHandlerKey)) {
    duk_pop(ctx);
    duk_push_object(ctx);
    duk_push_c_function(ctx, GetMember, 3);
    duk_put_prop_string(ctx, -2, "get");
    duk_dup_top(ctx);
    duk_put_prop_string(ctx, -3, kHandlerKey);
  }
  duk_remove(ctx, -2);
}

/// Pushes a proxy for the live object `id`.
void PushProxy(duk_context* ctx, LiveObjects::Id id) {
  duk_push_object(ctx);
  duk_push_c_function(ctx, ReleaseObject, 1);
  duk_set_finalizer(ctx, -2);
  duk_push_uint(ctx, id);
  duk_put_prop_string(ctx, -2, kObjectIdKey);
  PushHandler(ctx);
  duk_push_proxy(ctx, 0);
}

HRESULT CreateByProgId(const std::string& progId, ATL::CComPtr<IDispatch>& object) {
  const ATL::CComBSTR wide = pal::BstrFromUtf8(progId);
  CLSID clsid;
  const HRESULT hr = CLSIDFromProgID(wide, &clsid);
  if (FAILED(hr)) return hr;
  return object.CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER);
}

std::string CreationFailure(const std::string& progId, std::string_view caller, HRESULT hr) {
  std::string detail = std::string(caller) + "(\"" + progId + "\"): " + late_binding::DescribeHResult(hr);
  if (hr == CO_E_CLASSSTRING && IsWindowsProgId(progId)) {
    detail += "; " + progId + " is part of Windows, which prowlnet-script does not provide";
  }
  return detail;
}

bool PushNewObject(duk_context* ctx) {
  if (!duk_is_string(ctx, 0)) {
    PushJScriptError(ctx, kTypeMismatch, "ActiveXObject: the argument must be a ProgID");
    return false;
  }
  LiveObjects::Id id = 0;
  return PushCreatedObject(ctx, Utf8At(ctx, 0), "ActiveXObject", &id);
}

duk_ret_t ConstructActiveXObject(duk_context* ctx) {
  if (!PushNewObject(ctx)) return duk_throw(ctx);
  return 1;
}

duk_ret_t GetObjectGlobal(duk_context* ctx) {
  LiveObjects::Id id = 0;
  if (!PushObjectFromGetObject(ctx, "GetObject", &id)) return duk_throw(ctx);
  return 1;
}

}  // namespace

bool PushCreatedObject(duk_context* ctx, const std::string& progId, std::string_view caller, LiveObjects::Id* id) {
  ATL::CComPtr<IDispatch> object;
  const HRESULT hr = CreateByProgId(progId, object);
  if (FAILED(hr)) {
    PushJScriptError(ctx, kCannotCreateObject, CreationFailure(progId, caller, hr));
    return false;
  }
  *id = ScriptRunOf(ctx).objects.Add(object);
  PushProxy(ctx, *id);
  return true;
}

bool PushObjectFromGetObject(duk_context* ctx, std::string_view caller, LiveObjects::Id* id) {
  const bool hasPath = !duk_is_undefined(ctx, 0);
  std::string path;
  if (hasPath) {
    duk_to_string(ctx, 0);
    path = Utf8At(ctx, 0);
  }
  const bool hasProgId = duk_is_string(ctx, 1);
  const std::string progId = hasProgId ? Utf8At(ctx, 1) : std::string();
  if (hasPath && !path.empty()) {
    PushJScriptError(ctx, kNameNotFoundInAutomation,
                     std::string(caller) + "(\"" + path + "\"): objects are not bound from files or monikers here");
    return false;
  }
  if (!hasProgId) {
    PushJScriptError(ctx, hasPath ? kArgumentNotOptional : kInvalidCall, std::string(caller) + ": a ProgID is needed");
    return false;
  }
  if (!hasPath) {
    PushJScriptError(ctx, kCannotCreateObject,
                     std::string(caller) + "(, \"" + progId + "\"): no object of that class is running");
    return false;
  }
  return PushCreatedObject(ctx, progId, caller, id);
}

LiveObjects::Id ObjectIdOf(duk_context* ctx, duk_idx_t index) { return IdAt(ctx, index); }

void DefineActiveXObject(duk_context* ctx) {
  duk_push_c_function(ctx, ConstructActiveXObject, 1);
  duk_put_global_string(ctx, "ActiveXObject");
  duk_push_c_function(ctx, GetObjectGlobal, 2);
  duk_put_global_string(ctx, "GetObject");
}

}  // namespace script_host
