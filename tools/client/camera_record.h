// A camera as the control hands it out: the record of GetIPCInfo and ModifyIPC
// (prowlnet/ipc_record.h), read and edited by its fields. Texts in the record are in the ANSI
// code page; this view gives and takes UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "prowlnet/ipc_record.h"

namespace prowlnet_client {

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
  explicit CameraRecord(const prowlnet::IpcInfo& record) : record_(record) {}

  std::string SerialNumber() const { return Text(record_.serialNumber); }
  std::string DeviceType() const { return Text(record_.deviceType); }
  std::string MacAddress() const { return Text(record_.lan.macAddress); }
  LanSettings Lan() const;
  int VideoPort() const { return record_.stream.videoPort; }
  int WebPort() const { return record_.stream.webPort; }
  int PtzPort() const { return record_.stream.ptzPort; }
  int Auth() const { return record_.stream.auth; }
  int RtpOverRtsp() const { return record_.stream.rtpOverRtsp; }
  /// The counted accounts, at most the record's 20 slots.
  std::vector<Account> Accounts() const;

  /// A copy with `lan` in place of the LAN settings (the MAC address kept).
  CameraRecord WithLan(const LanSettings& lan) const;
  /// A copy with an empty device type. Every reply of a camera writes a type (its own, or the
  /// default model's), so an empty one shows that no reply has refreshed the record since.
  CameraRecord WithoutDeviceType() const;
  /// Whether a reply of the camera wrote this record: its device type is not empty.
  bool RefreshedByReply() const { return record_.deviceType[0] != '\0'; }

  const prowlnet::IpcInfo& record() const { return record_; }

 private:
  template <std::size_t N>
  static std::string Text(const char (&field)[N]) {
    return FieldText(field, N);
  }
  template <std::size_t N>
  static void SetText(char (&field)[N], const std::string& utf8) {
    SetFieldText(field, N, utf8);
  }
  static std::string FieldText(const char* field, std::size_t size);
  static void SetFieldText(char* field, std::size_t size, const std::string& utf8);

  prowlnet::IpcInfo record_;
};

/// UTF-8 for text in the ANSI code page, and back.
std::string Utf8FromAnsi(const std::string& ansi);
std::string AnsiFromUtf8(const std::string& utf8);

}  // namespace prowlnet_client
