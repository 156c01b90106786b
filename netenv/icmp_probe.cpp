#include "netenv/icmp_probe.h"

#include <cstring>
#include <string_view>

#include "diag/debug_log.h"
#include "netenv/arp_cache.h"
#include "pal/kernel32.h"
#include "pal/winsock2.h"

namespace prowlnet {
namespace {

constexpr std::uint8_t kEchoReply = 0;

std::string_view DottedQuad(std::uint32_t address) {
  ws2::in_addr in{address};
  return ws2::inet_ntoa(in);
}

}  // namespace

bool IsEchoReplyFrom(IcmpSocketKind kind, const std::uint8_t (&packet)[kProbeReceiveSize], int length,
                     std::uint32_t from, std::uint32_t target) {
  const IcmpView view = ViewOf(kind, packet, from);
  if (view.sender != target) {
    DebugLog("PintTest(): recv packet not from dest ip, but from: %s\n", DottedQuad(view.sender).data());
    return false;
  }
  if (length < view.headerLength + 8) {
    DebugLog("PintTest(): recv bad length.\n");
    return false;
  }
  if (packet[view.headerLength] != kEchoReply) {
    DebugLog("recv not icmp packet.\n");
    return false;
  }
  return true;
}

std::uint16_t IcmpChecksum(const void* data, int length) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::uint32_t sum = 0;
  int i = 0;
  for (; i + 1 < length; i += 2) {
    std::uint16_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    sum += word;
  }
  if (i < length) sum += bytes[i];
  sum = (sum >> 16) + (sum & 0xFFFF);
  sum += sum >> 16;
  return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

namespace {

/// PintTest on an open ICMP socket, which the caller closes.
int ProbeOn(const IcmpSocket& probe, std::uint32_t target) {
  for (int n = 0; n < kProbeAttempts; ++n) {
    if (!probe.SendEchoRequest(target, static_cast<std::uint16_t>(n))) {
      DebugLog("PintTest(): sendto failed.\n");
      return -1;
    }

    ws2::fd_set readable;
    FD_ZERO(&readable);
    FD_SET(probe.handle(), &readable);
    const timeval wait{0, kProbeWaitMicroseconds};
    const int ready = ws2::select(0, &readable, nullptr, nullptr, &wait);
    if (ready < 0) {
      DebugLog("PintTest(): select failed.\n");
      return -1;
    }
    if (ready == 0) continue;
    if (!FD_ISSET(probe.handle(), &readable)) {
      DebugLog("PintTest(): socket not readable.\n");
      return -1;
    }

    std::uint8_t packet[kProbeReceiveSize];
    std::uint32_t from = 0;
    const int received = probe.Receive(packet, &from);
    if (received <= 0) {
      DebugLog("PintTest(): recvfrom failed.\n");
      return -1;
    }
    if (IsEchoReplyFrom(probe.kind(), packet, received, from, target)) {
      DebugLog("got replay from ip: %s\n", DottedQuad(target).data());
      return 0;
    }
    Sleep(100);
  }
  // A host that drops echo requests still answered the ARP requests that sending them made.
  if (AnsweredArp(target)) {
    DebugLog("PintTest(): no replay recv, but ip %s answered ARP.\n", DottedQuad(target).data());
    return 0;
  }
  DebugLog("PintTest(): no replay recv, ip %s is usable.\n", DottedQuad(target).data());
  return 1;
}

}  // namespace

int PintTest(std::uint32_t target) {
  const std::optional<IcmpSocket> probe = IcmpSocket::Open();
  if (!probe) return -1;
  return ProbeOn(*probe, target);
}

bool CanProbe() {
  const SocketLibrary library;
  return IcmpSocket::Open().has_value();
}

std::optional<bool> AddressInUse(std::uint32_t target) {
  const SocketLibrary library;
  const std::optional<IcmpSocket> probe = IcmpSocket::Open();
  if (!probe) return std::nullopt;
  return ProbeOn(*probe, target) != 1;
}

}  // namespace prowlnet
