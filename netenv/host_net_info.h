// The host's own network parameters: filling the HostNetInfo block from IP Helper, and the load
// rule by which every reader refreshes it.
#pragma once

#include "engine/shared_state.h"

namespace prowlnet {

/// Fills the block: the DNS entries from GetNetworkParams, then the gateway, address and netmask
/// from the adapter that carries the kernel's route toward a fixed public address (nothing is
/// sent to it). Returns 1 once those three are written; -1 when a list query failed or no adapter
/// carries that route (a host without a default route), leaving them as they were. The queries
/// run without the block's lock; each group of entries is written under it.
int LoadHostNetInfo(SharedState& shared);

/// The load rule: whether both the address and the gateway are non-empty.
bool HostNetInfoLoaded(SharedState& shared);

/// Calls LoadHostNetInfo when the block does not count as loaded.
void LoadHostNetInfoIfNeeded(SharedState& shared);

/// Copies entry `index` (HostNetInfo::Index) out of the block, whole.
void ReadHostNetEntry(SharedState& shared, int index, char (&value)[HostNetInfo::kSize]);

}  // namespace prowlnet
