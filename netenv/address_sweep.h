// Many addresses probed at once, with the judgement of the free address finder: an address that
// answers an ICMP echo request, or whose ARP entry the requests made the cache learn, is in use.
// Where the finder probes one candidate after another (5 attempts of 100 ms each), the sweep sends
// each round of echo requests to every address together, so a range costs about as much as one.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace prowlnet {

/// How many addresses one socket sends to: the requests to an address whose link-layer address
/// is still being resolved wait in the kernel, charged to the socket's send buffer, until ARP
/// answers or gives up (3 s); 64 of them stay far below the buffer, so a send never blocks.
constexpr int kSweepTargetsPerSocket = 64;
/// How many addresses are probed together at most (the rest follow in further sweeps): each
/// unresolved one holds an entry of the neighbour table, which holds 1024 by default.
constexpr int kSweepWindow = 512;

/// Probes every address of `targets` (network byte order) together: 5 rounds of echo requests
/// 100 ms apart, each reply matched to its sender, then one look at the ARP cache. A round after
/// the first goes only to the addresses that have not answered and are not waiting for ARP: the
/// first request to such an address still waits in the kernel's queue and leaves when ARP
/// answers, so another would add nothing on the wire. Gives the targets in use: those that
/// answered an echo request, those the ARP cache learnt, and those a request could not be sent
/// to (they cannot be vouched for). Nothing when no ICMP socket can be opened (CanProbe). Starts
/// the socket library for the call.
std::optional<std::vector<std::uint32_t>> AddressesInUse(const std::vector<std::uint32_t>& targets);

}  // namespace prowlnet
