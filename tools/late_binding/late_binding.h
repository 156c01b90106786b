// Late binding as a script host does it: a member of an automation object found by its name
// (GetIDsOfNames), called as a method (Invoke) with script values converted to VARIANTs, and its
// result converted back. A failure comes back as its HRESULT with the platform's text for it, for
// the host to raise in its script.
//
// Nothing here knows a script engine: a host converts between its engine's values and Value. The
// JavaScript host (prowlnet-script) does so for Duktape; the web host (prowlnet serve) for JSON.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "pal/atlbase.h"

namespace late_binding {

/// The script value `undefined`.
struct Undefined {
  bool operator==(const Undefined&) const = default;
};

/// A value as a script holds it: undefined, null, a boolean, a number or a string (UTF-8).
using Value = std::variant<Undefined, std::nullptr_t, bool, double, std::string>;

/// What a call gave: its result, or the failure and a sentence that describes it.
struct Outcome {
  HRESULT hr = S_OK;
  Value result;
  /// On failure: the platform's text and the number, "Type mismatch. (0x80020005)", or the
  /// object's own description when it raised an exception.
  std::string error;

  bool ok() const { return SUCCEEDED(hr); }
};

/// The VARIANT a script passes for `value`: VT_I4 for an integral number in the 32-bit range,
/// VT_R8 for any other number, VT_BSTR for a string, VT_BOOL, VT_NULL for null and VT_EMPTY for
/// undefined. E_OUTOFMEMORY when the string cannot be allocated.
HRESULT ToVariant(const Value& value, ATL::CComVariant* out);

/// The script value of a result: numbers for the integer and floating types, strings, booleans,
/// null and undefined. DISP_E_BADVARTYPE for what a script cannot hold here (objects, references).
HRESULT FromVariant(const VARIANT& variant, Value* out);

/// The dispatch identifier of member `name` (UTF-8) of `object`, from its GetIDsOfNames:
/// DISP_E_UNKNOWNNAME when it has no such member.
HRESULT FindMember(IDispatch* object, std::string_view name, DISPID* id);

/// Invokes member `id` of `object` as a method with `arguments` in call order, and converts its
/// result.
Outcome CallMethod(IDispatch* object, DISPID id, const std::vector<Value>& arguments);

/// FindMember and CallMethod in one, for a host that looks a member up at each call: a failure's
/// text names the member, "StartSerch: Unknown name. (0x80020006)".
Outcome CallByName(IDispatch* object, std::string_view name, const std::vector<Value>& arguments);

/// The platform's text for `hr`, followed by its number: "Class not registered (0x80040154)".
std::string DescribeHResult(HRESULT hr);

}  // namespace late_binding
