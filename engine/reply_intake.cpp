// The intake of search replies. The reply is read outside the lock into a new zero-filled
// record; the lock is taken only to find the device, overwrite its record or append a new one.
#include "engine/reply_intake.h"

#include <cstring>
#include <memory>
#include <new>

#include "diag/debug_log.h"
#include "engine/config_sections.h"
#include "engine/envelope.h"
#include "engine/text_field.h"
#include "engine/xml_nodes.h"

namespace prowlnet {
namespace {

/// Cameras name "NVS" in their type; a device that names no type is taken as the default
/// model, which is a camera.
bool IsCameraType(const char (&deviceType)[sizeof(IpcInfo::deviceType)]) {
  return std::strstr(deviceType, "NVS") != nullptr || std::strcmp(deviceType, kDefaultDeviceType) == 0;
}

/// Reads the three sections into `record`, in the order LAN, stream, user; false (logged) at
/// the first that cannot be read.
bool ReadSections(IpcInfo& record, const char* text) {
  if (Network_getLANCfgByXml(record.lan, text) != 0) {
    DebugLog("lan config not found.\n");
    return false;
  }
  if (GetMediaStreamCfgByXml(record.stream, text) != 0) {
    DebugLog("stream config not found.\n");
    return false;
  }
  if (System_getUserCfgByXml(record.user, text) != 0) {
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

int ParseSerialAndType(char (&serialNumber)[sizeof(IpcInfo::serialNumber)],
                       char (&deviceType)[sizeof(IpcInfo::deviceType)], const char* text) {
  CopyCutToField(serialNumber, nullptr);
  if (text == nullptr) return -1;
  const OwnedDocument document = ParseEnvelope(text);
  if (document == nullptr) return -1;

  IXML_Node* serialElement = FirstElementNamed(document.get(), "IPC_SERIALNUMBER");
  if (serialElement == nullptr) return -2;
  CopyCutToField(serialNumber, AttributeValue(FirstAttributeNamed(serialElement, "SerialNumber")));
  if (serialNumber[0] == '\0') {
    DebugLog("SerialNumber not found.\n");
    return -3;
  }

  CopyCutToField(deviceType, kDefaultDeviceType);
  IXML_Node* typeElement = FirstElementNamed(document.get(), "DEVICE_TYPE");
  if (typeElement == nullptr) return 0;
  if (const char* type = AttributeValue(FirstAttributeNamed(typeElement, "DeviceType"))) CopyCutToField(deviceType, type);
  return 0;
}

void HandleSearchReply(SharedState& shared, const char* text, int length) {
  if (text == nullptr || length < 0) return;
  std::unique_ptr<IpcInfo> record(new (std::nothrow) IpcInfo());  // zero-filled
  if (record == nullptr) return;

  if (ParseSerialAndType(record->serialNumber, record->deviceType, text) != 0) {
    DebugLog("serial number not found\n, msg=%s", text);
    return;
  }
  if (!IsCameraType(record->deviceType)) {
    DebugLog("Found one device not IPC, type=%s, sn=%s\n", record->deviceType, record->serialNumber);
    return;
  }
  if (!ReadSections(*record, text)) return;

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
