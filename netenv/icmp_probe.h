// ICMP echo probing of a candidate address.
#pragma once

#include <cstdint>
#include <optional>

namespace prowlnet {

constexpr int kProbeAttempts = 5;
constexpr int kProbeWaitMicroseconds = 100000;
constexpr int kProbeRequestSize = 12;
constexpr int kProbeReceiveSize = 256;

/// The RFC 1071 checksum of `length` bytes, summed as 16-bit words in this machine's byte
/// order, an odd last byte added as it is, folded twice; stored in the packet as it comes out.
std::uint16_t IcmpChecksum(const void* data, int length);

/// Judges one datagram received on the probe's socket: a whole IPv4 packet of `length` bytes at
/// the start of the cleared receive buffer. True when it is an echo reply from `target`; otherwise
/// logs why it does not count.
bool IsEchoReplyFrom(const std::uint8_t (&packet)[kProbeReceiveSize], int length, std::uint32_t target);

/// Probes `target` (network byte order) with up to 5 echo requests, 100 ms apart at most.
/// 1: no echo reply came from it and it answered no ARP request (usable); 0: it answered either
/// (in use); -1: the probe failed.
int PintTest(std::uint32_t target);

/// For a host, which has no control object to start the socket library for it: whether `target`
/// (network byte order) is in use, judged as the free address finder judges a candidate. True when
/// it answered an echo request or the ARP cache learnt it, and when the probe failed part way (it
/// cannot be vouched for); false when it stayed silent. Nothing when no raw ICMP socket can be
/// opened: that needs root or CAP_NET_RAW.
std::optional<bool> AddressInUse(std::uint32_t target);

}  // namespace prowlnet
