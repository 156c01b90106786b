// The readers of the three configuration sections. Each takes the first element of its
// section's name wherever it stands in a document, and copies the values out before the
// document is freed; the text-taking forms parse a text of their own for that.
#include "diag/debug_log.h"
#include "engine/config_sections.h"
#include "engine/envelope.h"
#include "engine/text_field.h"
#include "engine/xml_charset.h"
#include "engine/xml_nodes.h"

namespace prowlnet {
namespace {

/// Hands the first element named `elementName` to `fill`. Returns -1, after logging
/// `parseError`, for no document (a text that did not parse), and -1 silently when there is no
/// such element.
template <typename Fill>
int ReadSection(IXML_Document* document, const char* elementName, const char* parseError, Fill&& fill) {
  if (document == nullptr) {
    DebugLog("%s", parseError);
    return -1;
  }
  IXML_Node* element = FirstElementNamed(document, elementName);
  if (element == nullptr) return -1;
  fill(element);
  return 0;
}

struct TextAttribute {
  const char* name;
  char* field;
  size_t size;
};

/// Stores the attribute in the entry of `fields` that has its name; false when none has.
template <size_t N>
bool StoreTextAttribute(IXML_Node* attribute, const TextAttribute (&fields)[N]) {
  for (const TextAttribute& entry : fields) {
    if (!NameIs(attribute, entry.name)) continue;
    CopyAttrValue(entry.field, entry.size, AttributeValue(attribute));
    return true;
  }
  return false;
}

void FillLan(LANCfg& lan, IXML_Node* element) {
  const TextAttribute fields[] = {
      {"MacAddress", lan.macAddress, sizeof lan.macAddress},
      {"IPAddress", lan.ipAddress, sizeof lan.ipAddress},
      {"Netmask", lan.netmask, sizeof lan.netmask},
      {"Gateway", lan.gateway, sizeof lan.gateway},
      {"DNS1", lan.dns1, sizeof lan.dns1},
      {"DNS2", lan.dns2, sizeof lan.dns2},
  };
  ForEachAttribute(element, [&](IXML_Node* attribute) {
    if (NameIs(attribute, "DHCP")) {
      lan.dhcp = AtoiValue(AttributeValue(attribute));
    } else {
      StoreTextAttribute(attribute, fields);
    }
  });
}

void FillStreamAccess(MediaStreamCfg& stream, IXML_Node* access) {
  ForEachAttribute(access, [&](IXML_Node* attribute) {
    const int value = AtoiValue(AttributeValue(attribute));
    if (NameIs(attribute, "Auth")) stream.auth = value;
    if (NameIs(attribute, "VideoPort")) stream.videoPort = value;
    if (NameIs(attribute, "RTPOverRTSP")) stream.rtpOverRtsp = value;
    if (NameIs(attribute, "PTZPort")) stream.ptzPort = value;
    if (NameIs(attribute, "WEBPort")) stream.webPort = value;
  });
}

void FillStream(MediaStreamCfg& stream, IXML_Node* element) {
  stream = MediaStreamCfg{};
  ForEachChildNamed(element, "StreamAccess", [&](IXML_Node* access) { FillStreamAccess(stream, access); });
}

void FillAccount(UserAccount& account, IXML_Node* element) {
  const TextAttribute fields[] = {
      {"Username", account.username, sizeof account.username},
      {"Password", account.password, sizeof account.password},
      {"Group", account.group, sizeof account.group},
      {"Status", account.status, sizeof account.status},
  };
  ForEachAttribute(element, [&](IXML_Node* attribute) { StoreTextAttribute(attribute, fields); });
}

void FillUser(UserCfg& user, IXML_Node* element) {
  int count = 0;
  // The record has room for 20 accounts: further ones are dropped, and the count stays 20.
  ForEachChildNamed(element, "Account", [&](IXML_Node* account) {
    if (count < kMaxAccounts) FillAccount(user.accounts[count++], account);
  });
  user.accountCount = count;
}

}  // namespace

void CopyAttrValue(char* field, size_t size, const char* value) {
  CopyCutToField(field, size, value);
  if (value == nullptr) DebugLog("source string is null\r\n");
}

int Network_getLANCfgByXml(LANCfg& lan, IXML_Document* document) {
  return ReadSection(document, "LANConfig", "Network_getLANCfgByXml(): xml error\r\n",
                     [&](IXML_Node* element) { FillLan(lan, element); });
}

int GetMediaStreamCfgByXml(MediaStreamCfg& stream, IXML_Document* document) {
  return ReadSection(document, "MediaStreamConfig", "GetMediaStreamCfgByXml(): xml error\r\n",
                     [&](IXML_Node* element) { FillStream(stream, element); });
}

int System_getUserCfgByXml(UserCfg& user, IXML_Document* document) {
  return ReadSection(document, "UserConfig", "System_getUserCfgByXml(): xml error\r\n",
                     [&](IXML_Node* element) { FillUser(user, element); });
}

int Network_getLANCfgByXml(LANCfg& lan, const char* text) {
  return Network_getLANCfgByXml(lan, ParseTextOrAnsi(text).get());
}

int GetMediaStreamCfgByXml(MediaStreamCfg& stream, const char* text) {
  return GetMediaStreamCfgByXml(stream, ParseTextOrAnsi(text).get());
}

int System_getUserCfgByXml(UserCfg& user, const char* text) {
  return System_getUserCfgByXml(user, ParseTextOrAnsi(text).get());
}

}  // namespace prowlnet
