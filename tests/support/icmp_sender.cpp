#include "support/icmp_sender.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "support/netns.h"

namespace test_support {

std::string IcmpSender::Message(unsigned char type, size_t payload) {
  std::string message(4 + payload, '\0');
  message[0] = static_cast<char>(type);
  std::uint32_t sum = 0;
  for (size_t i = 0; i + 1 < message.size(); i += 2)
    sum += static_cast<std::uint8_t>(message[i]) << 8 | static_cast<std::uint8_t>(message[i + 1]);
  if (message.size() % 2) sum += static_cast<std::uint8_t>(message.back()) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  const std::uint16_t checksum = static_cast<std::uint16_t>(~sum);
  message[2] = static_cast<char>(checksum >> 8);
  message[3] = static_cast<char>(checksum & 0xFF);
  return message;
}

IcmpSender::IcmpSender(const std::string& netns, const std::string& from, const std::string& to, std::string icmp) {
  sender_ = std::thread([this, netns, from, to, icmp = std::move(icmp)] {
    NamespaceScope scope(netns);
    const int fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = AddressOf(from);
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = AddressOf(to);
    while (!stop_) {
      sendto(fd, icmp.data(), icmp.size(), 0, reinterpret_cast<sockaddr*>(&target), sizeof target);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    close(fd);
  });
}

IcmpSender::~IcmpSender() {
  stop_ = true;
  sender_.join();
}

EchoRequestCapture::EchoRequestCapture(const std::string& netns, std::chrono::milliseconds timeout)
    : capturer_([this, netns, timeout] { Capture(netns, timeout); }) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!listening_ && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
}

EchoRequestCapture::~EchoRequestCapture() {
  if (capturer_.joinable()) capturer_.join();
}

std::string EchoRequestCapture::Take() {
  if (capturer_.joinable()) capturer_.join();
  return packet_;
}

void EchoRequestCapture::Capture(const std::string& netns, std::chrono::milliseconds timeout) {
  NamespaceScope scope(netns);
  const int fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  listening_ = true;
  if (fd < 0) return;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (packet_.empty() && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) continue;
    char bytes[256];
    const ssize_t length = recv(fd, bytes, sizeof bytes, 0);
    if (length <= 0) continue;
    const size_t header = (static_cast<unsigned char>(bytes[0]) & 0x0F) * 4u;
    if (static_cast<size_t>(length) > header && bytes[header] == 8) packet_.assign(bytes, static_cast<size_t>(length));
  }
  close(fd);
}

}  // namespace test_support
