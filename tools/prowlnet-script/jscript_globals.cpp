#include "prowlnet-script/jscript_globals.h"

#include <cstdio>
#include <cstdlib>

#include "jscript_prelude.inc"
#include "prowlnet-script/wsh_arguments.h"

namespace script_host {
namespace {

duk_ret_t ItemsOf(duk_context* ctx) { return PushCollectionItems(ctx, 0) ? 1 : 0; }

duk_ret_t CollectGarbage(duk_context* ctx) {
  duk_gc(ctx, 0);
  return 0;
}

void PushHostHelpers(duk_context* ctx) {
  duk_push_object(ctx);
  duk_push_c_function(ctx, ItemsOf, 1);
  duk_put_prop_string(ctx, -2, "itemsOf");
  duk_push_c_function(ctx, CollectGarbage, 0);
  duk_put_prop_string(ctx, -2, "collectGarbage");
}

/// Compiles the prelude as a function and calls it with the global object and the helpers.
bool RunPrelude(duk_context* ctx) {
  duk_push_string(ctx, kPreludeFileName);
  if (duk_pcompile_lstring_filename(ctx, DUK_COMPILE_FUNCTION, kJScriptPrelude, sizeof kJScriptPrelude - 1) != 0) {
    return false;
  }
  duk_push_global_object(ctx);
  PushHostHelpers(ctx);
  return duk_pcall(ctx, 2) == DUK_EXEC_SUCCESS;
}

}  // namespace

void DefineJScriptGlobals(duk_context* ctx) {
  if (!RunPrelude(ctx)) {
    // The prelude is part of the program: failing to run it is a fault of the build.
    std::fprintf(stderr, "prowlnet-script: %s: %s\n", kPreludeFileName, duk_safe_to_string(ctx, -1));
    std::abort();
  }
  duk_pop(ctx);
}

}  // namespace script_host
