// What the ARP cache knows of an address: a probed address that drops ICMP echo still answers
// the ARP requests that sending the probes made, and the cache keeps its answer.
#pragma once

#include <cstdint>

namespace prowlnet {

/// Whether the ARP cache holds a link-layer address that `address` (network byte order) gave,
/// reachable or stale: a dynamic entry. Nothing is sent. False when the cache cannot be read.
bool AnsweredArp(std::uint32_t address);

}  // namespace prowlnet
