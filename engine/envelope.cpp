#include "engine/envelope.h"

#include <cstdio>
#include <cstring>

#include "diag/debug_log.h"
#include "engine/text_field.h"
#include "engine/xml_charset.h"
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

OwnedDocument ParseEnvelope(const char* text) {
  if (std::strstr(text, "<XML_MORVEK>") == nullptr) {
    DebugLog("Invalid message, <XML_MORVEK> not found:\n%s\n", text);
    return nullptr;
  }
  if (std::strstr(text, "</XML_MORVEK>") == nullptr) {
    DebugLog("Invalid message, </XML_MORVEK> not found:\n%s\n", text);
    return nullptr;
  }
  OwnedDocument document = ParseReceivedText(text);
  if (document == nullptr) DebugLog("Invalid message, xml format error:\n%s\n", text);
  return document;
}

int ParseMessageHeader(IXML_Document* document, char (&type)[kHeaderFieldSize], char (&code)[kHeaderFieldSize],
                       char (&flag)[kHeaderFieldSize]) {
  type[0] = code[0] = flag[0] = '\0';
  if (document == nullptr) return -1;
  IXML_Node* header = FirstElementNamed(document, "MESSAGE_HEADER");
  if (header == nullptr) return -2;
  ForEachAttribute(header, [&](IXML_Node* attribute) {
    const char* value = AttributeValue(attribute);
    if (value == nullptr) return;  // an attribute without a value copies nothing
    if (NameIs(attribute, "Msg_type")) CopyCutToField(type, value);
    if (NameIs(attribute, "Msg_code")) CopyCutToField(code, value);
    if (NameIs(attribute, "Msg_flag")) CopyCutToField(flag, value);
  });
  if (type[0] == '\0') return -3;
  if (code[0] == '\0') return -4;
  if (flag[0] == '\0') return -5;
  return 0;
}

int ParseMessageHeader(const char* text, char (&type)[kHeaderFieldSize], char (&code)[kHeaderFieldSize],
                       char (&flag)[kHeaderFieldSize]) {
  const OwnedDocument document = text != nullptr ? ParseEnvelope(text) : nullptr;
  return ParseMessageHeader(document.get(), type, code, flag);
}

}  // namespace prowlnet
