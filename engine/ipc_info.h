// The record kept for one camera. Its byte layout is also the buffer format that GetIPCInfo and
// ModifyIPC pass across the automation interface, so it is fixed to the byte: packed, 4028 bytes,
// 32-bit little-endian integers, text fields of single-byte characters ended by a zero.
#pragma once

#include <cstddef>
#include <cstdint>

namespace prowlnet {

constexpr int kMaxAccounts = 20;

#pragma pack(push, 1)

struct UserAccount {
  char username[40];
  char password[40];
  char group[32];
  char status[8];
};

struct UserCfg {
  std::int32_t accountCount;
  UserAccount accounts[kMaxAccounts];
};

struct MediaStreamCfg {
  std::int32_t auth;
  std::int32_t videoPort;
  std::int32_t rtpOverRtsp;
  std::int32_t ptzPort;
  std::int32_t webPort;
};

struct LANCfg {
  char macAddress[256];
  std::int32_t dhcp;
  char ipAddress[256];
  char netmask[256];
  char gateway[256];
  char dns1[256];
  char dns2[256];
};

struct IpcInfo {
  char serialNumber[32];
  char deviceType[32];
  UserCfg user;
  MediaStreamCfg stream;
  LANCfg lan;
};

#pragma pack(pop)

static_assert(sizeof(UserAccount) == 120);
static_assert(sizeof(UserCfg) == 2404);
static_assert(sizeof(MediaStreamCfg) == 20);
static_assert(sizeof(LANCfg) == 1540);
static_assert(sizeof(IpcInfo) == 4028);
static_assert(offsetof(IpcInfo, deviceType) == 32);
static_assert(offsetof(IpcInfo, user) == 64);
static_assert(offsetof(IpcInfo, user) + offsetof(UserCfg, accounts) == 68);
static_assert(offsetof(IpcInfo, stream) == 2468);
static_assert(offsetof(IpcInfo, stream) + offsetof(MediaStreamCfg, webPort) == 2484);
static_assert(offsetof(IpcInfo, lan) == 2488);
static_assert(offsetof(IpcInfo, lan) + offsetof(LANCfg, dhcp) == 2744);
static_assert(offsetof(IpcInfo, lan) + offsetof(LANCfg, ipAddress) == 2748);
static_assert(offsetof(IpcInfo, lan) + offsetof(LANCfg, netmask) == 3004);
static_assert(offsetof(IpcInfo, lan) + offsetof(LANCfg, gateway) == 3260);
static_assert(offsetof(IpcInfo, lan) + offsetof(LANCfg, dns1) == 3516);
static_assert(offsetof(IpcInfo, lan) + offsetof(LANCfg, dns2) == 3772);

}  // namespace prowlnet
