#include "camera_record.h"

#include <algorithm>
#include <cstring>

#include "pal/host_kit.h"

namespace prowlnet_cli {
namespace {

constexpr size_t kAccountCount = 64;
constexpr size_t kAccounts = 68;
constexpr size_t kAccountSize = 120;
constexpr int kMaxAccounts = 20;
// Offsets within the LAN section.
constexpr size_t kDhcp = 256;
constexpr size_t kAddress = 260;
constexpr size_t kNetmask = 516;
constexpr size_t kGateway = 772;
constexpr size_t kDns1 = 1028;
constexpr size_t kDns2 = 1284;
constexpr size_t kLanText = 256;

}  // namespace

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

std::string CameraRecord::Text(size_t offset, size_t size) const {
  const char* field = reinterpret_cast<const char*>(bytes_.data() + offset);
  return Utf8FromAnsi(std::string(field, strnlen(field, size)));
}

void CameraRecord::SetText(size_t offset, size_t size, const std::string& utf8) {
  const std::string ansi = AnsiFromUtf8(utf8);
  std::memset(bytes_.data() + offset, 0, size);
  std::memcpy(bytes_.data() + offset, ansi.data(), std::min(ansi.size(), size - 1));
}

int CameraRecord::Integer(size_t offset) const {
  std::int32_t value;
  std::memcpy(&value, bytes_.data() + offset, sizeof value);
  return value;
}

void CameraRecord::SetInteger(size_t offset, int value) {
  const std::int32_t stored = value;
  std::memcpy(bytes_.data() + offset, &stored, sizeof stored);
}

LanSettings CameraRecord::Lan() const {
  return LanSettings{Text(kLan + kAddress, kLanText), Text(kLan + kNetmask, kLanText), Text(kLan + kGateway, kLanText),
                     Text(kLan + kDns1, kLanText),    Text(kLan + kDns2, kLanText),    Integer(kLan + kDhcp)};
}

std::vector<Account> CameraRecord::Accounts() const {
  const int count = std::clamp(Integer(kAccountCount), 0, kMaxAccounts);
  std::vector<Account> accounts;
  for (int i = 0; i < count; ++i) {
    const size_t slot = kAccounts + kAccountSize * static_cast<size_t>(i);
    accounts.push_back({Text(slot, 40), Text(slot + 40, 40), Text(slot + 80, 32), Text(slot + 112, 8)});
  }
  return accounts;
}

CameraRecord CameraRecord::WithLan(const LanSettings& lan) const {
  CameraRecord changed = *this;
  changed.SetText(kLan + kAddress, kLanText, lan.ipAddress);
  changed.SetText(kLan + kNetmask, kLanText, lan.netmask);
  changed.SetText(kLan + kGateway, kLanText, lan.gateway);
  changed.SetText(kLan + kDns1, kLanText, lan.dns1);
  changed.SetText(kLan + kDns2, kLanText, lan.dns2);
  changed.SetInteger(kLan + kDhcp, lan.dhcp);
  return changed;
}

CameraRecord CameraRecord::WithoutDeviceType() const {
  CameraRecord changed = *this;
  changed.SetText(32, 32, "");
  return changed;
}

}  // namespace prowlnet_cli
