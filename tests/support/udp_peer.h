// A UDP peer on the far side of a test network: it listens on a port inside a namespace,
// records every datagram with its source and arrival time, and can send datagrams back.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

struct Datagram {
  std::string bytes;
  std::string fromAddress;
  std::uint16_t fromPort;
  std::chrono::steady_clock::time_point arrival;
};

class UdpPeer {
 public:
  /// Binds 0.0.0.0:`port` (with SO_BROADCAST and SO_REUSEADDR) in namespace `netns`.
  UdpPeer(const std::string& netns, std::uint16_t port);
  ~UdpPeer();
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  std::vector<Datagram> Received() const;
  size_t Count() const;
  /// Sends from the peer's own socket.
  void SendTo(const std::string& bytes, const std::string& address, std::uint16_t port);

 private:
  void Receive();

  int socket_ = -1;
  int stopEvent_ = -1;
  mutable std::mutex mutex_;
  std::vector<Datagram> received_;
  std::thread receiver_;
};

}  // namespace test_support

namespace test_support {

/// The receive buffer the host's kernel gives a socket (SO_RCVBUF as the host reports it).
int HostReceiveBuffer(int fd);

}  // namespace test_support
