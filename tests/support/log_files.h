// Reading the diagnostic log files that a test's emulated machine holds.
#pragma once

#include <string>
#include <vector>

namespace test_support {

/// Names of the log files at the root of drive c: (PROWLNET_*.log), sorted.
std::vector<std::string> LogFileNames(const std::string& driveC);

/// All log files' contents, concatenated in name order.
std::string AllLogText(const std::string& driveC);

/// How many times `needle` occurs in `text`.
size_t Occurrences(const std::string& text, const std::string& needle);

}  // namespace test_support
