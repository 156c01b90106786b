// Route lookups in the calling thread's network namespace, by routing netlink.
#pragma once

#include <cstdint>
#include <vector>

namespace pal::iphlpapi {

struct DefaultRoute {
  std::uint32_t interfaceIndex = 0;
  std::uint32_t gateway = 0;  // network byte order; 0 for an on-link route
};

/// The unicast default routes of the main table, one entry per next hop, in the kernel's order
/// (lowest metric first); false with errno set on failure.
bool ListDefaultRoutes(std::vector<DefaultRoute>* routes);

/// The kernel's own choice of outgoing interface toward `destination` (network byte order), as
/// for a packet that would be sent there; nothing is sent. False with errno set when there is
/// no route (ENETUNREACH and the like) or the lookup fails.
bool RouteInterfaceToward(std::uint32_t destination, std::uint32_t* interfaceIndex);

}  // namespace pal::iphlpapi
