// fopen on drive c: of the emulated machine.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <string_view>

#include "internal/loud.h"
#include "pal/crt.h"
#include "pal/emulated_machine.h"

namespace {

/// Writes all of `size` bytes to `fd`; false on an error.
bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

/// Text mode output: each line feed reaches the file as CR LF.
ssize_t WriteText(void* cookie, const char* data, size_t size) {
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(cookie));
  char translated[4096];
  size_t used = 0;
  for (size_t i = 0; i < size; ++i) {
    if (used + 2 > sizeof translated) {
      if (!WriteAll(fd, translated, used)) return -1;
      used = 0;
    }
    if (data[i] == '\n') translated[used++] = '\r';
    translated[used++] = data[i];
  }
  if (!WriteAll(fd, translated, used)) return -1;
  return static_cast<ssize_t>(size);
}

int CloseText(void* cookie) { return ::close(static_cast<int>(reinterpret_cast<intptr_t>(cookie))); }

FILE* OpenTextAppend(const std::string& hostPath) {
  const int fd = ::open(hostPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  cookie_io_functions_t functions{};
  functions.write = WriteText;
  functions.close = CloseText;
  FILE* file = fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(fd)), "a", functions);
  if (file == nullptr) ::close(fd);
  return file;
}

}  // namespace

FILE* crt::fopen(const char* windowsPath, const char* mode) {
  const std::optional<std::string> hostPath = pal::HostPathOf(windowsPath);
  if (!hostPath) {
    errno = ENOENT;
    return nullptr;
  }
  const std::string_view m(mode != nullptr ? mode : "");
  if (m == "rb") return ::fopen(hostPath->c_str(), "rbe");
  if (m == "a" || m == "ab") {
    // The root of drive c: always exists on Windows; folders below it must exist already.
    std::error_code ignored;
    std::filesystem::create_directories(pal::EmulatedMachineRoot() + "/drive_c", ignored);
    return m == "a" ? OpenTextAppend(*hostPath) : ::fopen(hostPath->c_str(), "abe");
  }
  pal::internal::Unsupported("fopen", "this mode");
}
