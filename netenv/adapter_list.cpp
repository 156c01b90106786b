#include "netenv/adapter_list.h"

#include "pal/winsock2.h"

namespace prowlnet {

AdapterList AdapterList::Read() {
  AdapterList list;
  list.result_ = QueryByBufferProtocol(GetAdaptersInfo, &list.buffer_);
  return list;
}

std::vector<Ipv4Subnet> LocalSubnets() {
  const AdapterList adapters = AdapterList::Read();
  std::vector<Ipv4Subnet> subnets;
  for (const IP_ADAPTER_INFO* adapter = adapters.first(); adapter != nullptr; adapter = adapter->Next) {
    for (const IP_ADDR_STRING* entry = &adapter->IpAddressList; entry != nullptr; entry = entry->Next) {
      const std::uint32_t address = ws2::inet_addr(entry->IpAddress.String);
      if (address == ws2::INADDR_ANY || address == ws2::INADDR_NONE) continue;
      subnets.push_back({address, ws2::inet_addr(entry->IpMask.String)});
    }
  }
  return subnets;
}

}  // namespace prowlnet
