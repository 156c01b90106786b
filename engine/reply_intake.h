// The intake of search replies: a device that describes itself is entered in the device table,
// or refreshes its record in place.
#pragma once

#include "engine/ipc_info.h"
#include "engine/shared_state.h"

namespace prowlnet {

/// The device type taken for a reply without a DEVICE_TYPE element.
constexpr char kDefaultDeviceType[] = "ROV-AD355";

/// Reads the serial number and device type of a reply, each cut to its field. 0 on success;
/// -1 when the envelope checks fail (logged); -2 without an IPC_SERIALNUMBER element; -3 when its
/// SerialNumber is missing or empty (logged). The type is the default when the reply names none.
int ParseSerialAndType(char (&serialNumber)[sizeof(IpcInfo::serialNumber)],
                       char (&deviceType)[sizeof(IpcInfo::deviceType)], const char* text);

/// Enters the reply `text` of `length` bytes (zero-terminated) into the device table of `shared`:
/// a new serial number is appended while there is room, a known one has its record overwritten
/// in place. Replies that are not complete camera descriptions are logged and dropped.
void HandleSearchReply(SharedState& shared, const char* text, int length);

}  // namespace prowlnet
