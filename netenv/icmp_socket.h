// The socket that ICMP echo probes go out on: a raw ICMP socket where the process may open one
// (root or CAP_NET_RAW), else the kernel's datagram ICMP socket, which an ordinary user may open
// where net.ipv4.ping_group_range admits one of the user's groups.
#pragma once

#include <cstdint>
#include <optional>

#include "pal/winsock2.h"

namespace prowlnet {

constexpr int kProbeRequestSize = 12;
constexpr int kProbeReceiveSize = 256;

/// How a socket hands over what it receives. kRaw: every ICMP packet that reaches this computer,
/// as a whole IPv4 packet with the sender in its header. kDatagram: only the echo replies to this
/// socket's own requests, as the ICMP message alone; the sender is the address recvfrom gives.
/// The kernel puts its own identifier in a datagram socket's requests.
enum class IcmpSocketKind { kRaw, kDatagram };

/// Where the ICMP message of a received datagram begins and who sent it.
struct IcmpView {
  int headerLength;
  std::uint32_t sender;  // network byte order
};

/// The view of `packet` (of the cleared receive buffer) received on a socket of `kind` from
/// `from`: after the IP header of a raw socket's packet, at the start of a datagram socket's.
IcmpView ViewOf(IcmpSocketKind kind, const std::uint8_t (&packet)[kProbeReceiveSize], std::uint32_t from);

class IcmpSocket {
 public:
  /// A raw socket where it opens, else a datagram socket; nothing when neither opens (the
  /// process lacks both rights). The socket library must be started.
  static std::optional<IcmpSocket> Open();

  IcmpSocket(IcmpSocket&& other) noexcept : handle_(other.handle_), kind_(other.kind_) {
    other.handle_ = ws2::INVALID_SOCKET;
  }
  IcmpSocket& operator=(IcmpSocket&& other) noexcept;
  ~IcmpSocket();
  IcmpSocket(const IcmpSocket&) = delete;
  IcmpSocket& operator=(const IcmpSocket&) = delete;

  ws2::SOCKET handle() const { return handle_; }
  IcmpSocketKind kind() const { return kind_; }

  /// Sends the 12-byte echo request of attempt `n` (identifier and sequence number n, the tick
  /// count as data, every field in this machine's byte order) to `target` (network byte order):
  /// whether all 12 bytes went.
  bool SendEchoRequest(std::uint32_t target, std::uint16_t n) const;
  /// Receives one datagram into the cleared `packet`: its length (0 or less on failure), and its
  /// sender in `from` (network byte order).
  int Receive(std::uint8_t (&packet)[kProbeReceiveSize], std::uint32_t* from) const;

 private:
  IcmpSocket(ws2::SOCKET handle, IcmpSocketKind kind) : handle_(handle), kind_(kind) {}

  ws2::SOCKET handle_;
  IcmpSocketKind kind_;
};

/// The socket library, started for the life of one call of a host (which has no control object
/// to start it).
class SocketLibrary {
 public:
  SocketLibrary() {
    ws2::WSADATA data;
    ws2::WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~SocketLibrary() { ws2::WSACleanup(); }
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
};

}  // namespace prowlnet
