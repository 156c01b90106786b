#include "client/camera_record.h"

#include <algorithm>
#include <cstring>

#include "pal/host_kit.h"

namespace prowlnet_client {

std::string Utf8FromAnsi(const std::string& ansi) {
  if (ansi.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::u16string wide(static_cast<size_t>(std::max(length, 0)), u'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), length);
  return pal::Utf8FromBstr(ATL::CComBSTR(static_cast<int>(wide.size()), wide.data()));
}

std::string AnsiFromUtf8(const std::string& utf8) {
  const ATL::CComBSTR wide = pal::BstrFromUtf8(utf8);
  const int length = static_cast<int>(wide.Length());
  if (length == 0) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<size_t>(std::max(size, 0)), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, length, ansi.data(), size, nullptr, nullptr);
  return ansi;
}

std::string CameraRecord::FieldText(const char* field, std::size_t size) {
  return Utf8FromAnsi(std::string(field, strnlen(field, size)));
}

void CameraRecord::SetFieldText(char* field, std::size_t size, const std::string& utf8) {
  const std::string ansi = AnsiFromUtf8(utf8);
  std::memset(field, 0, size);
  std::memcpy(field, ansi.data(), std::min(ansi.size(), size - 1));
}

LanSettings CameraRecord::Lan() const {
  const prowlnet::LANCfg& lan = record_.lan;
  return LanSettings{Text(lan.ipAddress), Text(lan.netmask), Text(lan.gateway), Text(lan.dns1), Text(lan.dns2), lan.dhcp};
}

std::vector<Account> CameraRecord::Accounts() const {
  const int claimed = record_.user.accountCount;  // a copy: the packed field takes no reference
  const int count = std::clamp(claimed, 0, prowlnet::kMaxAccounts);
  std::vector<Account> accounts;
  for (int i = 0; i < count; ++i) {
    const prowlnet::UserAccount& slot = record_.user.accounts[i];
    accounts.push_back({Text(slot.username), Text(slot.password), Text(slot.group), Text(slot.status)});
  }
  return accounts;
}

CameraRecord CameraRecord::WithLan(const LanSettings& lan) const {
  CameraRecord changed = *this;
  prowlnet::LANCfg& fields = changed.record_.lan;
  SetText(fields.ipAddress, lan.ipAddress);
  SetText(fields.netmask, lan.netmask);
  SetText(fields.gateway, lan.gateway);
  SetText(fields.dns1, lan.dns1);
  SetText(fields.dns2, lan.dns2);
  fields.dhcp = lan.dhcp;
  return changed;
}

CameraRecord CameraRecord::WithoutDeviceType() const {
  CameraRecord changed = *this;
  SetText(changed.record_.deviceType, "");
  return changed;
}

}  // namespace prowlnet_client
