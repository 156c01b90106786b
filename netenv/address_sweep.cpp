#include "netenv/address_sweep.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>
#include <unordered_set>

#include "netenv/arp_cache.h"
#include "netenv/icmp_probe.h"
#include "netenv/icmp_socket.h"

namespace prowlnet {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kEchoReply = 0;
constexpr auto kRoundSpacing = std::chrono::microseconds(kProbeWaitMicroseconds);

/// One sweep of at most kSweepWindow distinct addresses.
class Sweep {
 public:
  explicit Sweep(const std::vector<std::uint32_t>& addresses);

  /// Opens a socket for every kSweepTargetsPerSocket addresses; false when not even the first
  /// opens. The addresses of a later socket that does not open count as failed.
  bool OpenSockets();
  void Run();
  std::vector<std::uint32_t> InUse() const;

 private:
  enum class State { kSilent, kAnswered, kFailed };
  struct Target {
    std::uint32_t address;
    State state = State::kSilent;
  };

  void SendRound(int n);
  /// Reads replies until `end`; false when waiting failed (every silent address then counts as
  /// failed).
  bool ReceiveUntil(Clock::time_point end);
  void ReceiveOne(const IcmpSocket& socket);
  bool AnySilent() const;

  std::vector<Target> targets_;
  std::unordered_map<std::uint32_t, size_t> byAddress_;
  std::vector<std::optional<IcmpSocket>> sockets_;
};

Sweep::Sweep(const std::vector<std::uint32_t>& addresses) {
  for (std::uint32_t address : addresses) {
    byAddress_.emplace(address, targets_.size());
    targets_.push_back({address});
  }
}

bool Sweep::OpenSockets() {
  const size_t count = (targets_.size() + kSweepTargetsPerSocket - 1) / kSweepTargetsPerSocket;
  for (size_t i = 0; i < count; ++i) {
    sockets_.push_back(IcmpSocket::Open());
    if (i == 0 && !sockets_.front()) return false;
  }
  return true;
}

void Sweep::Run() {
  const Clock::time_point start = Clock::now();
  for (int n = 0; n < kProbeAttempts && AnySilent(); ++n) {
    SendRound(n);
    if (!ReceiveUntil(start + kRoundSpacing * (n + 1))) return;
  }
}

void Sweep::SendRound(int n) {
  // The first round goes to every address; an empty snapshot holds nothing unresolved.
  const ArpSnapshot arp = n == 0 ? ArpSnapshot() : ArpSnapshot::Read();
  for (size_t i = 0; i < targets_.size(); ++i) {
    Target& target = targets_[i];
    if (target.state != State::kSilent || arp.Unresolved(target.address)) continue;
    const std::optional<IcmpSocket>& socket = sockets_[i / kSweepTargetsPerSocket];
    if (!socket || !socket->SendEchoRequest(target.address, static_cast<std::uint16_t>(n))) target.state = State::kFailed;
  }
}

bool Sweep::ReceiveUntil(Clock::time_point end) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now());
    if (left.count() <= 0 || !AnySilent()) return true;
    ws2::fd_set readable;
    FD_ZERO(&readable);
    for (const std::optional<IcmpSocket>& socket : sockets_)
      if (socket) FD_SET(socket->handle(), &readable);
    const timeval wait{static_cast<long>(left.count() / 1000000), static_cast<long>(left.count() % 1000000)};
    const int ready = ws2::select(0, &readable, nullptr, nullptr, &wait);
    if (ready < 0) {
      for (Target& target : targets_)
        if (target.state == State::kSilent) target.state = State::kFailed;
      return false;
    }
    for (const std::optional<IcmpSocket>& socket : sockets_)
      if (socket && FD_ISSET(socket->handle(), &readable)) ReceiveOne(*socket);
  }
}

void Sweep::ReceiveOne(const IcmpSocket& socket) {
  std::uint8_t packet[kProbeReceiveSize];
  std::uint32_t from = 0;
  const int length = socket.Receive(packet, &from);
  if (length <= 0) return;  // an ICMP packet too long for the buffer is no echo reply of ours
  const IcmpView view = ViewOf(socket.kind(), packet, from);
  if (length < view.headerLength + 8 || packet[view.headerLength] != kEchoReply) return;
  const auto found = byAddress_.find(view.sender);
  if (found != byAddress_.end() && targets_[found->second].state == State::kSilent)
    targets_[found->second].state = State::kAnswered;
}

bool Sweep::AnySilent() const {
  return std::any_of(targets_.begin(), targets_.end(), [](const Target& t) { return t.state == State::kSilent; });
}

std::vector<std::uint32_t> Sweep::InUse() const {
  const ArpSnapshot arp = ArpSnapshot::Read();
  std::vector<std::uint32_t> inUse;
  for (const Target& target : targets_) {
    if (target.state != State::kSilent || arp.Learnt(target.address)) inUse.push_back(target.address);
  }
  return inUse;
}

}  // namespace

std::optional<std::vector<std::uint32_t>> AddressesInUse(const std::vector<std::uint32_t>& targets) {
  const SocketLibrary library;
  std::vector<std::uint32_t> distinct;
  std::unordered_set<std::uint32_t> seen;
  for (std::uint32_t address : targets)
    if (seen.insert(address).second) distinct.push_back(address);

  std::vector<std::uint32_t> inUse;
  for (size_t from = 0; from < distinct.size(); from += kSweepWindow) {
    const size_t to = std::min(distinct.size(), from + kSweepWindow);
    Sweep sweep({distinct.begin() + static_cast<long>(from), distinct.begin() + static_cast<long>(to)});
    if (!sweep.OpenSockets()) return std::nullopt;
    sweep.Run();
    const std::vector<std::uint32_t> window = sweep.InUse();
    inUse.insert(inUse.end(), window.begin(), window.end());
  }
  return inUse;
}

}  // namespace prowlnet
