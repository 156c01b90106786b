#include "support/log_capture.h"

#include <algorithm>
#include <filesystem>
#include <regex>

namespace test_support {
namespace {

/// The log files of the drive in name order (day, start time, then index).
std::vector<std::string> LogFiles(const std::string& driveC) {
  std::vector<std::string> files;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(driveC, ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("PROWLNET_", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".log")
      files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

/// Undoes the text mode of the file: each LF was written as CR LF.
std::string WithoutTextMode(const std::string& text) {
  std::string logged;
  logged.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    logged += text[i];
  }
  return logged;
}

}  // namespace

LogCapture::LogCapture(const TempPrefix& prefix) : driveC_(prefix.DriveC()) {
  prefix.WriteDriveCFile("uc_dbg.cfg", "file=1;");
}

std::vector<std::string> LogCapture::Messages() const {
  std::string text;
  for (const std::string& file : LogFiles(driveC_)) text += WithoutTextMode(ReadFile(file));
  static const std::regex kLinePrefix("PROWLNET: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d: [0-9a-f]{8}: ");
  std::vector<std::string> messages;
  std::sregex_iterator match(text.begin(), text.end(), kLinePrefix);
  const std::sregex_iterator end;
  while (match != end) {
    const size_t start = static_cast<size_t>(match->position() + match->length());
    const auto next = std::next(match);
    const size_t stop = next == end ? text.size() : static_cast<size_t>(next->position());
    messages.push_back(text.substr(start, stop - start));
    match = next;
  }
  return messages;
}

int LogCapture::Count(const std::string& message) const {
  const std::vector<std::string> messages = Messages();
  return static_cast<int>(std::count(messages.begin(), messages.end(), message));
}

int LogCapture::IndexOf(const std::string& message, int from) const {
  const std::vector<std::string> messages = Messages();
  for (int i = from; i < static_cast<int>(messages.size()); ++i) {
    if (messages[i] == message) return i;
  }
  return -1;
}

}  // namespace test_support
