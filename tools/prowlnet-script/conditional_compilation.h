// JScript's conditional compilation, applied to the source text before it is compiled:
//
//   /*@cc_on @*/                          turns it on (so do @if and @set)
//   /*@if (@_jscript_version >= 5.5)      the code of the first branch whose condition holds;
//     ...                                 once it is on, the inside of /*@ ... @*/ and the rest
//   @elif (@_win32) ... @else @*/         of a //@ line are code, and @if, @elif, @else and @end
//     ...                                 apply across comment boundaries, as in JScript
//   /*@end @*/
//   @set @debug = (@_jscript_version * 10) @name in code is the variable's value
//
// Predefined: @_jscript true, @_jscript_version 5.8, @_jscript_build, @_win32 and @_x86 true
// (the 32-bit Windows these scripts were written for), @_debug and @_fast false; @_win16, @_mac,
// @_alpha, @_mc680x0, @_PowerPC and any name never set are NaN.
//
// What is not code of a chosen branch, and every directive, becomes blanks; line ends stay where
// they were, so the engine reports the file's own line numbers.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace script_host {

/// A conditional-compilation value: its source text ("true", "5.8", "NaN", "(-1)") and whether
/// it counts as true in an @if.
struct CcValue {
  std::string text;
  bool truthy = false;
};

/// Evaluates an expression made only of numbers, true, false, NaN, Infinity, operators and
/// parentheses (the variables are already replaced); nullopt when it is not a valid one.
using CcEvaluator = std::function<std::optional<CcValue>(std::string_view expression)>;

struct Preprocessed {
  std::string text;
  /// Empty when the directives were well formed; otherwise what is wrong, on `errorLine`.
  std::string error;
  int errorLine = 0;
};

Preprocessed PreprocessConditionalCompilation(std::string_view source, const CcEvaluator& evaluate);

}  // namespace script_host
