// Late-bound calls: the arguments of a DISPPARAMS coerced to the declared parameter types and
// passed to the method's vtable slot, as ITypeInfo::Invoke does for a dual interface.
#include <ffi.h>

#include <cstring>
#include <vector>

#include "internal/loud.h"
#include "oleaut32/typelib.h"
#include "oleaut32/variant_types.h"

namespace pal::oleaut32 {
namespace {

/// Storage for one argument as the callee receives it.
union ArgumentValue {
  SHORT i2;
  LONG i4;
  ULONG ui4;
  VARIANT_BOOL boolean;
  BYTE ui1;
  BSTR bstr;
  void* pointer;
};

ffi_type* CallTypeOf(VARTYPE declared) {
  if ((declared & VT_BYREF) != 0) return &ffi_type_pointer;
  switch (declared) {
    case VT_I2:
    case VT_BOOL: return &ffi_type_sint16;
    case VT_I4: return &ffi_type_sint32;
    case VT_UI4: return &ffi_type_uint32;
    case VT_UI1: return &ffi_type_uint8;
    case VT_BSTR: return &ffi_type_pointer;
    default: internal::Unsupported("ITypeInfo::Invoke", "a parameter of this type");
  }
}

ArgumentValue ValueOf(const VARIANT& coerced) {
  ArgumentValue value{};
  switch (coerced.vt) {
    case VT_I2: value.i2 = coerced.iVal; break;
    case VT_BOOL: value.boolean = coerced.boolVal; break;
    case VT_I4: value.i4 = coerced.lVal; break;
    case VT_UI4: value.ui4 = coerced.ulVal; break;
    case VT_BSTR: value.bstr = coerced.bstrVal; break;
    default: internal::Unsupported("ITypeInfo::Invoke", "a parameter of this type");
  }
  return value;
}

/// Where each argument of a call sits in rgvarg, by parameter number.
struct ArgumentMap {
  std::vector<const VARIANT*> argument;
  std::vector<UINT> position;
};

HRESULT MapArguments(const Method& method, const DISPPARAMS& params, ArgumentMap& map, UINT* argErr) {
  const size_t count = method.ArgumentCount();
  if (params.cArgs != count) return DISP_E_BADPARAMCOUNT;
  if (params.cArgs > 0 && params.rgvarg == nullptr) return E_INVALIDARG;
  if (params.cNamedArgs > params.cArgs || (params.cNamedArgs > 0 && params.rgdispidNamedArgs == nullptr))
    return E_INVALIDARG;
  map.argument.assign(count, nullptr);
  map.position.assign(count, 0);
  const UINT positional = params.cArgs - params.cNamedArgs;
  for (UINT p = 0; p < positional; ++p) {
    map.position[p] = params.cArgs - 1 - p;
    map.argument[p] = &params.rgvarg[map.position[p]];
  }
  for (UINT i = 0; i < params.cNamedArgs; ++i) {
    const DISPID named = params.rgdispidNamedArgs[i];
    if (named < 0 || static_cast<size_t>(named) >= count || map.argument[named] != nullptr) {
      if (argErr != nullptr) *argErr = i;
      return DISP_E_PARAMNOTFOUND;
    }
    map.position[named] = i;
    map.argument[named] = &params.rgvarg[i];
  }
  return S_OK;
}

/// The arguments of one call, and the coerced copies it owns until the call is over.
class CallFrame {
 public:
  explicit CallFrame(void* instance) {
    values_.reserve(16);
    Push(&ffi_type_pointer, ArgumentValue{.pointer = instance});
  }
  ~CallFrame() {
    for (VARIANT& copy : coerced_) VariantClear(&copy);
  }
  CallFrame(const CallFrame&) = delete;
  CallFrame& operator=(const CallFrame&) = delete;

  void Push(ffi_type* type, ArgumentValue value) {
    types_.push_back(type);
    values_.push_back(value);
  }

  /// Coerces `argument` to `declared` and adds it; the coercion's failure otherwise, E_NOTIMPL
  /// for a caller's value of a type that this layer does not convert.
  HRESULT PushCoerced(const VARIANT& argument, VARTYPE declared) {
    if (PushSameWidthInteger(argument, declared)) return S_OK;
    VARIANT copy;
    VariantInit(&copy);
    const HRESULT hr = ChangeVariantType(&copy, &argument, 0, declared);
    if (FAILED(hr)) return hr;
    coerced_.push_back(copy);
    Push(CallTypeOf(declared), ValueOf(copy));
    return S_OK;
  }

