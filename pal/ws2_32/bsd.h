// The host's BSD socket calls, behind names and types that do not collide with Winsock's.
// Addresses are IPv4 in network byte order; results follow the host (-1 and errno).
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

namespace pal::bsd {

enum class Option { Broadcast, ReuseAddress, ReceiveBuffer };

/// Only the address family, types and protocols Winsock shares with the host by number.
int Socket(int family, int type, int protocol);
int SetIntOption(int fd, Option option, int value);
int Bind(int fd, std::uint32_t address, std::uint16_t port);
/// One datagram into `buffer`; returns its full length, which may exceed `size`.
ssize_t ReceiveFrom(int fd, void* buffer, size_t size, std::uint32_t* address, std::uint16_t* port);
ssize_t SendTo(int fd, const void* data, size_t size, std::uint32_t address, std::uint16_t port);

/// IP_PKTINFO on a send: the outgoing interface and the source address (0: the interface's own).
struct PacketInfo {
  std::uint32_t interfaceIndex;
  std::uint32_t source;
};

/// One datagram gathered from `parts`, with `info` (may be null) as its IP_PKTINFO control message.
ssize_t SendMessage(int fd, const iovec* parts, size_t count, std::uint32_t address, std::uint16_t port,
                    const PacketInfo* info);

}  // namespace pal::bsd
