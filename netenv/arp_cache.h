// What the ARP cache knows of an address: a probed address that drops ICMP echo still answers
// the ARP requests that sending the probes made, and the cache keeps its answer.
#pragma once

#include <cstdint>
#include <unordered_map>

namespace prowlnet {

/// The ARP cache as read at one moment. Nothing is sent.
class ArpSnapshot {
 public:
  /// Reads the whole cache; empty when it cannot be read.
  static ArpSnapshot Read();

  /// Whether an entry holds a link-layer address that `address` (network byte order) gave,
  /// reachable or stale: a dynamic entry.
  bool Learnt(std::uint32_t address) const;
  /// Whether the address is being resolved, or its resolution failed, and no entry learnt it:
  /// what is sent to it waits in the kernel for the link-layer address, or is dropped.
  bool Unresolved(std::uint32_t address) const;

 private:
  enum class State { kLearnt, kUnresolved };
  std::unordered_map<std::uint32_t, State> states_;
};

/// Whether the ARP cache has learnt `address` (ArpSnapshot::Learnt). False when the cache cannot
/// be read.
bool AnsweredArp(std::uint32_t address);

}  // namespace prowlnet
