// A change of a camera's LAN settings as a person asks for it: only the values given change.
#pragma once

#include <optional>
#include <string>

#include "client/camera_record.h"

namespace prowlnet_client {

struct LanChange {
  std::optional<std::string> ipAddress;
  std::optional<std::string> netmask;
  std::optional<std::string> gateway;
  std::optional<std::string> dns1;
  std::optional<std::string> dns2;
  std::optional<bool> dhcp;
  /// Take a free address of this computer's subnet for the IP address.
  bool freeAddress = false;
};

/// Checks the addresses and the netmask before anything is sent; the message for the first that
/// is wrong, or for a change that changes nothing. An empty DNS server clears it.
std::optional<std::string> CheckLanChange(const LanChange& change);

/// `lan` with the change's values in place.
LanSettings Applied(const LanChange& change, LanSettings lan);

/// Whether the settings carry every value the change asks for (a camera on DHCP may report an
/// address of its own choosing).
bool Carries(const LanSettings& now, const LanChange& change);

}  // namespace prowlnet_client
