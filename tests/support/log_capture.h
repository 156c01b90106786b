// The diagnostic log of one test, read back message by message from its files under the test's
// emulated machine.
#pragma once

#include <string>
#include <vector>

#include "support/temp_prefix.h"

namespace test_support {

class LogCapture {
 public:
  /// Writes c:\uc_dbg.cfg so that the log, at its next first open, writes to a file.
  explicit LogCapture(const TempPrefix& prefix);

  /// Every message written so far, in order: the text after the module, time and thread prefix,
  /// with the file's CR LF turned back into the LF that was logged.
  std::vector<std::string> Messages() const;

  /// How many messages equal `message` exactly.
  int Count(const std::string& message) const;

  /// The index of the first message equal to `message` at or after `from`, or -1.
  int IndexOf(const std::string& message, int from = 0) const;

 private:
  std::string driveC_;
};

}  // namespace test_support
