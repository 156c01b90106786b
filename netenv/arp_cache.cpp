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

bool AnsweredArp(std::uint32_t address) {
  for (const MIB_IPNETROW& row : ArpRows()) {
    if (row.dwAddr == address && row.dwType == MIB_IPNET_TYPE_DYNAMIC && row.dwPhysAddrLen > 0) return true;
  }
  return false;
}

}  // namespace prowlnet
