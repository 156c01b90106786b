// A peer that keeps sending one ICMP message from a chosen address of its namespace, for
// probing tests: a foreign echo reply, or a message of another type from the target itself.
#pragma once

#include <atomic>
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

}  // namespace test_support
