#include "client/lan_change.h"

#include <fmt/format.h>

#include "client/addresses.h"

namespace prowlnet_client {
namespace {

std::optional<std::string> CheckAddress(const char* what, const std::optional<std::string>& value) {
  if (value && !ParseDottedQuad(*value))
    return fmt::format("{} \"{}\" is not a dotted-quad IPv4 address (four numbers of 0 to 255, without leading zeros)",
                       what, *value);
  return std::nullopt;
}

/// A DNS server may be cleared: an empty value is sent as it is, and the camera has none then.
std::optional<std::string> CheckDnsServer(const char* what, const std::optional<std::string>& value) {
  if (value && value->empty()) return std::nullopt;
  return CheckAddress(what, value);
}

}  // namespace

std::optional<std::string> CheckLanChange(const LanChange& change) {
  if (change.ipAddress && change.freeAddress) return std::string("an IP address and a free address cannot both be asked for");
  if (auto error = CheckAddress("the IP address", change.ipAddress)) return error;
  if (auto error = CheckAddress("the gateway", change.gateway)) return error;
  if (auto error = CheckDnsServer("the first DNS server", change.dns1)) return error;
  if (auto error = CheckDnsServer("the second DNS server", change.dns2)) return error;
  if (change.netmask) {
    const auto mask = ParseDottedQuad(*change.netmask);
    if (!mask || !IsContiguousNetmask(*mask) || *mask == 0)
      return fmt::format("the netmask \"{}\" is not a netmask (contiguous ones, then zeros)", *change.netmask);
  }
  const bool anything = change.ipAddress || change.netmask || change.gateway || change.dns1 || change.dns2 ||
                        change.dhcp || change.freeAddress;
  if (!anything)
    return std::string("nothing to change: no IP address, netmask, gateway, DHCP, DNS server or free address was asked for");
  return std::nullopt;
}

LanSettings Applied(const LanChange& change, LanSettings lan) {
  if (change.ipAddress) lan.ipAddress = *change.ipAddress;
  if (change.netmask) lan.netmask = *change.netmask;
  if (change.gateway) lan.gateway = *change.gateway;
  if (change.dns1) lan.dns1 = *change.dns1;
  if (change.dns2) lan.dns2 = *change.dns2;
  if (change.dhcp) lan.dhcp = *change.dhcp ? 1 : 0;
  return lan;
}

bool Carries(const LanSettings& now, const LanChange& change) {
  return (!change.ipAddress || now.ipAddress == *change.ipAddress) &&
         (!change.netmask || now.netmask == *change.netmask) && (!change.gateway || now.gateway == *change.gateway) &&
         (!change.dns1 || now.dns1 == *change.dns1) && (!change.dns2 || now.dns2 == *change.dns2) &&
         (!change.dhcp || (now.dhcp != 0) == *change.dhcp);
}

}  // namespace prowlnet_client
