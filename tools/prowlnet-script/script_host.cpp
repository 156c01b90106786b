#include "prowlnet-script/script_host.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "prowlnet-script/activex_object.h"
#include "prowlnet-script/conditional_compilation.h"
#include "prowlnet-script/console_text.h"
#include "prowlnet-script/jscript_errors.h"
#include "prowlnet-script/jscript_globals.h"
#include "prowlnet-script/script_values.h"
#include "prowlnet-script/wscript.h"

namespace script_host {
namespace {

void FatalError(void*, const char* message) {
  std::fprintf(stderr, "prowlnet-script: fatal script engine error: %s\n", message != nullptr ? message : "");
  std::abort();
}

struct HeapDeleter {
  void operator()(duk_context* ctx) const { duk_destroy_heap(ctx); }
};
using Heap = std::unique_ptr<duk_context, HeapDeleter>;

/// Evaluates a constant conditional-compilation expression with the engine itself, so that it
/// has JScript's own arithmetic; the preprocessor let nothing else through.
std::optional<CcValue> EvaluateConstant(duk_context* ctx, std::string_view expression) {
  const std::string source = "(" + std::string(expression) + ")";
  std::optional<CcValue> value;
  const bool evaluated = duk_peval_lstring(ctx, source.data(), source.size()) == 0;
  if (evaluated && (duk_is_boolean(ctx, -1) || duk_is_number(ctx, -1))) {
    duk_dup_top(ctx);
    const bool truthy = duk_to_boolean(ctx, -1) != 0;
    duk_pop(ctx);
    const bool negative = duk_is_number(ctx, -1) && duk_get_number(ctx, -1) < 0;
    const std::string text = duk_safe_to_string(ctx, -1);
    value = CcValue{negative ? "(" + text + ")" : text, truthy};
  }
  duk_pop(ctx);
  return value;
}

/// Compiles and runs the script; false with the uncaught value on the stack.
bool CompileAndRun(duk_context* ctx, const std::string& path, std::string_view source) {
  duk_push_lstring(ctx, path.data(), path.size());
  if (duk_pcompile_lstring_filename(ctx, DUK_COMPILE_SHEBANG, source.data(), source.size()) != 0) return false;
  return duk_pcall(ctx, 0) == DUK_EXEC_SUCCESS;
}

void DefineGlobals(duk_context* ctx) {
  InstallJScriptErrors(ctx, kPreludeFileName);
  DefineJScriptGlobals(ctx);
  DefineActiveXObject(ctx);
  DefineWScript(ctx);
}

int Execute(duk_context* ctx, ScriptRun& run) {
  const Preprocessed source = PreprocessConditionalCompilation(
      run.script.text, [ctx](std::string_view expression) { return EvaluateConstant(ctx, expression); });
  if (!source.error.empty()) {
    const std::string where = run.script.path + ":" + std::to_string(source.errorLine);
    WriteToConsole(stderr, where + ": SyntaxError: " + source.error + "\n");
    return kScriptErrorExit;
  }
  if (CompileAndRun(ctx, run.script.path, source.text)) return 0;
  ReportUncaught(ctx, run.script.path);
  return kScriptErrorExit;
}

}  // namespace

int RunScript(const ScriptFile& script, const std::vector<std::string>& arguments, const HostProgram& host) {
  ScriptRun run{script, arguments, host};
  Heap heap(duk_create_heap(nullptr, nullptr, nullptr, nullptr, FatalError));
  if (heap == nullptr) {
    std::fprintf(stderr, "prowlnet-script: cannot create the script engine\n");
    return kScriptErrorExit;
  }
  AttachScriptRun(heap.get(), &run);
  DefineGlobals(heap.get());
  const int status = Execute(heap.get(), run);
  CancelTimeout();
  // Before the heap goes: releasing an object may still call the script's event handlers.
  run.objects.ReleaseAll();
  return status;
}

}  // namespace script_host
