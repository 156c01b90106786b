#include "support/log_capture.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "support/log_files.h"

namespace test_support {
namespace {

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

/// The prefix of every line: module, time and thread ("0" stands for a digit, "x" for a hex digit).
constexpr std::string_view kLinePrefix = "PROWLNET: 0000-00-00 00:00:00: xxxxxxxx: ";

bool LinePrefixAt(const std::string& text, size_t at) {
  if (text.size() - at < kLinePrefix.size()) return false;
  for (size_t i = 0; i < kLinePrefix.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[at + i]);
    const char want = kLinePrefix[i];
    const bool fits = want == '0' ? std::isdigit(c) != 0 : want == 'x' ? std::isxdigit(c) != 0 : c == want;
    if (!fits) return false;
  }
  return true;
}

/// Where the next line prefix starts at or after `from`, or the end of the text.
size_t NextLinePrefix(const std::string& text, size_t from) {
  for (size_t at = text.find("PROWLNET: ", from); at != std::string::npos; at = text.find("PROWLNET: ", at + 1)) {
    if (LinePrefixAt(text, at)) return at;
  }
  return text.size();
}

}  // namespace

LogCapture::LogCapture(const TempPrefix& prefix) : driveC_(prefix.DriveC()) {
  prefix.WriteDriveCFile("uc_dbg.cfg", "file=1;");
}

std::vector<std::string> LogCapture::Messages() const {
  const std::string text = WithoutTextMode(AllLogText(driveC_));
  std::vector<std::string> messages;
  for (size_t at = NextLinePrefix(text, 0); at < text.size();) {
    const size_t start = at + kLinePrefix.size();
    at = NextLinePrefix(text, start);
    messages.push_back(text.substr(start, at - start));
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
