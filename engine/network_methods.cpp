// The two automation methods that answer with the host's own network: GetNetworkParam and
// GetOneIPAddress.
#include <cstdint>
#include <string>

#include "diag/debug_log.h"
#include "engine/ansi_text.h"
#include "engine/control_object.h"
#include "netenv/free_address.h"
#include "netenv/host_net_info.h"

namespace prowlnet {
namespace {

/// Hands `text` to the caller as a new automation string; E_OUTOFMEMORY when none can be had.
HRESULT ReturnAnsiText(const char* text, BSTR* out) {
  BSTR result = BstrFromAnsi(text);
  if (result == nullptr) return E_OUTOFMEMORY;
  StoreOrFree(result, out);
  return S_OK;
}

}  // namespace

HRESULT CCProwlnet::GetNetworkParam(ULONG nParamIndex, BSTR* strResult) {
  char value[HostNetInfo::kSize] = "";
  if (nParamIndex >= static_cast<ULONG>(HostNetInfo::kCount)) {
    DebugLog("GetNetworkParam(): bad index: %d\n", static_cast<int>(nParamIndex));
  } else {
    LoadHostNetInfoIfNeeded(shared_->netInfo, shared_->lock);
    ReadHostNetEntry(shared_->netInfo, shared_->lock, static_cast<int>(nParamIndex), value);
  }
  return ReturnAnsiText(value, strResult);
}

HRESULT CCProwlnet::GetOneIPAddress(BSTR* strResult) {
  SharedState& shared = *shared_;
  LoadHostNetInfoIfNeeded(shared.netInfo, shared.lock);
  char host[HostNetInfo::kSize];
  char gateway[HostNetInfo::kSize];
  ReadHostNetEntry(shared.netInfo, shared.lock, HostNetInfo::kAddress, host);
  ReadHostNetEntry(shared.netInfo, shared.lock, HostNetInfo::kGateway, gateway);

  const std::string answer = FindFreeAddress(host, gateway, [&](std::uint32_t candidate) {
    return DeviceHasAddress(shared, candidate) || assignedAddresses_.Holds(candidate);
  });
  return ReturnAnsiText(answer.c_str(), strResult);
}

}  // namespace prowlnet
