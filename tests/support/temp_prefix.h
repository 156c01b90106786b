// A fresh emulated machine for one test: PROWLNET_PREFIX points at a new temporary folder for
// the life of the object, and the folder is removed afterwards.
#pragma once

#include <string>

namespace test_support {

class TempPrefix {
 public:
  TempPrefix();
  ~TempPrefix();
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  const std::string& root() const { return root_; }
  /// The host path of drive c:.
  std::string DriveC() const { return root_ + "/drive_c"; }
  /// Writes a file at the root of drive c:, creating the drive folder.
  void WriteDriveCFile(const std::string& name, const std::string& contents) const;

 private:
  std::string root_;
  std::string previous_;
  bool hadPrevious_ = false;
};

/// The whole contents of a file, or "" if it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace test_support
