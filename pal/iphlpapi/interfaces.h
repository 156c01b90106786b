// The interfaces of the calling thread's network namespace and their IPv4 addresses, as the
// kernel lists them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pal::iphlpapi {

struct HostInterface {
  std::uint32_t index = 0;
  std::string name;
  unsigned flags = 0;          // IFF_* of the host
  unsigned short type = 0;     // ARPHRD_* of the host
  std::vector<std::uint8_t> hardwareAddress;
};

struct HostIpv4Address {
  std::uint32_t interfaceIndex = 0;
  std::uint32_t address = 0;  // network byte order
  unsigned prefixLength = 0;
};

/// Every interface, in the kernel's order; false with errno set on failure.
bool ListInterfaces(std::vector<HostInterface>* interfaces);

/// Every IPv4 address, in the kernel's order (per interface: the order in which it lists them).
bool ListIpv4Addresses(std::vector<HostIpv4Address>* addresses);

}  // namespace pal::iphlpapi
