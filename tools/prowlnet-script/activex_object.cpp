#include "prowlnet-script/activex_object.h"

#include <string>
#include <vector>

#include "pal/host_kit.h"
#include "prowlnet-script/script_values.h"
#include "prowlnet-script/session.h"

namespace script_host {
namespace {

// The proxy's target is a plain object that owns the reference; the methods that member reads
// hand out keep the target, so an object lives while any of its methods does.
constexpr char kObjectKey[] = DUK_HIDDEN_SYMBOL("object");
constexpr char kTargetKey[] = DUK_HIDDEN_SYMBOL("target");
constexpr char kDispidKey[] = DUK_HIDDEN_SYMBOL("dispid");
constexpr char kNameKey[] = DUK_HIDDEN_SYMBOL("name");
constexpr char kHandlerKey[] = DUK_HIDDEN_SYMBOL("activeXHandler");

/// The object that the target at `index` holds; null once released, when nothing can reach the
/// target any more.
IDispatch* ObjectOf(duk_context* ctx, duk_idx_t index) {
  duk_get_prop_string(ctx, index, kObjectKey);
  auto* object = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  return object;
}

/// The target's finalizer: Duktape runs it when the script drops the last reference and for every
/// object still alive when the heap is destroyed.
duk_ret_t ReleaseObject(duk_context* ctx) {
  IDispatch* object = ObjectOf(ctx, 0);
  if (object == nullptr) return 0;
  duk_push_pointer(ctx, nullptr);
  duk_put_prop_string(ctx, 0, kObjectKey);
  object->Release();
  return 0;
}

/// Calls the method that the current function stands for with the call's arguments.
bool CallFromScript(duk_context* ctx) {
  const duk_idx_t count = duk_get_top(ctx);
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, kTargetKey);
  IDispatch* object = ObjectOf(ctx, -1);
  duk_get_prop_string(ctx, -2, kDispidKey);
  const DISPID id = duk_get_int(ctx, -1);
  duk_get_prop_string(ctx, -3, kNameKey);
  const std::string name = Utf8At(ctx, -1);
  duk_pop_n(ctx, 4);

  std::vector<late_binding::Value> arguments(static_cast<size_t>(count));
  for (duk_idx_t i = 0; i < count; ++i) {
    if (ValueAt(ctx, i, &arguments[static_cast<size_t>(i)])) continue;
    PushError(ctx, DISP_E_TYPEMISMATCH,
              name + ": " + late_binding::DescribeHResult(DISP_E_TYPEMISMATCH) + " in argument " + std::to_string(i + 1));
    return false;
  }
  const late_binding::Outcome outcome = late_binding::CallMethod(object, id, arguments);
  if (!outcome.ok()) {
    PushError(ctx, outcome.hr, name + ": " + outcome.error);
    return false;
  }
  PushValue(ctx, outcome.result);
  return true;
}

duk_ret_t CallMember(duk_context* ctx) {
  if (Quitting(ctx)) return ThrowQuit(ctx);
  if (!CallFromScript(ctx)) return duk_throw(ctx);
  return 1;
}

/// The method named by the key at 1 of the target at 0, as a function.
bool PushMethod(duk_context* ctx) {
  const std::string name = Utf8At(ctx, 1);
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = late_binding::FindMember(ObjectOf(ctx, 0), name, &id);
  if (FAILED(hr)) {
    PushError(ctx, hr, name + ": " + late_binding::DescribeHResult(hr));
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
  if (Quitting(ctx)) return ThrowQuit(ctx);
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

/// Pushes a proxy that takes over the reference on `object`.
void PushProxy(duk_context* ctx, IDispatch* object) {
  duk_push_object(ctx);
  duk_push_c_function(ctx, ReleaseObject, 1);
  duk_set_finalizer(ctx, -2);
  duk_push_pointer(ctx, object);
  duk_put_prop_string(ctx, -2, kObjectKey);
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

bool PushNewObject(duk_context* ctx) {
  if (!duk_is_string(ctx, 0)) {
    PushError(ctx, DISP_E_TYPEMISMATCH, "ActiveXObject: the argument must be a ProgID");
    return false;
  }
  const std::string progId = Utf8At(ctx, 0);
  ATL::CComPtr<IDispatch> object;
  const HRESULT hr = CreateByProgId(progId, object);
  if (FAILED(hr)) {
    PushError(ctx, hr, "ActiveXObject(\"" + progId + "\"): " + late_binding::DescribeHResult(hr));
    return false;
  }
  PushProxy(ctx, object.Detach());
  return true;
}

duk_ret_t ConstructActiveXObject(duk_context* ctx) {
  if (Quitting(ctx)) return ThrowQuit(ctx);
  if (!PushNewObject(ctx)) return duk_throw(ctx);
  return 1;
}

}  // namespace

void DefineActiveXObject(duk_context* ctx) {
  duk_push_c_function(ctx, ConstructActiveXObject, 1);
  duk_put_global_string(ctx, "ActiveXObject");
}

}  // namespace script_host
