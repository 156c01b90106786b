// Broadcasting a discovery request to every LAN the host is on: one datagram to
// 255.255.255.255 out of each interface that can carry it, all from the one discovery socket,
// so that replies keep arriving on its port. The interfaces are listed afresh for every request,
// so an interface that comes up or goes down during a run is seen at the next one.
#pragma once

#include <string>
#include <vector>

#include "pal/winsock2.h"

namespace prowlnet {

/// The adapter names that limit a search to their interfaces; empty for no limit.
using InterfaceLimit = std::vector<std::string>;

constexpr const char* kInterfaceLimitVariable = "PROWLNET_INTERFACES";

/// PROWLNET_INTERFACES read now: its comma-separated names, blanks around each dropped and
/// empty ones skipped. Empty (no limit) when the variable is unset or names none.
InterfaceLimit InterfaceLimitFromEnvironment();

/// Sends `length` bytes of `data` from `socket` to 255.255.255.255:`port` out of every adapter
/// that is up, on a broadcast medium (Ethernet), has an IPv4 address and, under a limit, is
/// named in it. Returns how many interfaces the datagram left by whole. When that is 0,
/// WSAGetLastError gives the last send's error, or WSAENETUNREACH when no interface qualified.
int BroadcastFromEveryInterface(ws2::SOCKET socket, const char* data, int length, ws2::u_short port,
                                const InterfaceLimit& limit);

}  // namespace prowlnet
