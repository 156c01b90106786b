// The directory of `prowlnet serve --pages DIR`: its files as the web host serves them under
// /pages/. Nothing outside the directory is ever opened: a path is taken apart into names, each
// opened below the last with openat and O_NOFOLLOW, so no "..", no symbolic link and no name
// decoded from %2e%2e leads out; names starting with a dot (.git, .env) are not served, and
// only the types of a fixed list.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace prowlnet_cli {

class PageDirectory {
 public:
  struct File {
    std::string content;
    const char* type;
  };

  /// The directory at `path`, held open from now on; nothing, with `error` set, when it cannot be
  /// opened as a directory.
  static std::optional<PageDirectory> Open(const std::string& path, std::string* error);

  PageDirectory(PageDirectory&& other) noexcept : descriptor_(other.descriptor_), path_(std::move(other.path_)) {
    other.descriptor_ = -1;
  }
  PageDirectory& operator=(PageDirectory&& other) noexcept {
    std::swap(descriptor_, other.descriptor_);
    std::swap(path_, other.path_);
    return *this;
  }
  PageDirectory(const PageDirectory&) = delete;
  ~PageDirectory();

  /// The file at `relative` (the decoded path after "/pages/"; a path ending in "/" means its
  /// index.html), or nothing when it is not served.
  std::optional<File> Read(std::string_view relative) const;
  /// The directory as it was given on the command line, resolved.
  const std::string& path() const { return path_; }

 private:
  PageDirectory(int descriptor, std::string path) : descriptor_(descriptor), path_(std::move(path)) {}

  int descriptor_;
  std::string path_;
};

/// Whether a request target (as sent, before decoding) writes a dot, a slash, a backslash or a
/// NUL as a %-escape: no page needs that, and it is how a "..", a separator or an end is hidden.
bool HasEncodedSeparator(std::string_view target);

}  // namespace prowlnet_cli