  /// A long reaches an unsigned long parameter bit for bit, and the other way round: a negative
  /// number arrives as a large one, where VariantChangeType would report an overflow.
  bool PushSameWidthInteger(const VARIANT& argument, VARTYPE declared) {
    const VARTYPE given = argument.vt & ~VT_BYREF;
    const bool byReference = (argument.vt & VT_BYREF) != 0;
    if (!((given == VT_I4 && declared == VT_UI4) || (given == VT_UI4 && declared == VT_I4))) return false;
    Push(CallTypeOf(declared), ArgumentValue{.i4 = byReference ? *argument.plVal : argument.lVal});
    return true;
  }

  HRESULT Call(void* instance, unsigned slot) {
    std::vector<void*> pointers;
    pointers.reserve(values_.size());
    for (ArgumentValue& value : values_) pointers.push_back(&value);
    ffi_cif cif;
    if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, static_cast<unsigned>(types_.size()), &ffi_type_sint32, types_.data()) != FFI_OK)
      internal::Unsupported("ITypeInfo::Invoke", "this parameter list");
    void* const* vtable = *static_cast<void* const* const*>(instance);
    ffi_arg returned = 0;
    ffi_call(&cif, reinterpret_cast<void (*)()>(vtable[slot]), &returned, pointers.data());
    return static_cast<HRESULT>(static_cast<std::int32_t>(returned));
  }

 private:
  std::vector<ffi_type*> types_;
  std::vector<ArgumentValue> values_;  // libffi reads them in place during Call()
  std::vector<VARIANT> coerced_;
};

/// Adds the argument for parameter `p`; a failure names the argument in `*argErr`.
HRESULT PushArgument(CallFrame& frame, const Param& param, const VARIANT& argument, UINT position, UINT* argErr) {
  HRESULT hr = S_OK;
  if (argument.vt == VT_ERROR && argument.scode == DISP_E_PARAMNOTFOUND) {
    hr = DISP_E_PARAMNOTOPTIONAL;
  } else if ((param.type & VT_BYREF) != 0) {
    // A pointer parameter takes the caller's own storage, which must be of the declared type.
    if (argument.vt == param.type) {
      frame.Push(&ffi_type_pointer, ArgumentValue{.pointer = argument.byref});
    } else {
      hr = DISP_E_TYPEMISMATCH;
    }
  } else {
    hr = frame.PushCoerced(argument, param.type);
  }
  if (FAILED(hr) && argErr != nullptr) *argErr = position;
  return hr;
}

void StoreResult(VARTYPE type, const ArgumentValue& value, VARIANT* result) {
  if (result == nullptr) {
    if (type == VT_BSTR) SysFreeString(value.bstr);
    return;
  }
  result->vt = type;
  switch (type) {
    case VT_I2: result->iVal = value.i2; break;
    case VT_BOOL: result->boolVal = value.boolean; break;
    case VT_I4: result->lVal = value.i4; break;
    case VT_UI4: result->ulVal = value.ui4; break;
    case VT_UI1: result->bVal = value.ui1; break;
    case VT_BSTR: result->bstrVal = value.bstr; break;
    default: internal::Unsupported("ITypeInfo::Invoke", "a result of this type");
  }
}

}  // namespace

HRESULT InvokeThroughVtable(const Method& method, unsigned slot, void* instance, WORD, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  if (result != nullptr) VariantInit(result);
  ArgumentMap map;
  HRESULT hr = MapArguments(method, *params, map, argErr);
  if (FAILED(hr)) return hr;

  CallFrame frame(instance);
  ArgumentValue retval{};
  for (size_t p = 0; p < method.params.size(); ++p) {
    if (p == method.ArgumentCount()) {
      frame.Push(&ffi_type_pointer, ArgumentValue{.pointer = &retval});
      continue;
    }
    hr = PushArgument(frame, method.params[p], *map.argument[p], map.position[p], argErr);
    if (FAILED(hr)) return hr;
  }
  hr = frame.Call(instance, slot);
  if (FAILED(hr)) {
    // The method's own failure reaches the caller as an exception carrying its code.
    if (excepInfo != nullptr) {
      std::memset(excepInfo, 0, sizeof *excepInfo);
      excepInfo->scode = hr;
    }
    return DISP_E_EXCEPTION;
  }
  if (method.HasRetval()) StoreResult(method.params.back().type & ~VT_BYREF, retval, result);
  return S_OK;
}

}  // namespace pal::oleaut32

HRESULT DispGetIDsOfNames(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* ids) {
  if (info == nullptr) return E_INVALIDARG;
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT DispInvoke(void* instance, ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excepInfo, UINT* argErr) {
  if (info == nullptr) return E_INVALIDARG;
  return info->Invoke(instance, id, flags, params, result, excepInfo, argErr);
}
