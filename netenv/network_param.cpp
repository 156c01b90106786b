// GetNetworkParam: one entry of the host network block as an automation string.
#include "diag/debug_log.h"
#include "engine/control_object.h"
#include "netenv/host_net_info.h"
#include "pal/oleauto.h"
#include "pal/winnls.h"

namespace prowlnet {
namespace {

/// A new automation string holding `text` converted from the ANSI code page; never null for
/// an empty text; null only when memory runs out.
BSTR BstrFromAnsi(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);  // with the terminator
  if (length <= 0) return nullptr;
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
  if (result == nullptr) return nullptr;
  MultiByteToWideChar(CP_ACP, 0, text, -1, result, length);
  return result;
}

}  // namespace

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
  if (strResult != nullptr) {
    *strResult = result;
  } else {
    SysFreeString(result);
  }
  return S_OK;
}

}  // namespace prowlnet
