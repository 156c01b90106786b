#include "engine/envelope.h"

#include <cstdio>
#include <cstring>

#include "diag/debug_log.h"
#include "engine/text_field.h"
#include "engine/xml_nodes.h"

namespace prowlnet {

int BuildEnvelope(char* buffer, size_t size, int code, const char* body) {
  const int length =
      body != nullptr
          ? std::snprintf(buffer, size,
                          "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n<XML_MORVEK>\n<MESSAGE_HEADER\n"
                          "Msg_type=\"SYSTEM_PROWLNET_MESSAGE\"\nMsg_code=\"%d\"\nMsg_flag=\"0\"\n/>\n"
                          "<MESSAGE_BODY>\n%s\n</MESSAGE_BODY>\n</XML_MORVEK>",
                          code, body)
          : std::snprintf(buffer, size,
                          "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n<XML_MORVEK>\n<MESSAGE_HEADER\n"
                          "Msg_type=\"SYSTEM_PROWLNET_MESSAGE\"\nMsg_code=\"%d\"\nMsg_flag=\"0\"\n/>\n"
                          "<MESSAGE_BODY>\n</MESSAGE_BODY>\n</XML_MORVEK>",
                          code);
  // A cut envelope would be ill-formed on the wire: refuse it instead.
  return length < 0 || static_cast<size_t>(length) >= size ? -1 : length;
}

IXML_Document* ParseEnvelope(const char* text) {
  if (std::strstr(text, "<XML_MORVEK>") == nullptr) {
    DebugLog("Invalid message, <XML_MORVEK> not found:\n%s\n", text);
    return nullptr;
  }
  if (std::strstr(text, "</XML_MORVEK>") == nullptr) {
    DebugLog("Invalid message, </XML_MORVEK> not found:\n%s\n", text);
    return nullptr;
  }
  IXML_Document* document = ParseDocument(text).release();
  if (document == nullptr) DebugLog("Invalid message, xml format error:\n%s\n", text);
  return document;
}

IXML_Node* FirstElementNamed(IXML_Document* document, const char* name) {
  IXML_NodeList* list = ixmlDocument_getElementsByTagName(document, name);
  if (list == nullptr) return nullptr;
  IXML_Node* first = ixmlNodeList_item(list, 0);
  ixmlNodeList_free(list);  // the nodes belong to the document
  return first;
}

const char* AttributeValue(IXML_Node* attribute) {
  const char* value = ixmlNode_getNodeValue(attribute);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

int ParseMessageHeader(const char* text, char (&type)[kHeaderFieldSize], char (&code)[kHeaderFieldSize],
                       char (&flag)[kHeaderFieldSize]) {
  type[0] = code[0] = flag[0] = '\0';
  IXML_Document* document = ParseEnvelope(text);
  if (document == nullptr) return -1;
  IXML_Node* header = FirstElementNamed(document, "MESSAGE_HEADER");
  if (header == nullptr) {
    ixmlDocument_free(document);
    return -2;
  }
  for (IXML_Node* attribute = header->firstAttr; attribute != nullptr; attribute = ixmlNode_getNextSibling(attribute)) {
    const char* name = ixmlNode_getNodeName(attribute);
    const char* value = AttributeValue(attribute);
    if (value == nullptr) continue;
    if (std::strcmp(name, "Msg_type") == 0) CopyCutToField(type, value);
    if (std::strcmp(name, "Msg_code") == 0) CopyCutToField(code, value);
    if (std::strcmp(name, "Msg_flag") == 0) CopyCutToField(flag, value);
  }
  ixmlDocument_free(document);
  if (type[0] == '\0') return -3;
  if (code[0] == '\0') return -4;
  if (flag[0] == '\0') return -5;
  return 0;
}

}  // namespace prowlnet
