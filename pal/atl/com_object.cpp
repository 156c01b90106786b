// An object's identity and interface map, and rich-error support for one interface.
#include "pal/atlcom.h"

namespace ATL {

HRESULT InternalQueryInterface(void* object, std::span<const InterfaceMapEntry> map, REFIID riid, void** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (map.empty()) return E_NOINTERFACE;
  // IUnknown is always the first entry's interface, so that every interface leads back to one
  // identity.
  if (IsEqualIID(riid, IID_IUnknown)) {
    *result = map.front().cast(object);
  } else {
    for (const InterfaceMapEntry& entry : map) {
      if (IsEqualIID(riid, *entry.iid)) {
        *result = entry.cast(object);
        break;
      }
    }
  }
  if (*result == nullptr) return E_NOINTERFACE;
  static_cast<IUnknown*>(*result)->AddRef();
  return S_OK;
}

HRESULT ISupportErrorInfoImpl::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, iid_) ? S_OK : S_FALSE;
}

}  // namespace ATL
