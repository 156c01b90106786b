#include "camsim/camera.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include <ixml.h>

namespace camsim {
namespace {

struct DocumentFree {
  void operator()(IXML_Document* document) const { ixmlDocument_free(document); }
};
using Document = std::unique_ptr<IXML_Document, DocumentFree>;

struct ListFree {
  void operator()(IXML_NodeList* list) const { ixmlNodeList_free(list); }
};
using NodeList = std::unique_ptr<IXML_NodeList, ListFree>;

bool NameIs(IXML_Node* node, const char* name) {
  const char* own = ixmlNode_getNodeName(node);
  return own != nullptr && std::strcmp(own, name) == 0;
}

Attributes AttributesOf(IXML_Node* element) {
  Attributes attributes;
  for (IXML_Node* a = element->firstAttr; a != nullptr; a = ixmlNode_getNextSibling(a)) {
    const char* value = ixmlNode_getNodeValue(a);
    attributes.emplace_back(ixmlNode_getNodeName(a), value != nullptr ? value : "");
  }
  return attributes;
}

/// The attributes of each direct child of `element` named `name`.
std::vector<Attributes> ChildrenNamed(IXML_Node* element, const char* name) {
  std::vector<Attributes> children;
  for (IXML_Node* child = ixmlNode_getFirstChild(element); child != nullptr; child = ixmlNode_getNextSibling(child)) {
    if (NameIs(child, name)) children.push_back(AttributesOf(child));
  }
  return children;
}

/// The first element named `name` anywhere in the document, or null.
IXML_Node* FirstNamed(IXML_Document* document, const char* name) {
  const NodeList list(ixmlDocument_getElementsByTagName(document, name));
  return list != nullptr ? ixmlNodeList_item(list.get(), 0) : nullptr;
}

std::string ValueOr(const Attributes& attributes, const std::string& name, const std::string& fallback) {
  const std::string* value = Find(attributes, name);
  return value != nullptr ? *value : fallback;
}

Camera CameraFrom(IXML_Node* description) {
  Camera camera;
  for (IXML_Node* part = ixmlNode_getFirstChild(description); part != nullptr; part = ixmlNode_getNextSibling(part)) {
    if (NameIs(part, "IPC_SERIALNUMBER")) camera.serialNumber = ValueOr(AttributesOf(part), "SerialNumber", "");
    if (NameIs(part, "DEVICE_TYPE")) camera.deviceType = ValueOr(AttributesOf(part), "DeviceType", "");
    if (NameIs(part, "LANConfig")) camera.lan = AttributesOf(part);
    if (NameIs(part, "MediaStreamConfig")) camera.streams = ChildrenNamed(part, "StreamAccess");
    if (NameIs(part, "UserConfig")) camera.accounts = ChildrenNamed(part, "Account");
  }
  return camera;
}

/// A value as it stands between double quotes: &, <, " and the control characters written as
/// references (a line break written as itself would reach the reader as a space).
std::string Escaped(const std::string& value) {
  std::string text;
  for (char c : value) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      text += "&#" + std::to_string(byte) + ";";
    } else if (c == '&') {
      text += "&amp;";
    } else if (c == '<') {
      text += "&lt;";
    } else if (c == '"') {
      text += "&quot;";
    } else {
      text += c;
    }
  }
  return text;
}

/// An empty element with one attribute per line, as the devices write them.
std::string Element(const std::string& name, const Attributes& attributes) {
  std::string text = "<" + name + "\r\n";
  for (const auto& [attribute, value] : attributes) text += attribute + "=\"" + Escaped(value) + "\"\r\n";
  return text + "/>\r\n";
}

std::string Container(const std::string& name, const std::string& childName, const std::vector<Attributes>& children) {
  std::string text = "<" + name + ">\r\n";
  for (const Attributes& child : children) text += Element(childName, child);
  return text + "</" + name + ">\r\n";
}

}  // namespace

const std::string* Find(const Attributes& attributes, const std::string& name) {
  for (const auto& [attribute, value] : attributes) {
    if (attribute == name) return &value;
  }
  return nullptr;
}

void Set(Attributes& attributes, const std::string& name, const std::string& value) {
  for (auto& [attribute, current] : attributes) {
    if (attribute == name) {
      current = value;
      return;
    }
  }
  attributes.emplace_back(name, value);
}

std::string BuildMessage(int code, const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n<XML_MORVEK>\n<MESSAGE_HEADER\n"
         "Msg_type=\"SYSTEM_PROWLNET_MESSAGE\"\nMsg_code=\"" +
         std::to_string(code) + "\"\nMsg_flag=\"0\"\n/>\n<MESSAGE_BODY>\n" + body + "</MESSAGE_BODY>\n</XML_MORVEK>";
}

