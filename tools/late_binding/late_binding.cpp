#include "late_binding.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "pal/host_kit.h"

namespace late_binding {
namespace {

struct KnownText {
  HRESULT hr;
  const char* text;
};

// The texts the platform gives for the failures that activation and late-bound calls report.
constexpr KnownText kKnownTexts[] = {
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_FAIL, "Unspecified error"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {E_ACCESSDENIED, "Access is denied."},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
    {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
    {REGDB_E_READREGDB, "Could not read key from registry"},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
    {CO_E_CLASSSTRING, "Invalid class string"},
    {CO_E_ERRORINDLL, "Error in the DLL"},
    {DISP_E_UNKNOWNINTERFACE, "Unknown interface."},
    {DISP_E_MEMBERNOTFOUND, "Member not found."},
    {DISP_E_PARAMNOTFOUND, "Parameter not found."},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_UNKNOWNNAME, "Unknown name."},
    {DISP_E_NONAMEDARGS, "No named arguments."},
    {DISP_E_BADVARTYPE, "Bad variable type."},
    {DISP_E_EXCEPTION, "Exception occurred."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {DISP_E_BADINDEX, "Invalid index."},
    {DISP_E_BADPARAMCOUNT, "Invalid number of parameters."},
    {DISP_E_PARAMNOTOPTIONAL, "Parameter not optional."},
    {TYPE_E_LIBNOTREGISTERED, "Library not registered."},
    {TYPE_E_ELEMENTNOTFOUND, "Element not found."},
    {TYPE_E_CANTLOADLIBRARY, "Error loading type library/DLL."},
};

const char* TextOf(HRESULT hr) {
  for (const KnownText& known : kKnownTexts)
    if (known.hr == hr) return known.text;
  return "Unknown error";
}

/// `text` followed by the number, as "(0x80040154)".
std::string WithNumber(std::string text, HRESULT hr) {
  char number[16];
  std::snprintf(number, sizeof number, " (0x%08X)", static_cast<unsigned>(hr));
  return text + number;
}

bool IsInt32(double number) {
  return std::trunc(number) == number && number >= std::numeric_limits<LONG>::min() &&
         number <= std::numeric_limits<LONG>::max();
}

/// Frees what an EXCEPINFO holds.
class ExceptionInfo : public EXCEPINFO {
 public:
  ExceptionInfo() : EXCEPINFO{} {}
  ~ExceptionInfo() {
    SysFreeString(bstrSource);
    SysFreeString(bstrDescription);
    SysFreeString(bstrHelpFile);
  }
  ExceptionInfo(const ExceptionInfo&) = delete;
  ExceptionInfo& operator=(const ExceptionInfo&) = delete;
};

/// An object that raised an exception describes it itself; its code, when it gives one, is the
/// failure the script sees.
Outcome RaisedException(ExceptionInfo& info) {
  if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
  const HRESULT hr = FAILED(info.scode) ? info.scode : DISP_E_EXCEPTION;
  if (SysStringLen(info.bstrDescription) == 0) return {hr, Undefined{}, DescribeHResult(hr)};
  return {hr, Undefined{}, WithNumber(pal::Utf8FromBstr(info.bstrDescription), hr)};
}

/// The failure of Invoke; for an argument that does not fit, which one (counted from 1 in call order).
Outcome FailedCall(HRESULT hr, UINT argumentError, size_t count) {
  std::string error = DescribeHResult(hr);
  const bool namesArgument = hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND || hr == DISP_E_OVERFLOW;
  if (namesArgument && argumentError < count) error += " in argument " + std::to_string(count - argumentError);
  return {hr, Undefined{}, std::move(error)};
}

}  // namespace

HRESULT ToVariant(const Value& value, ATL::CComVariant* out) {
  out->Clear();
  if (std::holds_alternative<std::nullptr_t>(value)) {
    out->vt = VT_NULL;
  } else if (const bool* flag = std::get_if<bool>(&value)) {
    *out = ATL::CComVariant(*flag);
  } else if (const double* number = std::get_if<double>(&value)) {
    *out = IsInt32(*number) ? ATL::CComVariant(static_cast<LONG>(*number)) : ATL::CComVariant(*number);
  } else if (const std::string* text = std::get_if<std::string>(&value)) {
    out->vt = VT_BSTR;
    out->bstrVal = pal::BstrFromUtf8(*text).Detach();
    if (out->bstrVal == nullptr) {
      out->vt = VT_EMPTY;
      return E_OUTOFMEMORY;
    }
  }
  return S_OK;
}

HRESULT FromVariant(const VARIANT& variant, Value* out) {
  switch (variant.vt) {
    case VT_EMPTY: *out = Undefined{}; return S_OK;
    case VT_NULL: *out = nullptr; return S_OK;
    case VT_BOOL: *out = variant.boolVal != VARIANT_FALSE; return S_OK;
    case VT_I2: *out = static_cast<double>(variant.iVal); return S_OK;
    case VT_I4: *out = static_cast<double>(variant.lVal); return S_OK;
    case VT_UI1: *out = static_cast<double>(variant.bVal); return S_OK;
    case VT_UI4: *out = static_cast<double>(variant.ulVal); return S_OK;
    case VT_R8: *out = variant.dblVal; return S_OK;
    case VT_BSTR: *out = pal::Utf8FromBstr(variant.bstrVal); return S_OK;
    default: return DISP_E_BADVARTYPE;
  }
}

HRESULT FindMember(IDispatch* object, std::string_view name, DISPID* id) {
  ATL::CComBSTR wide = pal::BstrFromUtf8(name);
  if (wide.m_str == nullptr) return E_OUTOFMEMORY;
  LPOLESTR names[] = {wide.m_str};
  return object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

Outcome CallMethod(IDispatch* object, DISPID id, const std::vector<Value>& arguments) {
  static_assert(sizeof(ATL::CComVariant) == sizeof(VARIANT), "DISPPARAMS takes the array as VARIANTs");
  // DISPPARAMS holds the arguments last first.
  std::vector<ATL::CComVariant> reversed(arguments.size());
  for (size_t i = 0; i < arguments.size(); ++i) {
    const HRESULT hr = ToVariant(arguments[i], &reversed[arguments.size() - 1 - i]);
    if (FAILED(hr)) return {hr, Undefined{}, DescribeHResult(hr)};
  }
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  ATL::CComVariant result;
  ExceptionInfo exception;
  UINT argumentError = 0;
  const HRESULT hr =
      object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &exception, &argumentError);
  if (hr == DISP_E_EXCEPTION) return RaisedException(exception);
  if (FAILED(hr)) return FailedCall(hr, argumentError, arguments.size());
  Outcome outcome;
  outcome.hr = FromVariant(result, &outcome.result);
  if (!outcome.ok()) outcome.error = DescribeHResult(outcome.hr);
  return outcome;
}

Outcome CallByName(IDispatch* object, std::string_view name, const std::vector<Value>& arguments) {
  const std::string prefix = std::string(name) + ": ";
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = FindMember(object, name, &id);
  if (FAILED(hr)) return {hr, Undefined{}, prefix + DescribeHResult(hr)};
  Outcome outcome = CallMethod(object, id, arguments);
  if (!outcome.ok()) outcome.error = prefix + outcome.error;
  return outcome;
}

std::string DescribeHResult(HRESULT hr) { return WithNumber(TextOf(hr), hr); }

}  // namespace late_binding
