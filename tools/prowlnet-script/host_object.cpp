#include "prowlnet-script/host_object.h"

#include <strings.h>

#include <string>

#include "prowlnet-script/jscript_errors.h"
#include "prowlnet-script/script_values.h"

namespace script_host {
namespace {

constexpr char kTypeNameKey[] = DUK_HIDDEN_SYMBOL("typeName");
constexpr char kHandlerKey[] = DUK_HIDDEN_SYMBOL("hostObjectHandler");

/// Replaces the key at `key` by the name of the target's own member that matches it regardless
/// of case; false when there is none.
bool FindOwnMember(duk_context* ctx, duk_idx_t target, duk_idx_t key) {
  const std::string wanted = Utf8At(ctx, key);
  duk_enum(ctx, target, DUK_ENUM_OWN_PROPERTIES_ONLY | DUK_ENUM_INCLUDE_NONENUMERABLE);
  while (duk_next(ctx, -1, 0)) {
    if (strcasecmp(Utf8At(ctx, -1).c_str(), wanted.c_str()) == 0) {
      duk_replace(ctx, key);
      duk_pop(ctx);
      return true;
    }
    duk_pop(ctx);
  }
  duk_pop(ctx);
  return false;
}

/// Resolves the key at 1 to a member of the target at 0: the exact name when the target has it
/// (its own or inherited, as toString), else an own member whose name matches regardless of case.
bool ResolveMember(duk_context* ctx) {
  if (duk_is_symbol(ctx, 1)) return true;
  duk_dup(ctx, 1);
  if (duk_has_prop(ctx, 0)) return true;
  duk_to_string(ctx, 1);
  return FindOwnMember(ctx, 0, 1);
}

void PushNoSuchMember(duk_context* ctx, duk_idx_t key) {
  duk_get_prop_string(ctx, 0, kTypeNameKey);
  PushJScriptError(ctx, kNoSuchMember, Utf8At(ctx, -1) + "." + Utf8At(ctx, key));
}

/// The get trap (target, key, receiver).
duk_ret_t GetMember(duk_context* ctx) {
  duk_set_top(ctx, 2);
  if (ResolveMember(ctx)) {
    duk_get_prop(ctx, 0);
    return 1;
  }
  // The engine asks for toJSON whenever a script serializes the object.
  if (Utf8At(ctx, 1) == "toJSON") return 0;
  PushNoSuchMember(ctx, 1);
  return duk_throw(ctx);
}

/// Whether the member named at `key` has a setter.
bool HasSetter(duk_context* ctx, duk_idx_t key) {
  duk_dup(ctx, key);
  duk_get_prop_desc(ctx, 0, 0);
  const bool settable = duk_is_object(ctx, -1) && duk_get_prop_string(ctx, -1, "set") && duk_is_function(ctx, -1);
  duk_set_top(ctx, 3);
  return settable;
}

/// The set trap (target, key, value, receiver).
duk_ret_t SetMember(duk_context* ctx) {
  duk_set_top(ctx, 3);
  if (duk_is_symbol(ctx, 1)) return 0;
  if (!ResolveMember(ctx)) {
    PushNoSuchMember(ctx, 1);
    return duk_throw(ctx);
  }
  if (!HasSetter(ctx, 1)) {
    duk_get_prop_string(ctx, 0, kTypeNameKey);
    PushJScriptError(ctx, kWrongArgumentCount, Utf8At(ctx, -1) + "." + Utf8At(ctx, 1) + " is read-only");
    return duk_throw(ctx);
  }
  duk_put_prop(ctx, 0);
  duk_push_true(ctx);
  return 1;
}

void PushHandler(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  if (!duk_get_prop_string(ctx, -1, kHandlerKey)) {
    duk_pop(ctx);
    duk_push_object(ctx);
    duk_push_c_function(ctx, GetMember, 3);
    duk_put_prop_string(ctx, -2, "get");
    duk_push_c_function(ctx, SetMember, 4);
    duk_put_prop_string(ctx, -2, "set");
    duk_dup_top(ctx);
    duk_put_prop_string(ctx, -3, kHandlerKey);
  }
  duk_remove(ctx, -2);
}

}  // namespace

void PutMethod(duk_context* ctx, const char* name, duk_c_function method, duk_idx_t arguments) {
  duk_push_c_function(ctx, method, arguments);
  duk_put_prop_string(ctx, -2, name);
}

void PutConstant(duk_context* ctx, const char* name) {
  duk_push_string(ctx, name);
  duk_insert(ctx, -2);
  duk_def_prop(ctx, -3,
               DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE | DUK_DEFPROP_SET_ENUMERABLE | DUK_DEFPROP_FORCE);
}

void PutGetter(duk_context* ctx, const char* name, duk_c_function getter, duk_c_function setter) {
  duk_uint_t flags = DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_ENUMERABLE | DUK_DEFPROP_FORCE;
  const duk_idx_t object = duk_get_top_index(ctx);
  duk_push_string(ctx, name);
  duk_push_c_function(ctx, getter, 0);
  if (setter != nullptr) {
    duk_push_c_function(ctx, setter, 1);
    flags |= DUK_DEFPROP_HAVE_SETTER;
  }
  duk_def_prop(ctx, object, flags);
}

void WrapHostObject(duk_context* ctx, const char* typeName) {
  duk_push_string(ctx, typeName);
  duk_put_prop_string(ctx, -2, kTypeNameKey);
  PushHandler(ctx);
  duk_push_proxy(ctx, 0);
}

}  // namespace script_host
