#include "netenv/icmp_probe.h"

#include <cstring>
#include <string_view>

#include "diag/debug_log.h"
#include "netenv/arp_cache.h"
#include "pal/kernel32.h"
#include "pal/winsock2.h"

namespace prowlnet {
namespace {

constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kEchoReply = 0;

/// The 12-byte echo request of attempt `n`: identifier and sequence number n, the tick count as
/// data, every field in this machine's byte order.
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

/// Closes the probe's socket and passes `result` on.
int Finish(ws2::SOCKET probe, int result) {
  ws2::closesocket(probe);
  return result;
}

std::string_view DottedQuad(std::uint32_t address) {
  ws2::in_addr in{address};
  return ws2::inet_ntoa(in);
}

}  // namespace

bool IsEchoReplyFrom(const std::uint8_t (&packet)[kProbeReceiveSize], int length, std::uint32_t target) {
  const int headerLength = (packet[0] & 0x0F) * 4;
  std::uint32_t sender;
  std::memcpy(&sender, packet + 12, sizeof sender);
  if (sender != target) {
    DebugLog("PintTest(): recv packet not from dest ip, but from: %s\n", DottedQuad(sender).data());
    return false;
  }
  if (length < headerLength + 8) {
    DebugLog("PintTest(): recv bad length.\n");
    return false;
  }
  if (packet[headerLength] != kEchoReply) {
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

/// PintTest on an open raw ICMP socket, which it closes.
int ProbeOn(ws2::SOCKET probe, std::uint32_t target) {
  ws2::sockaddr_in to{};
  to.sin_family = ws2::AF_INET;
  to.sin_addr.s_addr = target;

  for (int n = 0; n < kProbeAttempts; ++n) {
    std::uint8_t request[kProbeRequestSize];
    BuildEchoRequest(request, static_cast<std::uint16_t>(n));
    if (ws2::sendto(probe, reinterpret_cast<const char*>(request), sizeof request, 0,
                    reinterpret_cast<const ws2::sockaddr*>(&to), sizeof to) != kProbeRequestSize) {
      DebugLog("PintTest(): sendto failed.\n");
      return Finish(probe, -1);
    }

    ws2::fd_set readable;
    FD_ZERO(&readable);
    FD_SET(probe, &readable);
    const timeval wait{0, kProbeWaitMicroseconds};
    const int ready = ws2::select(0, &readable, nullptr, nullptr, &wait);
    if (ready < 0) {
      DebugLog("PintTest(): select failed.\n");
      return Finish(probe, -1);
    }
    if (ready == 0) continue;
    if (!FD_ISSET(probe, &readable)) {
      DebugLog("PintTest(): socket not readable.\n");
      return Finish(probe, -1);
    }

    std::uint8_t packet[kProbeReceiveSize] = {};
    const int received = ws2::recvfrom(probe, reinterpret_cast<char*>(packet), sizeof packet, 0, nullptr, nullptr);
    if (received <= 0) {
      DebugLog("PintTest(): recvfrom failed.\n");
      return Finish(probe, -1);
    }
    if (IsEchoReplyFrom(packet, received, target)) {
      DebugLog("got replay from ip: %s\n", DottedQuad(target).data());
      return Finish(probe, 0);
    }
    Sleep(100);
  }
  // A host that drops echo requests still answered the ARP requests that sending them made.
  if (AnsweredArp(target)) {
    DebugLog("PintTest(): no replay recv, but ip %s answered ARP.\n", DottedQuad(target).data());
    return Finish(probe, 0);
  }
  DebugLog("PintTest(): no replay recv, ip %s is usable.\n", DottedQuad(target).data());
  return Finish(probe, 1);
}

/// The socket library, started for the life of one call.
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

ws2::SOCKET OpenProbeSocket() { return ws2::socket(ws2::AF_INET, ws2::SOCK_RAW, ws2::IPPROTO_ICMP); }

}  // namespace

int PintTest(std::uint32_t target) {
  const ws2::SOCKET probe = OpenProbeSocket();
  if (probe == ws2::INVALID_SOCKET) return -1;
  return ProbeOn(probe, target);
}

std::optional<bool> AddressInUse(std::uint32_t target) {
  const SocketLibrary library;
  const ws2::SOCKET probe = OpenProbeSocket();
  if (probe == ws2::INVALID_SOCKET) return std::nullopt;
  return ProbeOn(probe, target) != 1;
}

}  // namespace prowlnet
