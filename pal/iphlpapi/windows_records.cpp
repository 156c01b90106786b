// The IP Helper entry points: Windows records built from the kernel's interfaces, addresses and
// routes and from the resolver configuration, laid out by the Windows buffer protocol.
#include <fcntl.h>
#include <linux/neighbour.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "interfaces.h"
#include "internal/loud.h"
#include "neighbours.h"
#include "pal/iphlpapi.h"
#include "resolv_conf.h"
#include "routes.h"

namespace {

using pal::iphlpapi::DefaultRoute;
using pal::iphlpapi::HostInterface;
using pal::iphlpapi::HostIpv4Address;
using pal::iphlpapi::HostNeighbour;

constexpr const char* kNoAddress = "0.0.0.0";
constexpr const char* kHostMask = "255.255.255.255";

/// Copies `text` into a field, cut so that the terminator fits.
template <size_t N>
void CopyCut(char (&field)[N], const char* text) {
  const size_t length = strnlen(text, N - 1);
  std::memcpy(field, text, length);
  field[length] = '\0';
}

/// The dotted quad of an address in network byte order.
void FormatAddress(std::uint32_t address, IP_ADDRESS_STRING* text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
  std::snprintf(text->String, sizeof text->String, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
}

/// The netmask of a prefix length, in network byte order.
std::uint32_t MaskOfPrefix(unsigned prefixLength) {
  const std::uint32_t host = prefixLength == 0 ? 0 : ~std::uint32_t{0} << (32 - std::min(prefixLength, 32u));
  const unsigned char bytes[4] = {static_cast<unsigned char>(host >> 24), static_cast<unsigned char>(host >> 16),
                                  static_cast<unsigned char>(host >> 8), static_cast<unsigned char>(host)};
  std::uint32_t network;
  std::memcpy(&network, bytes, sizeof network);
  return network;
}

void SetEntry(IP_ADDR_STRING* entry, const char* address, const char* mask) {
  CopyCut(entry->IpAddress.String, address);
  CopyCut(entry->IpMask.String, mask);
}

/// "1" in a /proc switch file reads as on; a missing file as off.
UINT ReadKernelSwitch(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char value = '0';
  const ssize_t got = ::read(fd, &value, 1);
  ::close(fd);
  return got == 1 && value != '0' ? 1 : 0;
}

/// Hands out the IP_ADDR_STRING entries that follow the fixed records in a caller's buffer.
class SpareEntries {
 public:
  explicit SpareEntries(void* start) : next_(static_cast<IP_ADDR_STRING*>(start)) {}
  /// Appends an entry after `last` in its chain and returns it.
  IP_ADDR_STRING* Append(IP_ADDR_STRING* last) {
    last->Next = next_;
    return next_++;
  }

 private:
  IP_ADDR_STRING* next_;
};

// ---- network parameters ------------------------------------------------------------------------

void FillHostName(FIXED_INFO* info) {
  char name[256] = "";
  if (gethostname(name, sizeof name - 1) != 0) name[0] = '\0';
  name[std::strcspn(name, ".")] = '\0';
  CopyCut(info->HostName, name);
}

void FillNetworkParams(const pal::iphlpapi::ResolverConfig& config, FIXED_INFO* info) {
  FillHostName(info);
  CopyCut(info->DomainName, config.domain.c_str());
  info->NodeType = BROADCAST_NODETYPE;
  info->EnableRouting = ReadKernelSwitch("/proc/sys/net/ipv4/ip_forward");
  info->EnableProxy = ReadKernelSwitch("/proc/sys/net/ipv4/conf/all/proxy_arp");
  info->EnableDns = 1;
  if (config.ipv4Servers.empty()) return;  // one entry with empty text
  SpareEntries spare(info + 1);
  IP_ADDR_STRING* entry = &info->DnsServerList;
  for (size_t i = 0; i < config.ipv4Servers.size(); ++i) {
    if (i > 0) entry = spare.Append(entry);
    FormatAddress(config.ipv4Servers[i], &entry->IpAddress);
  }
}

// ---- adapters ----------------------------------------------------------------------------------

/// What one adapter record is made of.
struct Adapter {
  const HostInterface* host;
  std::vector<const HostIpv4Address*> addresses;
  std::vector<std::uint32_t> gateways;
};

bool IsAdapter(const HostInterface& host) { return (host.flags & IFF_UP) != 0 && (host.flags & IFF_LOOPBACK) == 0; }

std::vector<Adapter> AdaptersOf(const std::vector<HostInterface>& interfaces,
                                const std::vector<HostIpv4Address>& addresses,
                                const std::vector<DefaultRoute>& routes) {
  std::vector<Adapter> adapters;
  for (const HostInterface& host : interfaces) {
    if (!IsAdapter(host)) continue;
    Adapter adapter{&host, {}, {}};
    for (const HostIpv4Address& address : addresses) {
      if (address.interfaceIndex == host.index) adapter.addresses.push_back(&address);
    }
    for (const DefaultRoute& route : routes) {
      if (route.interfaceIndex == host.index) adapter.gateways.push_back(route.gateway);
    }
    adapters.push_back(std::move(adapter));
  }
  return adapters;
}

size_t ExtraEntries(const Adapter& adapter) {
  return (adapter.addresses.size() > 1 ? adapter.addresses.size() - 1 : 0) +
         (adapter.gateways.size() > 1 ? adapter.gateways.size() - 1 : 0);
}

UINT AdapterTypeOf(unsigned short hardwareType) {
  switch (hardwareType) {
    case ARPHRD_ETHER:
      return MIB_IF_TYPE_ETHERNET;
    case ARPHRD_PPP:
      return MIB_IF_TYPE_PPP;
    case ARPHRD_SLIP:
      return MIB_IF_TYPE_SLIP;
    case ARPHRD_NONE:
    case ARPHRD_TUNNEL:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
      return IF_TYPE_TUNNEL;
    default:
      return MIB_IF_TYPE_OTHER;
  }
}

void FillAddressList(const Adapter& adapter, IP_ADAPTER_INFO* record, SpareEntries* spare) {
  if (adapter.addresses.empty()) {
    SetEntry(&record->IpAddressList, kNoAddress, kNoAddress);
    return;
  }
  IP_ADDR_STRING* entry = &record->IpAddressList;
  for (size_t i = 0; i < adapter.addresses.size(); ++i) {
    if (i > 0) entry = spare->Append(entry);
    FormatAddress(adapter.addresses[i]->address, &entry->IpAddress);
    FormatAddress(MaskOfPrefix(adapter.addresses[i]->prefixLength), &entry->IpMask);
  }
}

void FillGatewayList(const Adapter& adapter, IP_ADAPTER_INFO* record, SpareEntries* spare) {
  if (adapter.gateways.empty()) {
    SetEntry(&record->GatewayList, kNoAddress, kHostMask);
    return;
  }
  IP_ADDR_STRING* entry = &record->GatewayList;
  for (size_t i = 0; i < adapter.gateways.size(); ++i) {
    if (i > 0) entry = spare->Append(entry);
    FormatAddress(adapter.gateways[i], &entry->IpAddress);
    CopyCut(entry->IpMask.String, kHostMask);
  }
}

void FillAdapter(const Adapter& adapter, IP_ADAPTER_INFO* record, SpareEntries* spare) {
  const HostInterface& host = *adapter.host;
  record->ComboIndex = host.index;
  record->Index = host.index;
  CopyCut(record->AdapterName, host.name.c_str());
  CopyCut(record->Description, host.name.c_str());
  const size_t addressLength = std::min<size_t>(host.hardwareAddress.size(), MAX_ADAPTER_ADDRESS_LENGTH);
  record->AddressLength = static_cast<UINT>(addressLength);
  std::copy_n(host.hardwareAddress.begin(), addressLength, record->Address);
  record->Type = AdapterTypeOf(host.type);
  FillAddressList(adapter, record, spare);
  FillGatewayList(adapter, record, spare);
  SetEntry(&record->DhcpServer, kNoAddress, kHostMask);
  SetEntry(&record->PrimaryWinsServer, kNoAddress, kHostMask);
  SetEntry(&record->SecondaryWinsServer, kNoAddress, kHostMask);
}

// ---- the ARP cache -----------------------------------------------------------------------------

DWORD NeighbourTypeOf(std::uint16_t state) {
  if (state & (NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE)) return MIB_IPNET_TYPE_DYNAMIC;
  if (state & (NUD_PERMANENT | NUD_NOARP)) return MIB_IPNET_TYPE_STATIC;
  return MIB_IPNET_TYPE_INVALID;
}

void FillNeighbourRow(const HostNeighbour& neighbour, MIB_IPNETROW* row) {
  row->dwIndex = neighbour.interfaceIndex;
  row->dwAddr = neighbour.address;
  row->dwType = NeighbourTypeOf(neighbour.state);
  if (row->dwType == MIB_IPNET_TYPE_INVALID) return;  // no address learnt
  const size_t length = std::min<size_t>(neighbour.linkAddress.size(), MAXLEN_PHYSADDR);
  row->dwPhysAddrLen = static_cast<DWORD>(length);
  std::copy_n(neighbour.linkAddress.begin(), length, row->bPhysAddr);
}

}  // namespace

DWORD GetNetworkParams(PFIXED_INFO pFixedInfo, ULONG* pOutBufLen) {
  if (pOutBufLen == nullptr) return ERROR_INVALID_PARAMETER;
  const pal::iphlpapi::ResolverConfig config = pal::iphlpapi::ReadResolverConfig();
  const size_t extra = config.ipv4Servers.size() > 1 ? config.ipv4Servers.size() - 1 : 0;
  const ULONG needed = static_cast<ULONG>(sizeof(FIXED_INFO) + extra * sizeof(IP_ADDR_STRING));
  if (pFixedInfo == nullptr || *pOutBufLen < needed) {
    *pOutBufLen = needed;
    return ERROR_BUFFER_OVERFLOW;
  }
  std::memset(pFixedInfo, 0, needed);
  FillNetworkParams(config, pFixedInfo);
  return ERROR_SUCCESS;
}

DWORD GetAdaptersInfo(PIP_ADAPTER_INFO AdapterInfo, ULONG* SizePointer) {
  if (SizePointer == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<HostInterface> interfaces;
  std::vector<HostIpv4Address> addresses;
  std::vector<DefaultRoute> routes;
  if (!pal::iphlpapi::ListInterfaces(&interfaces) || !pal::iphlpapi::ListIpv4Addresses(&addresses) ||
      !pal::iphlpapi::ListDefaultRoutes(&routes))
    return ERROR_CAN_NOT_COMPLETE;
  const std::vector<Adapter> adapters = AdaptersOf(interfaces, addresses, routes);
  if (adapters.empty()) return ERROR_NO_DATA;

  size_t extra = 0;
  for (const Adapter& adapter : adapters) extra += ExtraEntries(adapter);
  const ULONG needed = static_cast<ULONG>(adapters.size() * sizeof(IP_ADAPTER_INFO) + extra * sizeof(IP_ADDR_STRING));
  if (AdapterInfo == nullptr || *SizePointer < needed) {
    *SizePointer = needed;
    return ERROR_BUFFER_OVERFLOW;
  }
  std::memset(AdapterInfo, 0, needed);
  SpareEntries spare(AdapterInfo + adapters.size());
  for (size_t i = 0; i < adapters.size(); ++i) {
    if (i + 1 < adapters.size()) AdapterInfo[i].Next = &AdapterInfo[i + 1];
    FillAdapter(adapters[i], &AdapterInfo[i], &spare);
  }
  return ERROR_SUCCESS;
}

DWORD GetBestInterface(IPAddr dwDestAddr, DWORD* pdwBestIfIndex) {
  if (pdwBestIfIndex == nullptr) return ERROR_INVALID_PARAMETER;
  std::uint32_t index = 0;
  if (!pal::iphlpapi::RouteInterfaceToward(dwDestAddr, &index)) return ERROR_CAN_NOT_COMPLETE;
  *pdwBestIfIndex = index;
  return ERROR_SUCCESS;
}

DWORD GetIpNetTable(PMIB_IPNETTABLE IpNetTable, ULONG* SizePointer, BOOL Order) {
  if (Order) pal::internal::Unsupported("GetIpNetTable", "a table sorted by address");
  if (SizePointer == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<HostNeighbour> neighbours;
  if (!pal::iphlpapi::ListIpv4Neighbours(&neighbours)) return ERROR_CAN_NOT_COMPLETE;
  if (neighbours.empty()) return ERROR_NO_DATA;
  const ULONG needed = static_cast<ULONG>(offsetof(MIB_IPNETTABLE, table) + neighbours.size() * sizeof(MIB_IPNETROW));
  if (IpNetTable == nullptr || *SizePointer < needed) {
    *SizePointer = needed;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::memset(IpNetTable, 0, needed);
  IpNetTable->dwNumEntries = static_cast<DWORD>(neighbours.size());
  MIB_IPNETROW* rows = IpNetTable->table;  // the rows run on past the declared one
  for (size_t i = 0; i < neighbours.size(); ++i) FillNeighbourRow(neighbours[i], rows + i);
  return ERROR_SUCCESS;
}
