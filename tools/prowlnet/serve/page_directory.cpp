#include "serve/page_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace prowlnet_cli {
namespace {

constexpr off_t kLargestPage = 16 * 1024 * 1024;

struct MediaType {
  const char* extension;
  const char* type;
};

// No charset is named: a legacy page declares its own (often GB2312) in its markup.
constexpr MediaType kMediaTypes[] = {
    {"html", "text/html"},        {"htm", "text/html"},        {"js", "text/javascript"}, {"css", "text/css"},
    {"png", "image/png"},         {"jpg", "image/jpeg"},       {"jpeg", "image/jpeg"},    {"gif", "image/gif"},
    {"svg", "image/svg+xml"},     {"ico", "image/x-icon"},     {"json", "application/json"},
    {"txt", "text/plain"},
};

/// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void Reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

const char* TypeOf(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return nullptr;
  std::string extension(name.substr(dot + 1));
  std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const MediaType& media : kMediaTypes) {
    if (extension == media.extension) return media.type;
  }
  return nullptr;
}

/// A name that may be served: not ".", "..", hidden, and without a backslash or a control
/// character.
bool ServableName(std::string_view name) {
  if (name.empty() || name.front() == '.') return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
}

/// `relative` taken apart at its slashes (empty parts dropped, so "a//b" is "a/b"), with
/// "index.html" for a directory; nothing when a part may not be served.
std::optional<std::vector<std::string>> NamesOf(std::string_view relative) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= relative.size()) {
    const size_t slash = std::min(relative.find('/', start), relative.size());
    const std::string_view name = relative.substr(start, slash - start);
    if (!name.empty()) {
      if (!ServableName(name)) return std::nullopt;
      names.emplace_back(name);
    }
    start = slash + 1;
  }
  if (relative.empty() || relative.back() == '/') names.emplace_back("index.html");
  return names;
}

std::optional<std::string> ReadWhole(int fd, off_t size) {
  std::string content(static_cast<size_t>(size), '\0');
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t got = read(fd, content.data() + done, content.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    done += static_cast<size_t>(got);
  }
  return content;
}

}  // namespace

std::optional<PageDirectory> PageDirectory::Open(const std::string& path, std::string* error) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) {
    *error = path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  const std::string absolute = resolved;
  std::free(resolved);
  const int fd = open(absolute.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return PageDirectory(fd, absolute);
}

PageDirectory::~PageDirectory() {
  if (descriptor_ >= 0) close(descriptor_);
}

std::optional<PageDirectory::File> PageDirectory::Read(std::string_view relative) const {
  const std::optional<std::vector<std::string>> names = NamesOf(relative);
  if (!names) return std::nullopt;
  const char* type = TypeOf(names->back());
  if (type == nullptr) return std::nullopt;
  Descriptor at(dup(descriptor_));
  for (size_t i = 0; i + 1 < names->size() && at.get() >= 0; ++i)
    at.Reset(openat(at.get(), (*names)[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (at.get() < 0) return std::nullopt;
  // O_NONBLOCK: a FIFO put there must not hold the worker; it is refused below as not a file.
  const Descriptor file(openat(at.get(), names->back().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat status {};
  if (file.get() < 0 || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > kLargestPage)
    return std::nullopt;
  std::optional<std::string> content = ReadWhole(file.get(), status.st_size);
  if (!content) return std::nullopt;
  return File{std::move(*content), type};
}

bool HasEncodedSeparator(std::string_view target) {
  const std::string_view path = target.substr(0, target.find('?'));
  for (size_t at = path.find('%'); at != std::string_view::npos && at + 2 < path.size(); at = path.find('%', at + 1)) {
    std::string code(path.substr(at + 1, 2));
    std::transform(code.begin(), code.end(), code.begin(), [](unsigned char c) { return std::tolower(c); });
    if (code == "2e" || code == "2f" || code == "5c" || code == "00") return true;
  }
  return false;
}

}  // namespace prowlnet_cli
