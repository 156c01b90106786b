#include "prowlnet-script/session.h"

namespace script_host {
namespace {

constexpr char kSessionKey[] = DUK_HIDDEN_SYMBOL("session");

}  // namespace

void AttachSession(duk_context* ctx, Session* session) {
  duk_push_heap_stash(ctx);
  duk_push_pointer(ctx, session);
  duk_put_prop_string(ctx, -2, kSessionKey);
  duk_pop(ctx);
}

Session& SessionOf(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kSessionKey);
  auto* session = static_cast<Session*>(duk_get_pointer(ctx, -1));
  duk_pop_2(ctx);
  return *session;
}

duk_ret_t ThrowQuit(duk_context* ctx) {
  duk_push_error_object_raw(ctx, DUK_ERR_ERROR, nullptr, 0, "WScript.Quit(%d)", SessionOf(ctx).exitCode);
  return duk_throw(ctx);
}

}  // namespace script_host
