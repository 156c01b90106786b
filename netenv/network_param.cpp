// GetNetworkParam: one entry of the host network block as an automation string.
#include "diag/debug_log.h"
#include "engine/ansi_text.h"
#include "engine/control_object.h"
#include "netenv/host_net_info.h"
#include "pal/oleauto.h"

namespace prowlnet {

HRESULT CCProwlnet::GetNetworkParam(ULONG nParamIndex, BSTR* strResult) {
  char value[HostNetInfo::kSize] = "";
  if (nParamIndex >= static_cast<ULONG>(HostNetInfo::kCount)) {
    DebugLog("GetNetworkParam(): bad index: %d\n", static_cast<int>(nParamIndex));
  } else {
    LoadHostNetInfoIfNeeded(shared());
    ReadHostNetEntry(shared(), static_cast<int>(nParamIndex), value);
  }
  BSTR result = BstrFromAnsi(value);
  if (result == nullptr) return E_OUTOFMEMORY;
  StoreOrFree(result, strResult);
  return S_OK;
}

}  // namespace prowlnet
