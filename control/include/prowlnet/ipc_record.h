// The device record that GetIPCInfo hands out and ModifyIPC takes: 4028 bytes, packed, 32-bit
// little-endian integers, text fields of single-byte characters in the ANSI code page ended by a
// zero. The control keeps its table in this layout, so the offsets below are part of its
// interface: read and write the fields by name, never by position.
#pragma once

#include <cstddef>
#include <cstdint>

namespace prowlnet {

constexpr int kMaxAccounts = 20;
constexpr std::size_t kIpcRecordSize = 4028;

#pragma pack(push, 1)

struct UserAccount {
  char username[40];
  char password[40];
  char group[32];
  char status[8];
};

/// The accounts: `accountCount` of the 20 slots are used (a camera may claim more).
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
static_assert(offsetof(UserAccount, username) == 0);
static_assert(offsetof(UserAccount, password) == 40);
static_assert(offsetof(UserAccount, group) == 80);
static_assert(offsetof(UserAccount, status) == 112);

static_assert(sizeof(UserCfg) == 2404);
static_assert(offsetof(UserCfg, accountCount) == 0);
static_assert(offsetof(UserCfg, accounts) == 4);

static_assert(sizeof(MediaStreamCfg) == 20);
static_assert(offsetof(MediaStreamCfg, auth) == 0);
static_assert(offsetof(MediaStreamCfg, videoPort) == 4);
static_assert(offsetof(MediaStreamCfg, rtpOverRtsp) == 8);
static_assert(offsetof(MediaStreamCfg, ptzPort) == 12);
static_assert(offsetof(MediaStreamCfg, webPort) == 16);

static_assert(sizeof(LANCfg) == 1540);
static_assert(offsetof(LANCfg, macAddress) == 0);
static_assert(offsetof(LANCfg, dhcp) == 256);
static_assert(offsetof(LANCfg, ipAddress) == 260);
static_assert(offsetof(LANCfg, netmask) == 516);
static_assert(offsetof(LANCfg, gateway) == 772);
static_assert(offsetof(LANCfg, dns1) == 1028);
static_assert(offsetof(LANCfg, dns2) == 1284);

static_assert(sizeof(IpcInfo) == kIpcRecordSize);
static_assert(offsetof(IpcInfo, serialNumber) == 0);
static_assert(offsetof(IpcInfo, deviceType) == 32);
static_assert(offsetof(IpcInfo, user) == 64);
static_assert(offsetof(IpcInfo, stream) == 2468);
static_assert(offsetof(IpcInfo, lan) == 2488);

}  // namespace prowlnet
