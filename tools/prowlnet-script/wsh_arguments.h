// WScript.Arguments as WSH gave it: every argument in order, callable and indexed,
//
//   WScript.Arguments(0), .Item(0), [0], .length, .Length, .Count()
//
// with the named arguments, /name:value or /name (value ""), in .Named (.Item(name) or
// (name), .Exists(name), .Count(), .length; names matched regardless of case), and the others in
// .Unnamed (.Item(i), (i), .Count(), .length). Each collection can be walked with Enumerator.
#pragma once

#include <duktape.h>

namespace script_host {

/// Pushes WScript.Arguments for the run's arguments. Needs a script run (script_run.h).
void PushWshArguments(duk_context* ctx);

/// The items of a collection of the host (for Enumerator) as an array on top of the stack;
/// false, pushing nothing, for any other value.
bool PushCollectionItems(duk_context* ctx, duk_idx_t index);

}  // namespace script_host
