// The diagnostic log: one printf-style line per message, with the module name, the local time
// and the calling thread's identifier in front, to a rotating file under c:\ and to a UDP
// monitor, as the configuration file c:\uc_dbg.cfg switches them on.
#pragma once

namespace prowlnet {

/// Sizes of the log's buffers.
constexpr int kLogMessageSize = 10240;  // a message keeps at most 10239 characters
constexpr int kLogMonitorAddressSize = 32;
constexpr int kLogLinesPerFile = 20000;
constexpr unsigned short kLogMonitorPort = 3000;

/// Formats one message and writes it to the outputs that are on. Returns 0, or -1 if the
/// monitor output failed. Safe before the first open and after the last close (writes nothing).
int DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Opens the log for one more user. The first open of a closed log reads the configuration and
/// writes the build banner; later opens only count, so that a lock in use is never set up again.
int DebugLogOpen();

/// Closes the log for one user; the last close switches the outputs off and releases the file
/// and the monitor socket.
int DebugLogClose();

/// Reads the four keys from a configuration text. A key that is absent sets its value to 0
/// (the monitor address to empty); a key with no ";" after it leaves its value as it was. Values
/// longer than their room are cut: numbers to 255 characters, the monitor address to 31.
void DebugLogParseConfig(const char* text, int* fileOutput, int* networkOutput, int* level,
                         char (&monitorAddress)[kLogMonitorAddressSize]);

}  // namespace prowlnet
