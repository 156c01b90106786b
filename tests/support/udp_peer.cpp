#include "support/udp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "support/netns.h"

namespace test_support {

UdpPeer::UdpPeer(const std::string& netns, std::uint16_t port) {
  stopEvent_ = eventfd(0, EFD_CLOEXEC);
  // The socket belongs to the namespace it is made in, whichever thread uses it afterwards.
  RunInNamespace(netns, [&] {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const int big = 8 << 20;
    setsockopt(socket_, SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      close(socket_);
      socket_ = -1;
    }
  });
  if (socket_ < 0 || stopEvent_ < 0) {
    ADD_FAILURE() << "peer cannot bind port " << port << " in " << netns;
    return;
  }
  receiver_ = std::thread([this] { Receive(); });
}

UdpPeer::~UdpPeer() {
  if (receiver_.joinable()) {
    const std::uint64_t one = 1;
    (void)!write(stopEvent_, &one, sizeof one);
    receiver_.join();
  }
  if (socket_ >= 0) close(socket_);
  if (stopEvent_ >= 0) close(stopEvent_);
}

void UdpPeer::Receive() {
  std::vector<char> buffer(65536);
  for (;;) {
    pollfd waits[2] = {{socket_, POLLIN, 0}, {stopEvent_, POLLIN, 0}};
    if (poll(waits, 2, -1) < 0) continue;
    if (waits[1].revents != 0) return;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t n = recvfrom(socket_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) continue;
    char address[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
    std::lock_guard lock(mutex_);
    received_.push_back(Datagram{std::string(buffer.data(), static_cast<size_t>(n)), address, ntohs(from.sin_port),
                                 std::chrono::steady_clock::now()});
  }
}

std::vector<Datagram> UdpPeer::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

size_t UdpPeer::Count() const {
  std::lock_guard lock(mutex_);
  return received_.size();
}

void UdpPeer::SendTo(const std::string& bytes, const std::string& address, std::uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = AddressOf(address);
  const ssize_t sent = sendto(socket_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  ASSERT_EQ(sent, static_cast<ssize_t>(bytes.size())) << "peer send failed";
}

}  // namespace test_support

namespace test_support {

int HostReceiveBuffer(int fd) {
  int size = 0;
  socklen_t length = sizeof size;
  getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &length);
  return size;
}

}  // namespace test_support
