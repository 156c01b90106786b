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

/// Whether this process can probe addresses with ICMP echo: it can open a raw ICMP socket
/// (CAP_NET_RAW) or a datagram one (a group within net.ipv4.ping_group_range).
bool CanProbe();
/// What a host says when it cannot (CanProbe), naming both ways to allow it.
extern const char* const kCannotProbe;
/// The addresses of `addresses` that are in use, all probed together with the judgement of the
/// control's free address finder (an echo reply, or an entry the ARP cache learnt; a probe that
/// could not be sent counts as in use). Nothing when this process cannot probe.
std::optional<std::vector<std::uint32_t>> AddressesInUse(const std::vector<std::uint32_t>& addresses);

bool OnAnySubnet(const std::vector<Subnet>& subnets, std::uint32_t address);
bool IsLocalAddress(const std::vector<Subnet>& subnets, std::uint32_t address);

}  // namespace prowlnet_client
