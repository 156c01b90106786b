#include "support/log_files.h"

#include <algorithm>
#include <filesystem>

#include "support/temp_prefix.h"

namespace test_support {

std::vector<std::string> LogFileNames(const std::string& driveC) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(driveC, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("PROWLNET_", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".log")
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string AllLogText(const std::string& driveC) {
  std::string text;
  for (const std::string& name : LogFileNames(driveC)) text += ReadFile(driveC + "/" + name);
  return text;
}

size_t Occurrences(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
  return count;
}

}  // namespace test_support
