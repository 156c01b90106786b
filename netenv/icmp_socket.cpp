#include "netenv/icmp_socket.h"

#include <cstring>

#include "netenv/icmp_probe.h"
#include "pal/kernel32.h"

namespace prowlnet {
namespace {

constexpr std::uint8_t kEchoRequest = 8;

void BuildEchoRequest(std::uint8_t (&packet)[kProbeRequestSize], std::uint16_t n) {
  std::memset(packet, 0, sizeof packet);
  packet[0] = kEchoRequest;
  const DWORD tick = GetTickCount();
  std::memcpy(packet + 4, &n, sizeof n);
  std::memcpy(packet + 6, &n, sizeof n);
  std::memcpy(packet + 8, &tick, sizeof tick);
  const std::uint16_t checksum = IcmpChecksum(packet, sizeof packet);
  std::memcpy(packet + 2, &checksum, sizeof checksum);
}

}  // namespace

IcmpView ViewOf(IcmpSocketKind kind, const std::uint8_t (&packet)[kProbeReceiveSize], std::uint32_t from) {
  if (kind == IcmpSocketKind::kDatagram) return {0, from};
  IcmpView view{(packet[0] & 0x0F) * 4, 0};
  std::memcpy(&view.sender, packet + 12, sizeof view.sender);
  return view;
}

std::optional<IcmpSocket> IcmpSocket::Open() {
  const ws2::SOCKET raw = ws2::socket(ws2::AF_INET, ws2::SOCK_RAW, ws2::IPPROTO_ICMP);
  if (raw != ws2::INVALID_SOCKET) return IcmpSocket(raw, IcmpSocketKind::kRaw);
  const ws2::SOCKET datagram = ws2::socket(ws2::AF_INET, ws2::SOCK_DGRAM, ws2::IPPROTO_ICMP);
  if (datagram != ws2::INVALID_SOCKET) return IcmpSocket(datagram, IcmpSocketKind::kDatagram);
  return std::nullopt;
}

IcmpSocket& IcmpSocket::operator=(IcmpSocket&& other) noexcept {
  if (this == &other) return *this;
  if (handle_ != ws2::INVALID_SOCKET) ws2::closesocket(handle_);
  handle_ = other.handle_;
  kind_ = other.kind_;
  other.handle_ = ws2::INVALID_SOCKET;
  return *this;
}

IcmpSocket::~IcmpSocket() {
  if (handle_ != ws2::INVALID_SOCKET) ws2::closesocket(handle_);
}

bool IcmpSocket::SendEchoRequest(std::uint32_t target, std::uint16_t n) const {
  ws2::sockaddr_in to{};
  to.sin_family = ws2::AF_INET;
  to.sin_addr.s_addr = target;
  std::uint8_t request[kProbeRequestSize];
  BuildEchoRequest(request, n);
  return ws2::sendto(handle_, reinterpret_cast<const char*>(request), sizeof request, 0,
                     reinterpret_cast<const ws2::sockaddr*>(&to), sizeof to) == kProbeRequestSize;
}

int IcmpSocket::Receive(std::uint8_t (&packet)[kProbeReceiveSize], std::uint32_t* from) const {
  std::memset(packet, 0, sizeof packet);
  ws2::sockaddr_in sender{};
  int senderLength = sizeof sender;
  const int received = ws2::recvfrom(handle_, reinterpret_cast<char*>(packet), sizeof packet, 0,
                                     reinterpret_cast<ws2::sockaddr*>(&sender), &senderLength);
  *from = sender.sin_addr.s_addr;
  return received;
}

}  // namespace prowlnet
