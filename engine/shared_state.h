// The data that the host's thread and the search thread share: the device table and the host
// network block, with the one lock that guards them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/ipc_info.h"
#include "engine/text_field.h"
#include "netenv/host_net_info.h"
#include "pal/kernel32.h"
#include "pal/winsock2.h"

namespace prowlnet {

/// The devices found in the current run, in order of first sighting, keyed by serial number.
/// Slots 0 to count - 1 hold records; records are freed only all at once.
struct DeviceTable {
  static constexpr int kCapacity = 1000;

  std::array<std::unique_ptr<IpcInfo>, kCapacity> slots;
  std::int32_t count = 0;

  void Clear() {
    for (auto& slot : slots) slot.reset();
    count = 0;
  }
};

/// Addresses handed to devices by modifications, in network byte order; 0 marks a free slot.
/// A record's LAN address as the address book and the finder compare it: converted unchecked,
/// never read past its field.
inline std::uint32_t LanAddressOf(const LANCfg& lan) { return ws2::inet_addr(FieldText(lan.ipAddress).c_str()); }

/// Used on the host's thread only.
struct AssignedAddressTable {
  static constexpr int kCapacity = 255;
  std::array<std::uint32_t, kCapacity> addresses = {};

  /// Frees the first slot holding `address`, if one does.
  void Release(std::uint32_t address) {
    for (auto& slot : addresses) {
      if (slot == address) {
        slot = 0;
        return;
      }
    }
  }
  /// Books `address` in the first free slot; when none is free it is not recorded.
  void Enter(std::uint32_t address) {
    for (auto& slot : addresses) {
      if (slot == 0) {
        slot = address;
        return;
      }
    }
  }
  bool Holds(std::uint32_t address) const {
    for (std::uint32_t slot : addresses)
      if (slot == address) return true;
    return false;
  }
};

/// What a control object shares with its search thread. Both hold a reference, so that a thread
/// that had to be abandoned still finds its own state, and no longer the object's, after the
/// object has moved on to a fresh one.
class SharedState {
 public:
  SharedState() { InitializeCriticalSection(&lock); }
  ~SharedState() { DeleteCriticalSection(&lock); }
  SharedState(const SharedState&) = delete;
  SharedState& operator=(const SharedState&) = delete;

  /// The running flag: written by the host's thread, read afresh at every check of the thread.
  std::atomic<int> running{0};

  /// Guards `table` and `netInfo`; held only for copies, never across a platform call that waits.
  CRITICAL_SECTION lock;
  DeviceTable table;
  HostNetInfo netInfo;
};

/// Whether some device in the table has `address` (network byte order) as its LAN address.
inline bool DeviceHasAddress(SharedState& shared, std::uint32_t address) {
  CriticalSectionLock lock(shared.lock);
  const DeviceTable& table = shared.table;
  for (int i = 0; i < table.count; ++i) {
    if (LanAddressOf(table.slots[static_cast<size_t>(i)]->lan) == address) return true;
  }
  return false;
}

}  // namespace prowlnet
