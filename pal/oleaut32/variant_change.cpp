// VariantChangeType among the integer, boolean and string types that automation calls carry.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "internal/loud.h"
#include "kernel32/utf16.h"
#include "oleaut32/number_text.h"
#include "oleaut32/variant_types.h"

namespace {

using pal::internal::Unsupported;

bool IsTarget(VARTYPE vt) { return vt == VT_I2 || vt == VT_I4 || vt == VT_UI4 || vt == VT_BOOL || vt == VT_BSTR; }

/// The value a VT_BYREF variant points at, as a plain variant that owns nothing; nothing for a
/// type this layer does not read through a reference.
std::optional<VARIANT> Dereferenced(const VARIANT& source) {
  if ((source.vt & VT_BYREF) == 0) return source;
  if (source.vt == (VT_BYREF | VT_VARIANT)) return Dereferenced(*source.pvarVal);
  VARIANT plain;
  plain.vt = source.vt & ~VT_BYREF;
  switch (plain.vt) {
    case VT_I2: plain.iVal = *source.piVal; break;
    case VT_I4: plain.lVal = *source.plVal; break;
    case VT_UI4: plain.ulVal = *source.pulVal; break;
    case VT_R8: plain.dblVal = *source.pdblVal; break;
    case VT_BOOL: plain.boolVal = *source.pboolVal; break;
    case VT_BSTR: plain.bstrVal = *source.pbstrVal; break;
    default: return std::nullopt;
  }
  return plain;
}

/// The source's value as a number, or the failure to read one.
HRESULT NumberOf(const VARIANT& source, double* number) {
  switch (source.vt) {
    case VT_EMPTY: *number = 0; return S_OK;
    case VT_I2: *number = source.iVal; return S_OK;
    case VT_I4: *number = source.lVal; return S_OK;
    case VT_UI4: *number = source.ulVal; return S_OK;
    case VT_R8: *number = source.dblVal; return S_OK;
    case VT_BOOL: *number = source.boolVal; return S_OK;
    case VT_NULL: return DISP_E_TYPEMISMATCH;
    case VT_BSTR: {
      const std::optional<double> parsed =
          pal::oleaut32::NumberOfText(std::u16string_view(source.bstrVal == nullptr ? u"" : source.bstrVal,
                                                          SysStringLen(source.bstrVal)));
      if (!parsed) return DISP_E_TYPEMISMATCH;
      *number = *parsed;
      return S_OK;
    }
    default: return E_NOTIMPL;
  }
}

/// Rounds half to even, as automation does, and checks the range of the target.
HRESULT ToInteger(double number, double lowest, double highest, double* rounded) {
  *rounded = std::nearbyint(number);
  if (std::isnan(*rounded) || *rounded < lowest || *rounded > highest) return DISP_E_OVERFLOW;
  return S_OK;
}

HRESULT ToNumberType(const VARIANT& source, VARTYPE vt, VARIANT* result) {
  double number = 0;
  HRESULT hr = NumberOf(source, &number);
  if (FAILED(hr)) return hr;
  double rounded = 0;
  if (vt == VT_I2) {
    hr = ToInteger(number, -32768.0, 32767.0, &rounded);
    result->iVal = static_cast<SHORT>(rounded);
  } else if (vt == VT_I4) {
    hr = ToInteger(number, -2147483648.0, 2147483647.0, &rounded);
    result->lVal = static_cast<LONG>(rounded);
  } else {
    hr = ToInteger(number, 0.0, 4294967295.0, &rounded);
    result->ulVal = static_cast<ULONG>(rounded);
  }
  if (SUCCEEDED(hr)) result->vt = vt;
  return hr;
}

HRESULT ToBool(const VARIANT& source, VARIANT* result) {
  if (source.vt == VT_BSTR) {
    std::u16string_view text(source.bstrVal == nullptr ? u"" : source.bstrVal, SysStringLen(source.bstrVal));
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
    const bool isTrue = pal::internal::EqualIgnoringAsciiCase(text, u"True");
    if (isTrue || pal::internal::EqualIgnoringAsciiCase(text, u"False")) {
      result->vt = VT_BOOL;
      result->boolVal = isTrue ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
  }
  double number = 0;
  const HRESULT hr = NumberOf(source, &number);
  if (FAILED(hr)) return hr;
  result->vt = VT_BOOL;
  result->boolVal = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT StringResult(const std::string& ascii, VARIANT* result) {
  const std::u16string text(ascii.begin(), ascii.end());
  result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (result->bstrVal == nullptr) return E_OUTOFMEMORY;
  result->vt = VT_BSTR;
  return S_OK;
}

HRESULT ToString(const VARIANT& source, USHORT flags, VARIANT* result) {
  char text[16];
  switch (source.vt) {
    case VT_EMPTY: return StringResult("", result);
    case VT_NULL: return DISP_E_TYPEMISMATCH;
    case VT_I2: std::snprintf(text, sizeof text, "%d", source.iVal); break;
    case VT_I4: std::snprintf(text, sizeof text, "%d", static_cast<int>(source.lVal)); break;
    case VT_UI4: std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(source.ulVal)); break;
    case VT_BOOL:
      if ((flags & VARIANT_ALPHABOOL) != 0) return StringResult(source.boolVal != 0 ? "True" : "False", result);
      std::snprintf(text, sizeof text, "%d", source.boolVal);
      break;
    default: return E_NOTIMPL;
  }
  return StringResult(text, result);
}

HRESULT Coerce(const VARIANT& source, USHORT flags, VARTYPE vt, VARIANT* result) {
  if (source.vt == vt) return VariantCopy(result, &source);
  if (vt == VT_BSTR) return ToString(source, flags, result);
  if (vt == VT_BOOL) return ToBool(source, result);
  return ToNumberType(source, vt, result);
}

}  // namespace

namespace pal::oleaut32 {

HRESULT ChangeVariantType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt) {
  if (dest == nullptr || source == nullptr) return E_INVALIDARG;
  if (!IsHandledVariantType(source->vt) || !IsHandledVariantType(vt)) return E_NOTIMPL;
  HRESULT hr = CheckVariantType("VariantChangeType", source->vt);
  if (FAILED(hr)) return hr;
  if (!IsTarget(vt)) {
    hr = CheckVariantType("VariantChangeType", vt);
    return FAILED(hr) || (vt & VT_BYREF) != 0 ? DISP_E_BADVARTYPE : E_NOTIMPL;
  }
  const std::optional<VARIANT> value = Dereferenced(*source);
  if (!value) return E_NOTIMPL;
  VARIANT result;
  VariantInit(&result);
  hr = Coerce(*value, flags, vt, &result);
  if (FAILED(hr)) return hr;
  VariantClear(dest);
  *dest = result;
  return S_OK;
}

}  // namespace pal::oleaut32

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt) {
  if ((flags & ~(VARIANT_NOVALUEPROP | VARIANT_ALPHABOOL)) != 0) Unsupported("VariantChangeType", "these flags");
  const HRESULT hr = pal::oleaut32::ChangeVariantType(dest, source, flags, vt);
  if (hr == E_NOTIMPL) Unsupported("VariantChangeType", "this source or target type");
  return hr;
}
