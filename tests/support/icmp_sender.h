// ICMP peers for probing tests: one that keeps sending one message from a chosen address of its
// namespace (a foreign echo reply, or a message of another type from the target itself), and
// one that captures the echo request that arrives.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace test_support {

class IcmpSender {
 public:
  /// Sends `icmp` (the ICMP message; the kernel adds the IP header) from `from` to `to` every
  /// 20 ms, inside namespace `netns`, until destroyed. `from` must be an address of that namespace.
  IcmpSender(const std::string& netns, const std::string& from, const std::string& to, std::string icmp);
  ~IcmpSender();
  IcmpSender(const IcmpSender&) = delete;
  IcmpSender& operator=(const IcmpSender&) = delete;

  /// An ICMP message of `type` with a correct checksum and `payload` bytes of data.
  static std::string Message(unsigned char type, size_t payload);

 private:
  std::atomic<bool> stop_{false};
  std::thread sender_;
};

/// The first ICMP echo request that reaches namespace `netns` within `timeout`, as the kernel
/// there hands it to a raw socket (IP header included).
class EchoRequestCapture {
 public:
  /// Returns once the capture listens.
  EchoRequestCapture(const std::string& netns, std::chrono::milliseconds timeout);
  ~EchoRequestCapture();
  EchoRequestCapture(const EchoRequestCapture&) = delete;
  EchoRequestCapture& operator=(const EchoRequestCapture&) = delete;

  /// Waits for the capture to end; the packet, or empty if none came.
  std::string Take();

 private:
  void Capture(const std::string& netns, std::chrono::milliseconds timeout);

  std::atomic<bool> listening_{false};
  std::string packet_;
  std::thread capturer_;
};

}  // namespace test_support
