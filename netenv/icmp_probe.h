// ICMP echo probing of a candidate address.
#pragma once

#include <cstdint>
#include <optional>

#include "netenv/icmp_socket.h"

namespace prowlnet {

constexpr int kProbeAttempts = 5;
constexpr int kProbeWaitMicroseconds = 100000;

/// The RFC 1071 checksum of `length` bytes, summed as 16-bit words in this machine's byte
/// order, an odd last byte added as it is, folded twice; stored in the packet as it comes out.
std::uint16_t IcmpChecksum(const void* data, int length);

/// Judges one datagram of `length` bytes received from `from` on the probe's socket of `kind`, at
/// the start of the cleared receive buffer: a whole IPv4 packet from a raw socket, the ICMP message
/// alone from a datagram socket (see IcmpSocketKind). True when it is an echo reply from `target`;
/// otherwise logs why it does not count.
bool IsEchoReplyFrom(IcmpSocketKind kind, const std::uint8_t (&packet)[kProbeReceiveSize], int length,
                     std::uint32_t from, std::uint32_t target);

/// Probes `target` (network byte order) with up to 5 echo requests, 100 ms apart at most, on a
/// raw ICMP socket, or a datagram one where the process may not open a raw one.
/// 1: no echo reply came from it and it answered no ARP request (usable); 0: it answered either
/// (in use); -1: the probe failed (no ICMP socket opens, or a socket call failed).
int PintTest(std::uint32_t target);

/// Whether this process can open an ICMP socket to probe with: CAP_NET_RAW for a raw one, or a
/// group within net.ipv4.ping_group_range for a datagram one. Starts the socket library for the
/// call.
bool CanProbe();

/// For a host, which has no control object to start the socket library for it: whether `target`
/// (network byte order) is in use, judged as the free address finder judges a candidate. True when
/// it answered an echo request or the ARP cache learnt it, and when the probe failed part way (it
/// cannot be vouched for); false when it stayed silent. Nothing when no ICMP socket can be opened
/// (see CanProbe).
std::optional<bool> AddressInUse(std::uint32_t target);

}  // namespace prowlnet
