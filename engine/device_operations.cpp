// Reading and changing device records on the host's thread: by record (GetIPCInfo, ModifyIPC)
// and by XML (GetIPCInfoXML, ModifyIPCXML). Records are copied in and out under the table lock,
// so a copy never sees a half-written record; texts are built and parsed outside it.
#include <cstring>
#include <memory>
#include <string>

#include "diag/debug_log.h"
#include "engine/ansi_text.h"
#include "engine/config_sections.h"
#include "engine/control_object.h"
#include "engine/envelope.h"
#include "engine/text_field.h"

namespace prowlnet {
namespace {

constexpr ULONG kRecordSize = sizeof(IpcInfo);

/// The record of device `index`, or null when the index is out of range. The lock must be held.
IpcInfo* RecordAt(SharedState& shared, LONG index) {
  if (index < 0 || index >= shared.table.count) return nullptr;
  return shared.table.slots[static_cast<size_t>(index)].get();
}

/// A copy of the record of device `index`; false when the index is out of range.
bool CopyRecord(SharedState& shared, LONG index, IpcInfo* copy) {
  CriticalSectionLock lock(shared.lock);
  const IpcInfo* record = RecordAt(shared, index);
  if (record == nullptr) return false;
  *copy = *record;
  return true;
}

}  // namespace

LONG CCProwlnet::SendModification(const IpcInfo& record) {
  const OwnedText text = Network_buildLANCfgXml(record.serialNumber, record.lan);
  if (text == nullptr) return -3;
  PostDiscoveryMessage(kModifyRequest, text.get());
  return 0;
}

HRESULT CCProwlnet::GetIPCInfo(LONG index, BYTE* pIPCInfo, LONG InfoLength, LONG* pRetVal) {
  CriticalSectionLock lock(shared().lock);
  const IpcInfo* record = RecordAt(shared(), index);
  if (record == nullptr) {
    StoreResult(pRetVal, -1);
  } else if (static_cast<ULONG>(InfoLength) < kRecordSize || pIPCInfo == nullptr) {
    StoreResult(pRetVal, -2);
  } else {
    std::memcpy(pIPCInfo, record, kRecordSize);
    StoreResult(pRetVal, 0);
  }
  return S_OK;
}

HRESULT CCProwlnet::ModifyIPC(LONG index, BYTE* pIPCInfo, LONG InfoLength, LONG* pRetVal) {
  IpcInfo before;
  IpcInfo after;
  {
    CriticalSectionLock lock(shared().lock);
    IpcInfo* record = RecordAt(shared(), index);
    if (record == nullptr) {
      StoreResult(pRetVal, -1);
      return S_OK;
    }
    if (static_cast<ULONG>(InfoLength) < kRecordSize || pIPCInfo == nullptr) {
      StoreResult(pRetVal, -2);
      return S_OK;
    }
    before = *record;
    std::memcpy(record, pIPCInfo, kRecordSize);  // the bytes as given, terminators or not
    after = *record;
  }
  assignedAddresses_.Release(LanAddressOf(before.lan));
  assignedAddresses_.Enter(LanAddressOf(after.lan));
  StoreResult(pRetVal, SendModification(after));
  return S_OK;
}

HRESULT CCProwlnet::GetIPCInfoXML(LONG index, BSTR* pXMLInfo) {
  IpcInfo record;
  OwnedText document;
  if (CopyRecord(shared(), index, &record)) document = BuildIpcInfoXml(record);
  BSTR result = BstrFromAnsi(document != nullptr ? document.get() : "");
  if (result == nullptr) return E_OUTOFMEMORY;
  StoreOrFree(result, pXMLInfo);
  return S_OK;
}

HRESULT CCProwlnet::ModifyIPCXML(LONG index, BSTR strXML, LONG* pRetVal) {
  IpcInfo record;
  if (!CopyRecord(shared(), index, &record)) {
    StoreResult(pRetVal, -1);
    return S_OK;
  }
  if (strXML == nullptr) return S_OK;
  const std::unique_ptr<char[]> text = AnsiFromBstr(strXML);
  if (text == nullptr) return E_OUTOFMEMORY;

  // Attributes that the text leaves out keep the record's current values.
  LANCfg fresh = record.lan;
  if (Network_getLANCfgByXml(fresh, text.get()) != 0) {
    DebugLog("bad xml str: %s\n", text.get());
    StoreResult(pRetVal, -2);
    return S_OK;
  }
  {
    // Still there: only this thread empties the table, and the search thread only adds or
    // refreshes records, which is why the record is read again here.
    CriticalSectionLock lock(shared().lock);
    IpcInfo& current = *RecordAt(shared(), index);
    record = current;
    current.lan = fresh;
  }
  assignedAddresses_.Release(LanAddressOf(record.lan));
  record.lan = fresh;
  assignedAddresses_.Enter(LanAddressOf(record.lan));
  StoreResult(pRetVal, SendModification(record));
  return S_OK;
}

}  // namespace prowlnet
