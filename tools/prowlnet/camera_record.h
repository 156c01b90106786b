// A camera as the control hands it out: the 4028-byte record of GetIPCInfo and ModifyIPC, read and
// edited at the offsets of its published byte layout. Texts in the record are in the ANSI code
// page; this view gives and takes UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "prowlnet/icprowlnet.h"

namespace prowlnet_cli {

struct Account {
  std::string username;
  std::string password;
  std::string group;
  std::string status;
};

/// The LAN settings that a change can carry.
struct LanSettings {
  std::string ipAddress;
  std::string netmask;
  std::string gateway;
  std::string dns1;
  std::string dns2;
  int dhcp = 0;

  bool operator==(const LanSettings&) const = default;
};

class CameraRecord {
 public:
  using Bytes = std::array<BYTE, kProwlnetRecordSize>;

  explicit CameraRecord(const Bytes& bytes) : bytes_(bytes) {}

  std::string SerialNumber() const { return Text(0, 32); }
  std::string DeviceType() const { return Text(32, 32); }
  std::string MacAddress() const { return Text(kLan, 256); }
  LanSettings Lan() const;
  int VideoPort() const { return Integer(2472); }
  int WebPort() const { return Integer(2484); }
  int PtzPort() const { return Integer(2480); }
  int Auth() const { return Integer(2468); }
  int RtpOverRtsp() const { return Integer(2476); }
  /// The counted accounts, at most the record's 20 slots.
  std::vector<Account> Accounts() const;

  /// A copy with `lan` in place of the LAN settings (the MAC address kept).
  CameraRecord WithLan(const LanSettings& lan) const;
  /// A copy with an empty device type. Every reply of a camera writes a type (its own, or the
  /// default model's), so an empty one shows that no reply has refreshed the record since.
  CameraRecord WithoutDeviceType() const;

  const Bytes& bytes() const { return bytes_; }
  Bytes& bytes() { return bytes_; }

 private:
  static constexpr size_t kLan = 2488;

  std::string Text(size_t offset, size_t size) const;
  void SetText(size_t offset, size_t size, const std::string& utf8);
  int Integer(size_t offset) const;
  void SetInteger(size_t offset, int value);

  Bytes bytes_;
};

/// UTF-8 for text in the ANSI code page, and back.
std::string Utf8FromAnsi(const std::string& ansi);
std::string AnsiFromUtf8(const std::string& utf8);

}  // namespace prowlnet_cli
