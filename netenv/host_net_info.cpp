#include "netenv/host_net_info.h"

#include <algorithm>
#include <cstring>

#include "diag/debug_log.h"
#include "netenv/adapter_list.h"
#include "netenv/query_buffer.h"
#include "pal/iphlpapi.h"
#include "pal/winsock2.h"

namespace prowlnet {
namespace {

/// Any public address that the host reaches through its default route will do.
constexpr const char* kRouteProbeAddress = "8.8.8.8";

using Text = char[HostNetInfo::kSize];

/// Copies an address text, cut both to its own field and to the block's.
void CopyAddressText(Text& destination, const IP_ADDRESS_STRING& source) {
  const size_t length = strnlen(source.String, sizeof source.String);
  std::memset(destination, 0, sizeof destination);
  std::memcpy(destination, source.String, std::min(length, sizeof destination - 1));
}

/// Step one: the two DNS entries. 0, or -1 when the query failed.
int LoadDnsServers(HostNetInfo& block, CRITICAL_SECTION& lock) {
  QueryBuffer buffer;
  if (QueryByBufferProtocol(GetNetworkParams, &buffer) != ERROR_SUCCESS) {
    DebugLog("GetNetworkParams failed.\n");
    return -1;
  }
  DebugLog("GetNetworkParams OK.\n");
  const FIXED_INFO& info = *buffer.As<FIXED_INFO>();
  Text dns1 = "";
  Text dns2 = "";
  CopyAddressText(dns1, info.DnsServerList.IpAddress);
  if (info.DnsServerList.Next != nullptr) CopyAddressText(dns2, info.DnsServerList.Next->IpAddress);
  {
    CriticalSectionLock hold(lock);
    std::memcpy(block.values[HostNetInfo::kDns1], dns1, sizeof dns1);
    std::memcpy(block.values[HostNetInfo::kDns2], dns2, sizeof dns2);
  }
  DebugLog("DNS1: %s\n", dns1);
  DebugLog("DNS2: %s\n", dns2);
  return 0;
}

const IP_ADAPTER_INFO* AdapterWithIndex(const IP_ADAPTER_INFO* adapters, DWORD index) {
  for (const IP_ADAPTER_INFO* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
    if (adapter->Index == index) return adapter;
  }
  return nullptr;
}

/// The first adapter with an IPv4 address; an adapter without one lists "0.0.0.0".
const IP_ADAPTER_INFO* FirstAdapterWithAddress(const IP_ADAPTER_INFO* adapters) {
  for (const IP_ADAPTER_INFO* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
    if (ws2::inet_addr(adapter->IpAddressList.IpAddress.String) != ws2::INADDR_ANY) return adapter;
  }
  return nullptr;
}

/// The adapter that carries the route toward the probe address; on a host without a default
/// route, where none does, the first one with an address: the LAN such a host is wired to.
const IP_ADAPTER_INFO* ChosenAdapter(const IP_ADAPTER_INFO* adapters, DWORD bestIndex) {
  const IP_ADAPTER_INFO* best = AdapterWithIndex(adapters, bestIndex);
  return best != nullptr ? best : FirstAdapterWithAddress(adapters);
}

/// The first address on the gateway's subnet, each judged by its own mask; else the first one.
const IP_ADDR_STRING& AddressOnGatewaySubnet(const IP_ADAPTER_INFO& adapter, const char* gateway) {
  const ws2::u_long gatewayAddress = ws2::inet_addr(gateway);
  for (const IP_ADDR_STRING* entry = &adapter.IpAddressList; entry != nullptr; entry = entry->Next) {
    const ws2::u_long address = ws2::inet_addr(entry->IpAddress.String);
    const ws2::u_long mask = ws2::inet_addr(entry->IpMask.String);
    if ((address & mask) == (gatewayAddress & mask)) return *entry;
  }
  return adapter.IpAddressList;
}

/// Steps three and four: gateway, address and netmask from the chosen adapter. Its gateway reads
/// "0.0.0.0" when no default route goes through it.
int LoadAdapterEntries(HostNetInfo& block, CRITICAL_SECTION& lock, DWORD bestIndex) {
  const AdapterList adapters = AdapterList::Read();
  if (adapters.result() != ERROR_SUCCESS) {
    DebugLog("GetAdaptersInfo failed!\n");
    return -1;
  }
  const IP_ADAPTER_INFO* adapter = ChosenAdapter(adapters.first(), bestIndex);
  if (adapter == nullptr) return -1;
  Text gateway = "";
  Text address = "";
  Text netmask = "";
  CopyAddressText(gateway, adapter->GatewayList.IpAddress);
  const IP_ADDR_STRING& chosen = AddressOnGatewaySubnet(*adapter, gateway);
  CopyAddressText(address, chosen.IpAddress);
  CopyAddressText(netmask, chosen.IpMask);
  {
    CriticalSectionLock hold(lock);
    std::memcpy(block.values[HostNetInfo::kGateway], gateway, sizeof gateway);
    std::memcpy(block.values[HostNetInfo::kAddress], address, sizeof address);
    std::memcpy(block.values[HostNetInfo::kNetmask], netmask, sizeof netmask);
  }
  DebugLog("Gateway: %s\n", gateway);
  DebugLog("IPAddress: %s\n", address);
  DebugLog("NetMask: %s\n", netmask);
  return 1;
}

}  // namespace

int LoadHostNetInfo(HostNetInfo& block, CRITICAL_SECTION& lock) {
  if (LoadDnsServers(block, lock) != 0) return -1;
  // No interface has index 0, so a lookup that found no route matches no adapter.
  DWORD bestIndex = 0;
  GetBestInterface(ws2::inet_addr(kRouteProbeAddress), &bestIndex);
  return LoadAdapterEntries(block, lock, bestIndex);
}

bool HostNetInfoLoaded(const HostNetInfo& block, CRITICAL_SECTION& lock) {
  CriticalSectionLock hold(lock);
  return block.values[HostNetInfo::kAddress][0] != '\0' && block.values[HostNetInfo::kGateway][0] != '\0';
}

void LoadHostNetInfoIfNeeded(HostNetInfo& block, CRITICAL_SECTION& lock) {
  if (!HostNetInfoLoaded(block, lock)) LoadHostNetInfo(block, lock);
}

void ReadHostNetEntry(const HostNetInfo& block, CRITICAL_SECTION& lock, int index, char (&value)[HostNetInfo::kSize]) {
  CriticalSectionLock hold(lock);
  std::memcpy(value, block.values[index], sizeof value);
}

}  // namespace prowlnet
