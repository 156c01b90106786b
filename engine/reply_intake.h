// The intake of received datagrams: a search reply, in which a device describes itself, is
// entered in the device table, or refreshes its record in place.
#pragma once

#include <memory>

#include "engine/ipc_info.h"
#include "engine/shared_state.h"
#include "engine/xml_nodes.h"

namespace prowlnet {

/// The device type taken for a reply without a DEVICE_TYPE element.
constexpr char kDefaultDeviceType[] = "ROV-AD355";

/// Everything done with one received datagram, `text` of `length` bytes (zero-terminated): the
/// envelope and header checks, then a search reply (Msg_code 3) goes to HandleSearchReply and
/// anything else is logged with "recv message" and dropped. The text is parsed once, and every
/// reader reads that one document.
void HandleDatagram(SharedState& shared, const char* text, int length);

/// Reads the serial number and device type from `document`, the envelope of a reply, each cut
/// to its field. 0 on success; -1 for no document (the envelope checks failed); -2 without an
/// IPC_SERIALNUMBER element; -3 when its SerialNumber is missing or empty (logged). The type is
/// the default when the reply names none.
int ParseSerialAndType(char (&serialNumber)[sizeof(IpcInfo::serialNumber)],
                       char (&deviceType)[sizeof(IpcInfo::deviceType)], IXML_Document* document);

/// The same for a text of its own, parsed for this call alone.
int ParseSerialAndType(char (&serialNumber)[sizeof(IpcInfo::serialNumber)],
                       char (&deviceType)[sizeof(IpcInfo::deviceType)], const char* text);

/// Enters the reply `text` of `length` bytes (zero-terminated), whose envelope is `document`,
/// into the device table of `shared`: a new serial number is appended while there is room, a
/// known one has its record overwritten in place. Replies that are not complete camera
/// descriptions are logged and dropped.
void HandleSearchReply(SharedState& shared, const char* text, int length, IXML_Document* document);

/// The same for a reply text of its own, parsed for this call alone.
void HandleSearchReply(SharedState& shared, const char* text, int length);

/// Whether a device type is a camera's: one that names "NVS", or the default model.
bool IsCameraType(const char (&deviceType)[sizeof(IpcInfo::deviceType)]);

/// Enters a record that was read whole: overwrites the record of the same serial number in
/// place, or appends it while the table has room ("found new entry" logged), or drops it
/// ("ipc count exceed" logged).
void EnterRecord(SharedState& shared, std::unique_ptr<IpcInfo> record);

}  // namespace prowlnet
