#include "prowlnet-script/script_host.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "prowlnet-script/activex_object.h"
#include "prowlnet-script/script_values.h"
#include "prowlnet-script/session.h"
#include "prowlnet-script/wscript.h"

namespace script_host {
namespace {

void FatalError(void*, const char* message) {
  std::fprintf(stderr, "prowlnet-script: fatal script engine error: %s\n", message != nullptr ? message : "");
  std::abort();
}

struct HeapDeleter {
  /// Destroying the heap runs the finalizers of the objects still alive, so they are released.
  void operator()(duk_context* ctx) const { duk_destroy_heap(ctx); }
};
using Heap = std::unique_ptr<duk_context, HeapDeleter>;

/// Reports the uncaught value on top of the stack: "path:line: message", or "path: message" for
/// a thrown value that is not an Error and so carries no line.
void ReportUncaught(duk_context* ctx, const std::string& path) {
  bool hasLine = false;
  duk_int_t line = 0;
  if (duk_is_error(ctx, -1)) {
    duk_get_prop_string(ctx, -1, "lineNumber");
    hasLine = duk_is_number(ctx, -1);
    line = duk_get_int(ctx, -1);
    duk_pop(ctx);
  }
  duk_safe_to_string(ctx, -1);
  const std::string message = Utf8At(ctx, -1);
  if (hasLine) {
    std::fprintf(stderr, "%s:%ld: %s\n", path.c_str(), static_cast<long>(line), message.c_str());
  } else {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), message.c_str());
  }
}

/// Compiles and runs the script; false with the uncaught value on the stack.
bool CompileAndRun(duk_context* ctx, const std::string& path, std::string_view source) {
  duk_push_lstring(ctx, path.data(), path.size());
  if (duk_pcompile_lstring_filename(ctx, DUK_COMPILE_SHEBANG, source.data(), source.size()) != 0) return false;
  return duk_pcall(ctx, 0) == DUK_EXEC_SUCCESS;
}

}  // namespace

int RunScript(const std::string& path, std::string_view source, const std::vector<std::string>& arguments) {
  Session session{arguments};
  Heap heap(duk_create_heap(nullptr, nullptr, nullptr, nullptr, FatalError));
  if (heap == nullptr) {
    std::fprintf(stderr, "prowlnet-script: cannot create the script engine\n");
    return kScriptErrorExit;
  }
  duk_context* ctx = heap.get();
  AttachSession(ctx, &session);
  DefineActiveXObject(ctx);
  DefineWScript(ctx);
  if (CompileAndRun(ctx, path, source)) return 0;
  if (session.quitting) return session.exitCode;
  ReportUncaught(ctx, path);
  return kScriptErrorExit;
}

}  // namespace script_host
