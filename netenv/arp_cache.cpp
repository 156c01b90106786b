#include "netenv/arp_cache.h"

#include <vector>

#include "pal/iphlpapi.h"

namespace prowlnet {
namespace {

/// The table by the buffer protocol, in whole rows; empty when it is empty or unreadable. The
/// table can grow between the two calls, so the size is asked again a few times.
std::vector<MIB_IPNETROW> ArpRows() {
  constexpr int kAttempts = 3;
  std::vector<MIB_IPNETTABLE> storage(1);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    ULONG size = static_cast<ULONG>(storage.size() * sizeof(MIB_IPNETTABLE));
    const DWORD result = GetIpNetTable(storage.data(), &size, FALSE);
    if (result == ERROR_SUCCESS) {
      const MIB_IPNETROW* rows = storage.front().table;  // the rows run on past the declared one
      return std::vector<MIB_IPNETROW>(rows, rows + storage.front().dwNumEntries);
    }
    if (result != ERROR_INSUFFICIENT_BUFFER) break;
    storage.assign((size + sizeof(MIB_IPNETTABLE) - 1) / sizeof(MIB_IPNETTABLE), MIB_IPNETTABLE{});
  }
  return {};
}

}  // namespace

ArpSnapshot ArpSnapshot::Read() {
  ArpSnapshot snapshot;
  for (const MIB_IPNETROW& row : ArpRows()) {
    const bool learnt = row.dwType == MIB_IPNET_TYPE_DYNAMIC && row.dwPhysAddrLen > 0;
    if (learnt) {
      snapshot.states_[row.dwAddr] = State::kLearnt;
    } else if (row.dwType == MIB_IPNET_TYPE_INVALID) {
      snapshot.states_.try_emplace(row.dwAddr, State::kUnresolved);  // another card may have learnt it
    }
  }
  return snapshot;
}

bool ArpSnapshot::Learnt(std::uint32_t address) const {
  const auto found = states_.find(address);
  return found != states_.end() && found->second == State::kLearnt;
}

bool ArpSnapshot::Unresolved(std::uint32_t address) const {
  const auto found = states_.find(address);
  return found != states_.end() && found->second == State::kUnresolved;
}

bool AnsweredArp(std::uint32_t address) { return ArpSnapshot::Read().Learnt(address); }

}  // namespace prowlnet
