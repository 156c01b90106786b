// The host's own network parameters: the HostNetInfo block, filling it from IP Helper, and the
// load rule by which every reader refreshes it. The block is shared between threads: every call
// here takes the lock that guards it.
#pragma once

#include "pal/kernel32.h"

namespace prowlnet {

/// The host's own network parameters as dotted-quad text; an empty string means not loaded.
struct HostNetInfo {
  static constexpr int kCount = 5;
  static constexpr int kSize = 32;
  enum Index { kAddress = 0, kNetmask = 1, kGateway = 2, kDns1 = 3, kDns2 = 4 };

  char values[kCount][kSize] = {};

  void Clear() {
    for (auto& value : values) value[0] = '\0';
  }
};

/// Fills `block`: the DNS entries from GetNetworkParams, then the gateway, address and netmask
/// from the adapter that carries the kernel's route toward a fixed public address (nothing is
/// sent to it) or, when none does (a host without a default route), from the first adapter in
/// the platform's order that has an IPv4 address (its gateway reads "0.0.0.0" then). Returns 1
/// once those three are written; -1 when a list query failed or no adapter has an address,
/// leaving them as they were. The queries run without `lock`; each group of entries is written
/// under it.
int LoadHostNetInfo(HostNetInfo& block, CRITICAL_SECTION& lock);

/// The load rule: whether both the address and the gateway are non-empty.
bool HostNetInfoLoaded(const HostNetInfo& block, CRITICAL_SECTION& lock);

/// Calls LoadHostNetInfo when the block does not count as loaded.
void LoadHostNetInfoIfNeeded(HostNetInfo& block, CRITICAL_SECTION& lock);

/// Copies entry `index` (HostNetInfo::Index) out of the block, whole.
void ReadHostNetEntry(const HostNetInfo& block, CRITICAL_SECTION& lock, int index, char (&value)[HostNetInfo::kSize]);

}  // namespace prowlnet
