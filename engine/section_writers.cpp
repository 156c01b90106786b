// The writers of the three configuration sections and of the IPC_INFO document. Each fills a
// buffer of fixed size piece by piece; a text that would not fit is cut at the buffer's last
// byte and stays terminated.
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/config_sections.h"

namespace prowlnet {
namespace {

/// A text of at most `size` - 1 characters, always terminated, built by appending pieces.
class BoundedText {
 public:
  explicit BoundedText(size_t size) : buffer_(new (std::nothrow) char[size]), size_(size) {
    if (buffer_ != nullptr) buffer_[0] = '\0';
  }

  bool ok() const { return buffer_ != nullptr; }

  BoundedText& Text(const char* literal) {
    Put(literal, std::strlen(literal));
    return *this;
  }

  BoundedText& Number(int value) {
    char digits[16];
    const int length = std::snprintf(digits, sizeof digits, "%d", value);
    Put(digits, static_cast<size_t>(length));
    return *this;
  }

  /// A text field written as an attribute value: never read past the field, and &, < and "
  /// escaped so that the value reads back as stored. Every other character is written as is.
  BoundedText& Value(const char* field, size_t fieldSize) {
    const size_t length = strnlen(field, fieldSize);
    size_t plainFrom = 0;
    for (size_t i = 0; i < length; ++i) {
      const char* entity = EntityFor(field[i]);
      if (entity == nullptr) continue;
      Put(field + plainFrom, i - plainFrom);
      Put(entity, std::strlen(entity));
      plainFrom = i + 1;
    }
    Put(field + plainFrom, length - plainFrom);
    return *this;
  }

  template <size_t N>
  BoundedText& Value(const char (&field)[N]) {
    return Value(field, N);
  }

  /// `name="value"` and CR LF, for a text field.
  template <size_t N>
  BoundedText& TextAttribute(const char* name, const char (&field)[N]) {
    return Text(name).Text("=\"").Value(field).Text("\"\r\n");
  }

  /// `name="value"` and CR LF, for an integer.
  BoundedText& NumberAttribute(const char* name, int value) {
    return Text(name).Text("=\"").Number(value).Text("\"\r\n");
  }

  OwnedText Release() { return std::move(buffer_); }

 private:
  static const char* EntityFor(char c) {
    switch (c) {
      case '&': return "&amp;";
      case '<': return "&lt;";
      case '"': return "&quot;";
      default: return nullptr;
    }
  }

  void Put(const char* bytes, size_t length) {
    if (buffer_ == nullptr) return;
    const size_t room = size_ - 1 - length_;
    const size_t taken = length < room ? length : room;
    std::memcpy(buffer_.get() + length_, bytes, taken);
    length_ += taken;
    buffer_[length_] = '\0';
  }

  OwnedText buffer_;
  size_t size_;
  size_t length_ = 0;
};

/// The number of accounts a writer may trust: the count field clamped to the slots there are.
int CountedAccounts(const UserCfg& user) {
  const int count = user.accountCount;
  return count < 0 ? 0 : count > kMaxAccounts ? kMaxAccounts : count;
}

}  // namespace

OwnedText Network_buildLANCfgXml(const SerialNumberField& serialNumber, const LANCfg& lan) {
  BoundedText text(kLanTextSize);
  if (!text.ok()) return nullptr;
  text.Text("<IPC_SERIALNUMBER\r\n").TextAttribute("SerialNumber", serialNumber).Text("/>\r\n");
  text.Text("<LANConfig\r\n")
      .TextAttribute("MacAddress", lan.macAddress)
      .NumberAttribute("DHCP", lan.dhcp)
      .TextAttribute("IPAddress", lan.ipAddress)
      .TextAttribute("Netmask", lan.netmask)
      .TextAttribute("Gateway", lan.gateway)
      .TextAttribute("DNS1", lan.dns1)
      .TextAttribute("DNS2", lan.dns2)
      .Text("/>\r\n");
  return text.Release();
}

OwnedText BuildMediaStreamCfgXml(const MediaStreamCfg& stream) {
  BoundedText text(kStreamTextSize);
  if (!text.ok()) return nullptr;
  text.Text("<MediaStreamConfig>\r\n<StreamAccess\r\n")
      .NumberAttribute("Auth", stream.auth)
      .NumberAttribute("VideoPort", stream.videoPort)
      .NumberAttribute("RTPOverRTSP", stream.rtpOverRtsp)
      .NumberAttribute("PTZPort", stream.ptzPort)
      .NumberAttribute("WEBPort", stream.webPort)
      .Text("/>\r\n</MediaStreamConfig>\r\n");
  return text.Release();
}

OwnedText System_buildUserCfgXml(const UserCfg& user) {
  BoundedText text(kUserTextSize);
  if (!text.ok()) return nullptr;
  text.Text("<UserConfig>\r\n");
  const int count = CountedAccounts(user);
  for (int i = 0; i < count; ++i) {
    const UserAccount& account = user.accounts[i];
    text.Text("<Account\r\n")
        .TextAttribute("Username", account.username)
        .TextAttribute("Password", account.password)
        .TextAttribute("Group", account.group)
        .TextAttribute("Status", account.status)
        .Text("/>\r\n");
  }
  text.Text("</UserConfig>\r\n");
  return text.Release();
}

OwnedText BuildIpcInfoXml(const IpcInfo& record) {
  const OwnedText lan = Network_buildLANCfgXml(record.serialNumber, record.lan);
  const OwnedText stream = BuildMediaStreamCfgXml(record.stream);
  const OwnedText user = System_buildUserCfgXml(record.user);
  if (lan == nullptr || stream == nullptr || user == nullptr) return nullptr;
  static constexpr char kFormat[] = "<IPC_INFO>\n%s\n%s\n%s</IPC_INFO>";
  const size_t size = sizeof kFormat + std::strlen(lan.get()) + std::strlen(stream.get()) + std::strlen(user.get());
  OwnedText document(new (std::nothrow) char[size]);
  if (document == nullptr) return nullptr;
  std::snprintf(document.get(), size, kFormat, lan.get(), stream.get(), user.get());
  return document;
}

}  // namespace prowlnet
