#include "client/addresses.h"

#include <cstdio>

#include "netenv/adapter_list.h"
#include "netenv/address_sweep.h"
#include "netenv/icmp_probe.h"
#include "pal/winsock2.h"

namespace prowlnet_client {

std::optional<std::uint32_t> ParseDottedQuad(const std::string& text) {
  std::uint32_t address = 0;
  size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return std::nullopt;
      ++at;
    }
    const size_t start = at;
    unsigned value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 3) value = value * 10 + (text[at++] - '0');
    if (at == start || value > 255) return std::nullopt;
    // 010 is 8 to inet_aton and 10 to a person: such a part means two addresses, so it is refused.
    if (at - start > 1 && text[start] == '0') return std::nullopt;
    address = address << 8 | value;
  }
  if (at != text.size()) return std::nullopt;
  return address;
}

std::string DottedQuad(std::uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, address >> 16 & 0xFF, address >> 8 & 0xFF, address & 0xFF);
  return text;
}

bool IsContiguousNetmask(std::uint32_t mask) {
  const std::uint32_t inverted = ~mask;
  return (inverted & (inverted + 1)) == 0;
}

std::vector<Subnet> LocalSubnets() {
  std::vector<Subnet> subnets;
  for (const prowlnet::Ipv4Subnet& subnet : prowlnet::LocalSubnets())
    subnets.push_back({ws2::ntohl(subnet.address), ws2::ntohl(subnet.mask)});
  return subnets;
}

bool CanProbe() { return prowlnet::CanProbe(); }

const char* const kCannotProbe =
    "cannot probe addresses with ICMP echo: that needs CAP_NET_RAW, or a group of this user within "
    "net.ipv4.ping_group_range (sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\" lets every group ping)";

std::optional<std::vector<std::uint32_t>> AddressesInUse(const std::vector<std::uint32_t>& addresses) {
  std::vector<std::uint32_t> targets;
  for (std::uint32_t address : addresses) targets.push_back(ws2::htonl(address));
  std::optional<std::vector<std::uint32_t>> inUse = prowlnet::AddressesInUse(targets);
  if (inUse) {
    for (std::uint32_t& address : *inUse) address = ws2::ntohl(address);
  }
  return inUse;
}

bool OnAnySubnet(const std::vector<Subnet>& subnets, std::uint32_t address) {
  for (const Subnet& subnet : subnets) {
    if ((subnet.address & subnet.mask) == (address & subnet.mask)) return true;
  }
  return false;
}

bool IsLocalAddress(const std::vector<Subnet>& subnets, std::uint32_t address) {
  for (const Subnet& subnet : subnets) {
    if (subnet.address == address) return true;
  }
  return false;
}

}  // namespace prowlnet_client
