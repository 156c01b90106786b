#include "support/storm_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include <gtest/gtest.h>

#include "support/netns.h"

namespace test_support {
namespace {

constexpr size_t kMaxDatagram = 2048;

/// Pieces that make a mutation reach further into the readers than a random byte would.
const char* const kTokens[] = {
    "<XML_MORVEK>", "</XML_MORVEK>", "<MESSAGE_HEADER Msg_type=\"T\" Msg_code=\"3\" Msg_flag=\"0\"/>",
    "<IPC_SERIALNUMBER SerialNumber=\"", "<DEVICE_TYPE DeviceType=\"NVS", "<LANConfig ", "MacAddress=\"",
    "<MediaStreamConfig><StreamAccess ", "<UserConfig><Account Username=\"", "\"", "<", ">", "/>", "&amp;",
    "&#", "<![CDATA[", "]]>", "<!--"};

}  // namespace

StormPeer::StormPeer(const std::string& netns, const std::string& address, std::uint16_t port,
                     std::vector<std::string> samples, std::uint32_t seed, int perSecond)
    : samples_(std::move(samples)), random_(seed), perSecond_(perSecond) {
  RunInNamespace(netns, [&] { socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); });
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  if (socket_ < 0 || inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1 ||
      connect(socket_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    ADD_FAILURE() << "storm peer cannot reach " << address << ":" << port << " from " << netns;
    return;
  }
  sender_ = std::thread([this] { Send(); });
}

StormPeer::~StormPeer() {
  Stop();
  if (socket_ >= 0) close(socket_);
}

void StormPeer::Stop() {
  stop_ = true;
  if (sender_.joinable()) sender_.join();
}

void StormPeer::Send() {
  using Clock = std::chrono::steady_clock;
  const auto period = perSecond_ > 0 ? std::chrono::microseconds(1000000 / perSecond_) : std::chrono::microseconds(0);
  Clock::time_point next = Clock::now();
  while (!stop_) {
    const std::string datagram = Mutated();
    // A full receiver drops the datagram in its kernel; the sender never waits for it.
    if (::send(socket_, datagram.data(), datagram.size(), MSG_DONTWAIT) >= 0) ++sent_;
    if (perSecond_ == 0) continue;
    next += period;
    std::this_thread::sleep_until(next);  // the pace of the storm, not a wait for anything
  }
}

std::string StormPeer::Mutated() {
  auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); };
  std::string bytes;
  if (samples_.empty() || below(10) == 0) {
    bytes.resize(1 + below(kMaxDatagram));
    for (char& c : bytes) c = static_cast<char>(below(256));
    return bytes;
  }
  bytes = samples_[below(samples_.size())];
  const size_t mutations = 1 + below(8);
  for (size_t m = 0; m < mutations && !bytes.empty(); ++m) {
    const size_t at = below(bytes.size());
    switch (below(5)) {
      case 0:
        bytes[at] = static_cast<char>(below(256));
        break;
      case 1:
        bytes.erase(at, 1 + below(std::min<size_t>(64, bytes.size() - at)));
        break;
      case 2:
        bytes.insert(at, bytes.substr(below(bytes.size()), 1 + below(64)));
        break;
      case 3:
        bytes.insert(at, kTokens[below(std::size(kTokens))]);
        break;
      default:
        bytes.resize(at + 1);
        break;
    }
  }
  if (bytes.empty()) bytes = "<";
  if (bytes.size() > kMaxDatagram) bytes.resize(kMaxDatagram);
  return bytes;
}

}  // namespace test_support
