// VARIANT lifetime: what a variant owns is freed by VariantClear and duplicated by VariantCopy.
#include "internal/loud.h"
#include "oleaut32/variant_types.h"

namespace pal::oleaut32 {
namespace {

bool IsScalarType(VARTYPE base) {
  switch (base) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool IsHandledVariantType(VARTYPE vt) {
  const VARTYPE base = vt & VT_TYPEMASK;
  return (vt & VT_ARRAY) == 0 && base != VT_RECORD && base != VT_DECIMAL;
}

HRESULT CheckVariantType(const char* call, VARTYPE vt) {
  if ((vt & VT_ARRAY) != 0) internal::Unsupported(call, "arrays (VT_ARRAY)");
  const VARTYPE base = vt & VT_TYPEMASK;
  if (base == VT_RECORD || base == VT_DECIMAL) internal::Unsupported(call, "records and decimals");
  if ((vt & ~(VT_TYPEMASK | VT_BYREF)) != 0) return DISP_E_BADVARTYPE;
  if ((vt & VT_BYREF) != 0) return IsScalarType(base) || base == VT_VARIANT ? S_OK : DISP_E_BADVARTYPE;
  return IsScalarType(base) || base == VT_EMPTY || base == VT_NULL ? S_OK : DISP_E_BADVARTYPE;
}

}  // namespace pal::oleaut32

void VariantInit(VARIANTARG* variant) { variant->vt = VT_EMPTY; }

HRESULT VariantClear(VARIANTARG* variant) {
  if (variant == nullptr) return E_INVALIDARG;
  const HRESULT hr = pal::oleaut32::CheckVariantType("VariantClear", variant->vt);
  if (FAILED(hr)) return hr;
  if (variant->vt == VT_BSTR) SysFreeString(variant->bstrVal);
  if ((variant->vt == VT_UNKNOWN || variant->vt == VT_DISPATCH) && variant->punkVal != nullptr) variant->punkVal->Release();
  variant->vt = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source) {
  if (dest == nullptr || source == nullptr) return E_INVALIDARG;
  if (dest == source) return S_OK;
  HRESULT hr = pal::oleaut32::CheckVariantType("VariantCopy", source->vt);
  if (FAILED(hr)) return hr;
  hr = VariantClear(dest);
  if (FAILED(hr)) return hr;
  VARIANT copy = *source;
  if (copy.vt == VT_BSTR && copy.bstrVal != nullptr) {
    // A BSTR may hold any bytes, including zeros: its byte length is what counts.
    copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source->bstrVal), SysStringByteLen(source->bstrVal));
    if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
  }
  if ((copy.vt == VT_UNKNOWN || copy.vt == VT_DISPATCH) && copy.punkVal != nullptr) copy.punkVal->AddRef();
  *dest = copy;
  return S_OK;
}
