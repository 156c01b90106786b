// The IPv4 neighbour (ARP) table of the calling thread's network namespace, as the kernel lists it.
#pragma once

#include <cstdint>
#include <vector>

namespace pal::iphlpapi {

struct HostNeighbour {
  std::uint32_t interfaceIndex = 0;
  std::uint32_t address = 0;  // network byte order
  std::uint16_t state = 0;    // NUD_* of the host
  std::vector<std::uint8_t> linkAddress;  // empty while the kernel has none
};

/// Every IPv4 neighbour entry, in the kernel's order; false with errno set on failure.
bool ListIpv4Neighbours(std::vector<HostNeighbour>* neighbours);

}  // namespace pal::iphlpapi
