#include "advapi32/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "advapi32/registry_text.h"
#include "pal/emulated_machine.h"
#include "pal/winreg.h"

namespace pal::registry {
namespace {

struct Paths {
  std::string folder = EmulatedMachineRoot();
  std::string current = folder + "/registry.txt";
  std::string previous = folder + "/registry.prev";
  std::string next = folder + "/registry.tmp";
  std::string lock = folder + "/registry.lock";
};

/// Holds the registry's lock file locked for a scope.
class FileLock {
 public:
  FileLock(const std::string& path, int operation) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    while (::flock(fd_, operation) != 0) {
      if (errno == EINTR) continue;
      ::close(fd_);
      fd_ = -1;
      return;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

enum class FileState { kMissing, kDamaged, kWhole };

/// Reads the file at `path` into `hives` when it holds a whole registry.
FileState ReadFileInto(const std::string& path, Hives& hives) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? FileState::kMissing : FileState::kDamaged;
  std::string text;
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  hives = Hives();
  if (ReadText(text, hives)) return FileState::kWhole;
  hives = Hives();
  return FileState::kDamaged;
}

struct Loaded {
  LONG status = ERROR_SUCCESS;
  bool currentIsWhole = false;  // false: the current file is missing or must not become the previous copy
};

/// The registry as the files hold it: the current file when it is whole, else the previous copy.
Loaded Load(const Paths& paths, Hives& hives) {
  Loaded loaded;
  const FileState current = ReadFileInto(paths.current, hives);
  if (current == FileState::kWhole) {
    loaded.currentIsWhole = true;
    return loaded;
  }
  if (current == FileState::kMissing) return loaded;
  std::fprintf(stderr, "pal: registry: %s is cut short or damaged; reading %s instead\n", paths.current.c_str(),
               paths.previous.c_str());
  const FileState previous = ReadFileInto(paths.previous, hives);
  if (previous == FileState::kDamaged) loaded.status = ERROR_BADDB;
  return loaded;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

bool WriteDurably(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
  return ::close(fd) == 0 && written;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

/// Replaces the current file with `text`; the current file, if whole, becomes the previous copy.
LONG Commit(const Paths& paths, const std::string& text, bool currentIsWhole) {
  if (!WriteDurably(paths.next, text)) return ERROR_CANTWRITE;
  if (currentIsWhole) {
    // Between these two steps the previous copy may be missing, but the current file is whole.
    ::unlink(paths.previous.c_str());
    if (::link(paths.current.c_str(), paths.previous.c_str()) != 0) return ERROR_CANTWRITE;
  }
  if (::rename(paths.next.c_str(), paths.current.c_str()) != 0) return ERROR_CANTWRITE;
  SyncFolder(paths.folder);
  return ERROR_SUCCESS;
}

bool MakeFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return !error;
}

}  // namespace

LONG ReadRegistry(const std::function<LONG(Hives&)>& read) {
  const Paths paths;
  if (!MakeFolder(paths.folder)) return ERROR_CANTOPEN;
  FileLock lock(paths.lock, LOCK_SH);
  if (!lock.held()) return ERROR_CANTOPEN;
  Hives hives;
  const Loaded loaded = Load(paths, hives);
  if (loaded.status != ERROR_SUCCESS) return loaded.status;
  return read(hives);
}

LONG ChangeRegistry(const std::function<LONG(Hives&)>& change) {
  const Paths paths;
  if (!MakeFolder(paths.folder)) return ERROR_CANTOPEN;
  FileLock lock(paths.lock, LOCK_EX);
  if (!lock.held()) return ERROR_CANTOPEN;
  Hives hives;
  const Loaded loaded = Load(paths, hives);
  if (loaded.status != ERROR_SUCCESS) return loaded.status;
  const std::string before = TextOf(hives);
  const LONG status = change(hives);
  if (status != ERROR_SUCCESS) return status;
  std::string after = TextOf(hives);
  if (after == before && loaded.currentIsWhole) return ERROR_SUCCESS;
  return Commit(paths, after, loaded.currentIsWhole);
}

}  // namespace pal::registry
