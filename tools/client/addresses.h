// IPv4 addresses as people type them, in host byte order, and what the network environment tells
// of them: this computer's own subnets, and whether an address is in use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace prowlnet_client {

/// Exactly four decimal parts of 0 to 255 joined by dots, as a number in host byte order. A part
/// with a leading zero (192.168.001.064) is refused: programs read it as octal or as decimal.
std::optional<std::uint32_t> ParseDottedQuad(const std::string& text);
std::string DottedQuad(std::uint32_t address);
/// Whether the mask is a run of ones followed by zeros (0.0.0.0 and 255.255.255.255 included).
bool IsContiguousNetmask(std::uint32_t mask);

struct Subnet {
  std::uint32_t address;
  std::uint32_t mask;
};

/// The IPv4 address and mask of every up interface of this computer (loopback excepted).
std::vector<Subnet> LocalSubnets();
/// Whether `address` answers an echo request or ARP, as the control's free address finder judges
/// a candidate (a probe that failed part way counts as in use). Nothing when no raw ICMP socket
/// can be opened: that needs root or CAP_NET_RAW.
std::optional<bool> AddressInUse(std::uint32_t address);
bool OnAnySubnet(const std::vector<Subnet>& subnets, std::uint32_t address);
bool IsLocalAddress(const std::vector<Subnet>& subnets, std::uint32_t address);

}  // namespace prowlnet_client
