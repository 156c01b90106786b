#include "address_probe.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "addresses.h"
#include "pal/kernel32.h"
#include "pal/winsock2.h"

namespace prowlnet_cli {
namespace {

constexpr int kAttempts = 5;
constexpr long kWaitMicroseconds = 100000;

std::uint16_t Checksum(const std::uint8_t* bytes, size_t length) {
  std::uint32_t sum = 0;
  for (size_t i = 0; i + 1 < length; i += 2) sum += static_cast<std::uint32_t>(bytes[i] << 8 | bytes[i + 1]);
  if (length % 2 != 0) sum += static_cast<std::uint32_t>(bytes[length - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

/// An echo request with sequence number `sequence`, in network byte order.
void BuildEchoRequest(std::uint8_t (&packet)[8], std::uint16_t sequence) {
  std::memset(packet, 0, sizeof packet);
  packet[0] = 8;
  packet[6] = static_cast<std::uint8_t>(sequence >> 8);
  packet[7] = static_cast<std::uint8_t>(sequence & 0xFF);
  const std::uint16_t checksum = Checksum(packet, sizeof packet);
  packet[2] = static_cast<std::uint8_t>(checksum >> 8);
  packet[3] = static_cast<std::uint8_t>(checksum & 0xFF);
}

/// Whether the IPv4 packet is an echo reply from `address` (network byte order).
bool IsEchoReplyFrom(const std::uint8_t* packet, int length, std::uint32_t address) {
  if (length < 20) return false;
  const int header = (packet[0] & 0x0F) * 4;
  std::uint32_t sender;
  std::memcpy(&sender, packet + 12, sizeof sender);
  return length >= header + 8 && sender == address && packet[header] == 0;
}

/// Whether the kernel's neighbour table holds a link-layer address for `address`.
bool AnsweredArp(std::uint32_t address) {
  std::ifstream table("/proc/net/arp");
  std::string line;
  std::getline(table, line);  // the column names
  const std::string wanted = DottedQuad(address);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string ip, type, flags, hardware;
    fields >> ip >> type >> flags >> hardware;
    if (ip == wanted && std::stoul(flags, nullptr, 16) & 0x2) return true;
  }
  return false;
}

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

}  // namespace

std::optional<bool> AddressInUse(std::uint32_t address) {
  const SocketLibrary library;
  const ws2::SOCKET probe = ws2::socket(ws2::AF_INET, ws2::SOCK_RAW, ws2::IPPROTO_ICMP);
  if (probe == ws2::INVALID_SOCKET) return std::nullopt;
  ws2::sockaddr_in to{};
  to.sin_family = ws2::AF_INET;
  to.sin_addr.s_addr = ws2::htonl(address);
  bool answered = false;
  for (int n = 0; n < kAttempts && !answered; ++n) {
    std::uint8_t request[8];
    BuildEchoRequest(request, static_cast<std::uint16_t>(n));
    ws2::sendto(probe, reinterpret_cast<const char*>(request), sizeof request, 0, reinterpret_cast<const ws2::sockaddr*>(&to),
                sizeof to);
    const DWORD start = GetTickCount();
    // Read whatever arrives within the attempt's 100 ms: other hosts' replies do not count.
    for (DWORD waited = 0; !answered && waited < kWaitMicroseconds / 1000; waited = GetTickCount() - start) {
      ws2::fd_set readable;
      FD_ZERO(&readable);
      FD_SET(probe, &readable);
      const long left = kWaitMicroseconds - static_cast<long>(waited) * 1000;
      const timeval wait{0, left};
      if (ws2::select(0, &readable, nullptr, nullptr, &wait) <= 0) break;
      std::uint8_t packet[256];
      const int length = ws2::recvfrom(probe, reinterpret_cast<char*>(packet), sizeof packet, 0, nullptr, nullptr);
      answered = IsEchoReplyFrom(packet, length, to.sin_addr.s_addr);
    }
  }
  ws2::closesocket(probe);
  return answered || AnsweredArp(address);
}

}  // namespace prowlnet_cli