std::string BuildReplyBody(const Camera& camera) {
  std::string body;
  if (camera.serialNumber) body += Element("IPC_SERIALNUMBER", {{"SerialNumber", *camera.serialNumber}});
  if (camera.deviceType) body += Element("DEVICE_TYPE", {{"DeviceType", *camera.deviceType}});
  if (camera.lan) body += Element("LANConfig", *camera.lan);
  if (camera.streams) body += Container("MediaStreamConfig", "StreamAccess", *camera.streams);
  if (camera.accounts) body += Container("UserConfig", "Account", *camera.accounts);
  return body;
}

std::string BuildReply(const Camera& camera) { return BuildMessage(kSearchReply, BuildReplyBody(camera)); }

std::vector<Camera> GenerateCameras(int count, int first) {
  static const char* const kGroups[] = {"administrators", "operators", "viewers"};
  std::vector<Camera> cameras;
  cameras.reserve(static_cast<size_t>(count > 0 ? count : 0));
  for (int n = first; n < first + count; ++n) {
    char serial[32];
    char mac[32];
    char address[32];
    std::snprintf(serial, sizeof serial, "PN%08d", n);
    std::snprintf(mac, sizeof mac, "02:77:%02X:%02X:%02X:%02X", (n >> 24) & 0xFF, (n >> 16) & 0xFF, (n >> 8) & 0xFF,
                  n & 0xFF);
    std::snprintf(address, sizeof address, "10.200.%d.%d", (n / 250) % 256, n % 250 + 2);
    Camera camera;
    camera.serialNumber = serial;
    camera.deviceType = "NVS-2210";
    camera.lan = Attributes{
        {"MacAddress", mac},       {"DHCP", "0"},          {"IPAddress", address}, {"Netmask", "255.255.0.0"},
        {"Gateway", "10.200.0.1"}, {"DNS1", "10.200.0.2"}, {"DNS2", "10.200.0.3"}};
    camera.streams = std::vector<Attributes>{
        {{"Auth", "1"}, {"VideoPort", "554"}, {"RTPOverRTSP", "1"}, {"PTZPort", "6000"}, {"WEBPort", "80"}}};
    camera.accounts = std::vector<Attributes>{};
    for (int i = 0; i < 10; ++i) {
      camera.accounts->push_back({{"Username", "user" + std::to_string(i) + "-" + serial},
                                  {"Password", "pw-" + std::to_string(n * 7 + i)},
                                  {"Group", kGroups[i % 3]},
                                  {"Status", i == 0 ? "1" : "0"}});
    }
    cameras.push_back(std::move(camera));
  }
  return cameras;
}

std::vector<Camera> ParseCameras(const std::string& text, std::string* error) {
  const Document document(ixmlParseBuffer(text.c_str()));
  if (document == nullptr) {
    *error = "not a well-formed XML text";
    return {};
  }
  std::vector<Camera> cameras;
  const NodeList list(ixmlDocument_getElementsByTagName(document.get(), "CAMERA"));
  const unsigned long length = list != nullptr ? ixmlNodeList_length(list.get()) : 0;
  for (unsigned long i = 0; i < length; ++i) cameras.push_back(CameraFrom(ixmlNodeList_item(list.get(), i)));
  if (cameras.empty()) *error = "no CAMERA element";
  return cameras;
}

std::vector<Camera> LoadCameras(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return {};
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseCameras(text.str(), error);
}

Request ParseRequest(const std::string& bytes) {
  Request request;
  const Document document(ixmlParseBuffer(bytes.c_str()));
  if (document == nullptr) return request;
  IXML_Node* header = FirstNamed(document.get(), "MESSAGE_HEADER");
  if (header == nullptr) return request;
  request.wellFormed = true;
  request.code = std::atoi(ValueOr(AttributesOf(header), "Msg_code", "0").c_str());
  if (request.code != kModifyRequest) return request;
  if (IXML_Node* serial = FirstNamed(document.get(), "IPC_SERIALNUMBER"))
    request.serialNumber = ValueOr(AttributesOf(serial), "SerialNumber", "");
  if (IXML_Node* lan = FirstNamed(document.get(), "LANConfig")) request.lan = AttributesOf(lan);
  return request;
}

void ApplyModification(Camera& camera, const Request& request) {
  if (!camera.lan) camera.lan = Attributes{};
  for (const auto& [name, value] : request.lan) Set(*camera.lan, name, value);
}

}  // namespace camsim
