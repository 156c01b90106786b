#include "prowlnet-script/wsh_arguments.h"

#include <strings.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "prowlnet-script/host_object.h"
#include "prowlnet-script/jscript_errors.h"
#include "prowlnet-script/script_run.h"
#include "prowlnet-script/script_values.h"

namespace script_host {
namespace {

constexpr char kItemsKey[] = DUK_HIDDEN_SYMBOL("items");

struct NamedArgument {
  std::string name;
  std::string value;
};

struct SplitArguments {
  std::vector<NamedArgument> named;
  std::vector<std::string> unnamed;
};

/// The arguments as WSH split them: "/name:value" and "/name" are named, the rest unnamed.
SplitArguments SplitWshArguments(const std::vector<std::string>& arguments) {
  SplitArguments split;
  for (const std::string& argument : arguments) {
    const bool named = argument.size() > 1 && argument[0] == '/' && argument[1] != ':';
    if (!named) {
      split.unnamed.push_back(argument);
      continue;
    }
    const size_t colon = argument.find(':');
    NamedArgument entry{argument.substr(1, colon == std::string::npos ? std::string::npos : colon - 1),
                        colon == std::string::npos ? std::string() : argument.substr(colon + 1)};
    // A name given twice keeps its last value, in the place it was first given.
    bool replaced = false;
    for (NamedArgument& earlier : split.named) {
      if (strcasecmp(earlier.name.c_str(), entry.name.c_str()) != 0) continue;
      earlier.value = entry.value;
      replaced = true;
    }
    if (!replaced) split.named.push_back(std::move(entry));
  }
  return split;
}

/// The run's arguments, split; they are few, and split afresh at each use.
SplitArguments SplitOf(duk_context* ctx) { return SplitWshArguments(ScriptRunOf(ctx).arguments); }

/// The whole-number index at 0 below `count`; false with JScript's 9 pushed otherwise.
bool IndexArgument(duk_context* ctx, size_t count, const char* what, size_t* index) {
  const double number = duk_get_number_default(ctx, 0, -1);
  if (number >= 0 && number < static_cast<double>(count) && std::trunc(number) == number) {
    *index = static_cast<size_t>(number);
    return true;
  }
  duk_dup(ctx, 0);
  PushJScriptError(ctx, kSubscriptOutOfRange, std::string(what) + ".Item(" + duk_safe_to_string(ctx, -1) + ")");
  return false;
}

duk_ret_t ArgumentItem(duk_context* ctx) {
  const std::vector<std::string>& arguments = ScriptRunOf(ctx).arguments;
  size_t index = 0;
  if (!IndexArgument(ctx, arguments.size(), "WScript.Arguments", &index)) return duk_throw(ctx);
  PushText(ctx, arguments[index]);
  return 1;
}

duk_ret_t ArgumentCount(duk_context* ctx) {
  duk_push_uint(ctx, static_cast<duk_uint_t>(ScriptRunOf(ctx).arguments.size()));
  return 1;
}

bool PushUnnamedItem(duk_context* ctx) {
  const SplitArguments split = SplitOf(ctx);
  size_t index = 0;
  if (!IndexArgument(ctx, split.unnamed.size(), "WScript.Arguments.Unnamed", &index)) return false;
  PushText(ctx, split.unnamed[index]);
  return true;
}

duk_ret_t UnnamedItem(duk_context* ctx) {
  if (!PushUnnamedItem(ctx)) return duk_throw(ctx);
  return 1;
}

duk_ret_t UnnamedCount(duk_context* ctx) {
  duk_push_uint(ctx, static_cast<duk_uint_t>(SplitOf(ctx).unnamed.size()));
  return 1;
}

/// The named argument whose name is at 0, matched regardless of case.
std::optional<NamedArgument> FindNamed(duk_context* ctx) {
  duk_to_string(ctx, 0);
  const std::string name = Utf8At(ctx, 0);
  const SplitArguments split = SplitOf(ctx);
  for (const NamedArgument& named : split.named)
    if (strcasecmp(named.name.c_str(), name.c_str()) == 0) return named;
  return std::nullopt;
}

/// The value of the named argument, "" for a bare /name; undefined (empty) for a name that was
/// not given.
duk_ret_t NamedItem(duk_context* ctx) {
  const std::optional<NamedArgument> named = FindNamed(ctx);
  if (!named) return 0;
  PushText(ctx, named->value);
  return 1;
}

duk_ret_t NamedExists(duk_context* ctx) {
  duk_push_boolean(ctx, FindNamed(ctx).has_value());
  return 1;
}

duk_ret_t NamedCount(duk_context* ctx) {
  duk_push_uint(ctx, static_cast<duk_uint_t>(SplitOf(ctx).named.size()));
  return 1;
}

/// The items of a collection, kept on it for Enumerator, and at its indices when `indexed`.
template <typename Text>
void PutItems(duk_context* ctx, const std::vector<Text>& items, std::string (*textOf)(const Text&), bool indexed) {
  duk_push_array(ctx);
  for (size_t i = 0; i < items.size(); ++i) {
    PushText(ctx, textOf(items[i]));
    duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
    if (!indexed) continue;
    PushText(ctx, textOf(items[i]));
    duk_put_prop_index(ctx, -3, static_cast<duk_uarridx_t>(i));
  }
  duk_put_prop_string(ctx, -2, kItemsKey);
  duk_push_string(ctx, "length");
  duk_push_uint(ctx, static_cast<duk_uint_t>(items.size()));
  duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE);
}

std::string Itself(const std::string& text) { return text; }
std::string NameOf(const NamedArgument& named) { return named.name; }

void PushNamed(duk_context* ctx) {
  duk_push_c_function(ctx, NamedItem, 1);
  PutItems(ctx, SplitOf(ctx).named, NameOf, false);
  PutMethod(ctx, "Item", NamedItem, 1);
  PutMethod(ctx, "Exists", NamedExists, 1);
  PutMethod(ctx, "Count", NamedCount, 0);
  WrapHostObject(ctx, "WScript.Arguments.Named");
}

void PushUnnamed(duk_context* ctx) {
  duk_push_c_function(ctx, UnnamedItem, 1);
  PutItems(ctx, SplitOf(ctx).unnamed, Itself, true);
  PutMethod(ctx, "Item", UnnamedItem, 1);
  PutMethod(ctx, "Count", UnnamedCount, 0);
  WrapHostObject(ctx, "WScript.Arguments.Unnamed");
}

}  // namespace

void PushWshArguments(duk_context* ctx) {
  duk_push_c_function(ctx, ArgumentItem, 1);
  PutItems(ctx, ScriptRunOf(ctx).arguments, Itself, true);
  PutMethod(ctx, "Item", ArgumentItem, 1);
  PutMethod(ctx, "Count", ArgumentCount, 0);
  PushNamed(ctx);
  PutConstant(ctx, "Named");
  PushUnnamed(ctx);
  PutConstant(ctx, "Unnamed");
  WrapHostObject(ctx, "WScript.Arguments");
}

bool PushCollectionItems(duk_context* ctx, duk_idx_t index) {
  if (!duk_is_object(ctx, index)) return false;
  if (duk_get_prop_string(ctx, index, kItemsKey) && duk_is_array(ctx, -1)) return true;
  duk_pop(ctx);
  return false;
}

}  // namespace script_host
