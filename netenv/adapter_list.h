// This computer's network adapters as IP Helper lists them, read in one place for the engine's
// broadcast, the host's own parameters and the hosts: the interfaces that are up, loopback
// excepted, in the platform's order, each with its IPv4 addresses and masks.
#pragma once

#include <cstdint>
#include <vector>

#include "netenv/query_buffer.h"
#include "pal/iphlpapi.h"

namespace prowlnet {

class AdapterList {
 public:
  /// Reads the list now, by IP Helper's buffer protocol (QueryByBufferProtocol).
  static AdapterList Read();

  /// ERROR_SUCCESS, or the error of the call that counted.
  DWORD result() const { return result_; }
  /// The first adapter of the chain (follow Next for the others); nullptr when the query failed.
  const IP_ADAPTER_INFO* first() const {
    return result_ == ERROR_SUCCESS ? buffer_.As<IP_ADAPTER_INFO>() : nullptr;
  }

 private:
  QueryBuffer buffer_;
  DWORD result_ = ERROR_SUCCESS;
};

/// One IPv4 address of this computer and its mask, both in network byte order.
struct Ipv4Subnet {
  std::uint32_t address;
  std::uint32_t mask;
};

/// Every IPv4 address of every listed adapter, with its own mask; an adapter without an address
/// (listed as 0.0.0.0) gives none. Empty when the list cannot be read.
std::vector<Ipv4Subnet> LocalSubnets();

}  // namespace prowlnet
