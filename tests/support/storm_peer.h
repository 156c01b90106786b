// A hostile peer on the far side of a test network. From a thread of its own it sends datagrams
// at one address and port, as fast as it can or at a given rate: camera replies and other samples
// mutated at random (bytes flipped, cut, repeated, spliced with element and attribute names), and
// random bytes.
#pragma once

#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

class StormPeer {
 public:
  /// Starts sending from a socket made in namespace `netns` to `address`:`port`, `perSecond`
  /// datagrams a second or, for 0, as fast as it can. Every datagram holds 1 to 2048 bytes: longer
  /// and empty ones are receive failures that the control answers by pausing, which other tests
  /// cover.
  StormPeer(const std::string& netns, const std::string& address, std::uint16_t port,
            std::vector<std::string> samples, std::uint32_t seed, int perSecond = 0);
  ~StormPeer();
  StormPeer(const StormPeer&) = delete;
  StormPeer& operator=(const StormPeer&) = delete;

  /// Stops sending; the thread has ended when it returns.
  void Stop();
  long Sent() const { return sent_.load(); }

 private:
  void Send();
  std::string Mutated();

  std::vector<std::string> samples_;
  std::mt19937 random_;
  int perSecond_;
  int socket_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<long> sent_{0};
  std::thread sender_;
};

}  // namespace test_support
