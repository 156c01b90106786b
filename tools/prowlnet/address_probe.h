// Whether an address is in use, asked of the network the way the control's free address finder
// asks: ICMP echo requests, and the kernel's neighbour table for a host that drops them.
#pragma once

#include <cstdint>
#include <optional>

namespace prowlnet_cli {

/// True when `address` (host byte order) answered one of five echo requests, 100 ms apart, or
/// answered the kernel's ARP request meanwhile. Nothing when no raw socket can be opened (root or
/// CAP_NET_RAW is needed).
std::optional<bool> AddressInUse(std::uint32_t address);

}  // namespace prowlnet_cli
