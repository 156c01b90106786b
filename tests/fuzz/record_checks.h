// Checks on device records that the engine's fuzz targets share.
#pragma once

#include "engine/ipc_info.h"
#include "fuzz_input.h"

namespace fuzz {

inline bool LanIsWhole(const prowlnet::LANCfg& lan) {
  return Terminated(lan.macAddress) && Terminated(lan.ipAddress) && Terminated(lan.netmask) &&
         Terminated(lan.gateway) && Terminated(lan.dns1) && Terminated(lan.dns2);
}

inline bool UserIsWhole(const prowlnet::UserCfg& user) {
  if (user.accountCount < 0 || user.accountCount > prowlnet::kMaxAccounts) return false;
  for (const prowlnet::UserAccount& account : user.accounts) {
    if (!Terminated(account.username) || !Terminated(account.password) || !Terminated(account.group) ||
        !Terminated(account.status))
      return false;
  }
  return true;
}

/// Every text field of the record terminated and the account count within its slots.
inline bool RecordIsWhole(const prowlnet::IpcInfo& record) {
  return Terminated(record.serialNumber) && Terminated(record.deviceType) && LanIsWhole(record.lan) &&
         UserIsWhole(record.user);
}

}  // namespace fuzz
