// The intake of received datagrams. A reply is read outside the lock into a new zero-filled
// record; the lock is taken only to find the device, overwrite its record or append a new one.
#include "engine/reply_intake.h"

#include <cstring>
#include <new>

#include "diag/debug_log.h"
#include "engine/config_sections.h"
#include "engine/envelope.h"
#include "engine/text_field.h"

namespace prowlnet {
namespace {

/// Reads the three sections of `document` into `record`, in the order LAN, stream, user; false
/// (logged) at the first that cannot be read.
bool ReadSections(IpcInfo& record, IXML_Document* document) {
  if (Network_getLANCfgByXml(record.lan, document) != 0) {
    DebugLog("lan config not found.\n");
    return false;
  }
  if (GetMediaStreamCfgByXml(record.stream, document) != 0) {
    DebugLog("stream config not found.\n");
    return false;
  }
  if (System_getUserCfgByXml(record.user, document) != 0) {
    DebugLog("user config not found.\n");
    return false;
  }
  return true;
}

enum class Entry { kRefreshed, kAdded, kTableFull };

/// Overwrites the record of the same serial number in place, or appends `record` while the table
/// has room. A record that is not taken is freed.
Entry EnterInTable(SharedState& shared, std::unique_ptr<IpcInfo> record) {
  CriticalSectionLock lock(shared.lock);
  DeviceTable& table = shared.table;
  for (int i = 0; i < table.count; ++i) {
    IpcInfo& known = *table.slots[i];
    if (std::strncmp(known.serialNumber, record->serialNumber, sizeof known.serialNumber) == 0) {
      known = *record;
      return Entry::kRefreshed;
    }
  }
  if (table.count >= DeviceTable::kCapacity) return Entry::kTableFull;
  table.slots[table.count] = std::move(record);
  ++table.count;
  return Entry::kAdded;
}

}  // namespace

void HandleDatagram(SharedState& shared, const char* text, int length) {
  char type[kHeaderFieldSize];
  char code[kHeaderFieldSize];
  char flag[kHeaderFieldSize];
  const OwnedDocument document = ParseEnvelope(text);
  if (ParseMessageHeader(document.get(), type, code, flag) == 0 && AtoiValue(code) == kSearchReply) {
    HandleSearchReply(shared, text, length, document.get());
  } else {
    DebugLog("recv message: %s\n", text);
  }
}

bool IsCameraType(const char (&deviceType)[sizeof(IpcInfo::deviceType)]) {
  // A device that names no type is taken as the default model, which is a camera.
  return std::strstr(deviceType, "NVS") != nullptr || std::strcmp(deviceType, kDefaultDeviceType) == 0;
}

int ParseSerialAndType(char (&serialNumber)[sizeof(IpcInfo::serialNumber)],
                       char (&deviceType)[sizeof(IpcInfo::deviceType)], IXML_Document* document) {
  CopyCutToField(serialNumber, nullptr);
  if (document == nullptr) return -1;

  IXML_Node* serialElement = FirstElementNamed(document, "IPC_SERIALNUMBER");
  if (serialElement == nullptr) return -2;
  CopyCutToField(serialNumber, AttributeValue(FirstAttributeNamed(serialElement, "SerialNumber")));
  if (serialNumber[0] == '\0') {
    DebugLog("SerialNumber not found.\n");
    return -3;
  }

  CopyCutToField(deviceType, kDefaultDeviceType);
  IXML_Node* typeElement = FirstElementNamed(document, "DEVICE_TYPE");
  if (typeElement == nullptr) return 0;
  if (const char* type = AttributeValue(FirstAttributeNamed(typeElement, "DeviceType"))) CopyCutToField(deviceType, type);
  return 0;
}

int ParseSerialAndType(char (&serialNumber)[sizeof(IpcInfo::serialNumber)],
                       char (&deviceType)[sizeof(IpcInfo::deviceType)], const char* text) {
  const OwnedDocument document = text != nullptr ? ParseEnvelope(text) : nullptr;
  return ParseSerialAndType(serialNumber, deviceType, document.get());
}

void HandleSearchReply(SharedState& shared, const char* text, int length, IXML_Document* document) {
  if (text == nullptr || length < 0) return;
  std::unique_ptr<IpcInfo> record(new (std::nothrow) IpcInfo());  // zero-filled
  if (record == nullptr) return;

  if (ParseSerialAndType(record->serialNumber, record->deviceType, document) != 0) {
    DebugLog("serial number not found\n, msg=%s", text);
    return;
  }
  if (!IsCameraType(record->deviceType)) {
    DebugLog("Found one device not IPC, type=%s, sn=%s\n", record->deviceType, record->serialNumber);
    return;
  }
  // Every reader reads the one document of the header check. A text read once per reader would
  // parse every time it parsed once, so the readers' "xml error" lines, which only a text that
  // does not parse gives, cannot occur on this path: the log is the same either way.
  if (!ReadSections(*record, document)) return;
  EnterRecord(shared, std::move(record));
}

void HandleSearchReply(SharedState& shared, const char* text, int length) {
  if (text == nullptr || length < 0) return;
  HandleSearchReply(shared, text, length, ParseEnvelope(text).get());
}

void EnterRecord(SharedState& shared, std::unique_ptr<IpcInfo> record) {
  char mac[sizeof record->lan.macAddress];
  std::memcpy(mac, record->lan.macAddress, sizeof mac);
  switch (EnterInTable(shared, std::move(record))) {
    case Entry::kAdded:
      DebugLog("found new entry, mac=[%s]\n", mac);
      break;
    case Entry::kTableFull:
      DebugLog("found new entry, but ipc count exceed %d\n", DeviceTable::kCapacity);
      break;
    case Entry::kRefreshed:
      break;
  }
}

}  // namespace prowlnet
