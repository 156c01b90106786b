// The diagnostic log. One per process, opened and closed by every control object; the file
// output with its rotation state is serialised by one lock, the monitor output by another.
#include "diag/debug_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <type_traits>

#include "pal/crt.h"
#include "pal/kernel32.h"
#include "pal/winsock2.h"

namespace prowlnet {
namespace {

constexpr const char* kModuleName = "PROWLNET";
constexpr const char* kConfigPath = "c:\\uc_dbg.cfg";
constexpr int kPrefixSize = 256;
constexpr int kLineSize = kLogMessageSize + kPrefixSize;
constexpr int kNumberRoom = 256;  // a numeric value keeps at most 255 characters
constexpr long kConfigLimit = 1 << 20;

/// What DebugLog writes into the file, guarded by `fileLock`.
struct FileOutput {
  FILE* file = nullptr;
  int lineCounter = 0;
  int fileIndex = 0;
  int lastDay = 0;
  char startStamp[16] = "";
};

/// The monitor's address and socket, guarded by `monitorLock`.
struct MonitorOutput {
  char address[kLogMonitorAddressSize] = "";
  ws2::SOCKET socket = ws2::INVALID_SOCKET;
};

struct LogState {
  std::mutex openLock;  // guards `users`
  int users = 0;
  std::atomic<int> fileOn{0};
  std::atomic<int> networkOn{0};
  std::atomic<int> level{10};
  std::mutex fileLock;
  FileOutput fileOutput;
  std::mutex monitorLock;
  MonitorOutput monitor;
};

// Constant-initialised and trivially destroyed: nothing of it is torn down at exit, where a search
// thread that outlived its control may still log, and it goes with a module that is unloaded.
static_assert(std::is_trivially_destructible_v<LogState>);

LogState& State() {
  static constinit LogState state;
  return state;
}

/// The value between `key` and the next ";", cut to `room` - 1 characters; false if the key is
/// absent (`*absent` set) or has no ";" after it.
bool ValueOf(const char* text, const char* key, char* value, size_t room, bool* absent) {
  const char* found = std::strstr(text, key);
  *absent = found == nullptr;
  if (found == nullptr) return false;
  const char* start = found + std::strlen(key);
  const char* end = std::strchr(start, ';');
  if (end == nullptr) return false;
  const size_t length = std::min(static_cast<size_t>(end - start), room - 1);
  std::memcpy(value, start, length);
  value[length] = '\0';
  return true;
}

void ParseNumber(const char* text, const char* key, int* destination) {
  char value[kNumberRoom];
  bool absent;
  if (ValueOf(text, key, value, sizeof value, &absent)) {
    *destination = std::atoi(value);
  } else if (absent) {
    *destination = 0;
  }
}

/// The whole configuration file as text, or null if there is none. Only its first megabyte
/// is read: the keys are short and a larger file is not a configuration.
std::unique_ptr<char[]> ReadConfigFile() {
  FILE* file = crt::fopen(kConfigPath, "rb");
  if (file == nullptr) return nullptr;
  long size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
  std::fseek(file, 0, SEEK_SET);
  if (size < 0) size = 0;
  if (size > kConfigLimit) size = kConfigLimit;
  auto text = std::make_unique<char[]>(static_cast<size_t>(size) + 1);
  const size_t read = std::fread(text.get(), 1, static_cast<size_t>(size), file);
  text[read] = '\0';
  std::fclose(file);
  return text;
}

/// Chooses the file for this message (rotating by day and by count) and writes the line.
void WriteToFile(LogState& state, const SYSTEMTIME& now, const char* line, size_t length) {
  std::lock_guard lock(state.fileLock);
  if (!state.fileOn) return;  // closed while this message was being formatted
  FileOutput& out = state.fileOutput;
  if (out.file != nullptr && now.wDay != out.lastDay) {
    std::fclose(out.file);
    out.file = nullptr;
    out.lineCounter = 0;
    out.fileIndex = 0;
  } else if (out.lineCounter == kLogLinesPerFile) {
    if (out.file != nullptr) std::fclose(out.file);
    out.file = nullptr;
    ++out.fileIndex;
    out.lineCounter = 0;
  } else {
    ++out.lineCounter;
  }
  out.lastDay = now.wDay;

  if (out.file == nullptr) {
    char name[kPrefixSize];
    std::snprintf(name, sizeof name, "c:\\%s_%04d%02d%02d_%s_%d.log", kModuleName, now.wYear, now.wMonth, now.wDay,
                  out.startStamp, out.fileIndex);
    out.file = crt::fopen(name, "a");
  }
  if (out.file != nullptr) {
    std::fwrite(line, 1, length, out.file);
    std::fflush(out.file);
  }
}

/// Sends the line to the monitor; -1 if no socket could be had or the send fell short.
int SendToMonitor(LogState& state, const char* line, size_t length) {
  std::lock_guard lock(state.monitorLock);
  if (!state.networkOn) return 0;
  MonitorOutput& monitor = state.monitor;
  if (monitor.socket == ws2::INVALID_SOCKET) {
    monitor.socket = ws2::socket(ws2::AF_INET, ws2::SOCK_DGRAM, 0);
    if (monitor.socket == ws2::INVALID_SOCKET) return -1;
  }
  ws2::sockaddr_in to{};
  to.sin_family = ws2::AF_INET;
  to.sin_port = ws2::htons(kLogMonitorPort);
  to.sin_addr.s_addr = ws2::inet_addr(monitor.address[0] != '\0' ? monitor.address : "127.0.0.1");
  const int sent = ws2::sendto(monitor.socket, line, static_cast<int>(length), 0,
                               reinterpret_cast<const ws2::sockaddr*>(&to), sizeof to);
  if (sent != static_cast<int>(length)) {
    ws2::closesocket(monitor.socket);
    monitor.socket = ws2::INVALID_SOCKET;
    return -1;
  }
  return 0;
}

/// Puts the state of a freshly opened log in place: counters zero, outputs off, no file or socket.
void ResetForOpen(LogState& state) {
  state.fileOn = 0;
  state.networkOn = 0;
  state.level = 10;
  SYSTEMTIME now;
  GetLocalTime(&now);
  {
    std::lock_guard lock(state.fileLock);
    state.fileOutput = FileOutput{};
    std::snprintf(state.fileOutput.startStamp, sizeof state.fileOutput.startStamp, "%02d%02d%02d", now.wHour,
                  now.wMinute, now.wSecond);
  }
  std::lock_guard lock(state.monitorLock);
  state.monitor = MonitorOutput{};
}

void ApplyConfig(LogState& state, const char* text) {
  int fileOn = 0;
  int networkOn = 0;
  int level = 10;
  char address[kLogMonitorAddressSize] = "";
  DebugLogParseConfig(text, &fileOn, &networkOn, &level, address);
  {
    std::lock_guard lock(state.monitorLock);
    std::memcpy(state.monitor.address, address, sizeof address);
  }
  state.level = level;
  state.fileOn = fileOn;
  state.networkOn = networkOn;
}

}  // namespace

void DebugLogParseConfig(const char* text, int* fileOutput, int* networkOutput, int* level,
                         char (&monitorAddress)[kLogMonitorAddressSize]) {
  ParseNumber(text, "file=", fileOutput);
  ParseNumber(text, "network=", networkOutput);
  ParseNumber(text, "level=", level);
  char address[kLogMonitorAddressSize];
  bool absent;
  if (ValueOf(text, "monitor_ip=", address, sizeof address, &absent)) {
    std::memcpy(monitorAddress, address, sizeof address);
  } else if (absent) {
    monitorAddress[0] = '\0';
  }
}

int DebugLogOpen() {
  LogState& state = State();
  std::lock_guard lock(state.openLock);
  if (state.users++ > 0) return 0;
  ResetForOpen(state);
  std::unique_ptr<char[]> config = ReadConfigFile();
  if (config == nullptr) return 0;
  ApplyConfig(state, config.get());
  DebugLog("Build %s %s\n", __DATE__, __TIME__);
  return 0;
}

int DebugLogClose() {
  LogState& state = State();
  std::lock_guard lock(state.openLock);
  if (state.users == 0 || --state.users > 0) return 0;
  state.fileOn = 0;
  state.networkOn = 0;
  {
    std::lock_guard fileLock(state.fileLock);
    if (state.fileOutput.file != nullptr) std::fclose(state.fileOutput.file);
    state.fileOutput.file = nullptr;
  }
  std::lock_guard monitorLock(state.monitorLock);
  if (state.monitor.socket != ws2::INVALID_SOCKET) ws2::closesocket(state.monitor.socket);
  state.monitor.socket = ws2::INVALID_SOCKET;
  return 0;
}

int DebugLog(const char* format, ...) {
  char message[kLogMessageSize];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(message, sizeof message, format, arguments);
  va_end(arguments);

  SYSTEMTIME now;
  GetLocalTime(&now);
  char prefix[kPrefixSize];
  std::snprintf(prefix, sizeof prefix, "%04d-%02d-%02d %02d:%02d:%02d: %08x: ", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond, GetCurrentThreadId());
  char line[kLineSize];
  const int written = std::snprintf(line, sizeof line, "%s: %s%s", kModuleName, prefix, message);
  const size_t length = std::min(static_cast<size_t>(written < 0 ? 0 : written), sizeof line - 1);

  LogState& state = State();
  if (state.fileOn) WriteToFile(state, now, line, length);
  if (state.networkOn) return SendToMonitor(state, line, length);
  return 0;
}

}  // namespace prowlnet
