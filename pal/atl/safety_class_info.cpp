// Class information from the registered type library, and safety options.
#include "pal/atlcom.h"
#include "pal/oleauto.h"

namespace ATL {

HRESULT IProvideClassInfo2Impl::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (classInfo_ == nullptr) {
    CComPtr<ITypeLib> library;
    HRESULT hr = LoadRegTypeLib(libid_, major_, minor_, LOCALE_NEUTRAL, &library);
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(clsid_, &classInfo_);
    if (FAILED(hr)) return hr;
  }
  return classInfo_.CopyTo(info);
}

HRESULT IProvideClassInfo2Impl::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind == GUIDKIND_DEFAULT_SOURCE_DISP_IID && defaultSource_ != nullptr) {
    *guid = *defaultSource_;
    return S_OK;
  }
  *guid = GUID_NULL;
  return E_FAIL;
}

HRESULT IObjectSafetyImpl::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
  if (supported == nullptr || enabled == nullptr) return E_POINTER;
  CComPtr<IUnknown> asked;
  const HRESULT hr = QueryInterface(riid, reinterpret_cast<void**>(&asked));
  *supported = SUCCEEDED(hr) ? supported_ : 0;
  *enabled = SUCCEEDED(hr) ? enabled_ : 0;
  return hr;
}

HRESULT IObjectSafetyImpl::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
  CComPtr<IUnknown> asked;
  if (FAILED(QueryInterface(riid, reinterpret_cast<void**>(&asked)))) return E_NOINTERFACE;
  if ((mask & ~supported_) != 0) return E_FAIL;
  enabled_ = (enabled_ & ~mask) | (mask & enabled);
  return S_OK;
}

}  // namespace ATL
