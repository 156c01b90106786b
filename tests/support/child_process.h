// A program run as a second process with pipes on its standard input and output, waited for
// with a deadline.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace test_support {

class ChildProcess {
 public:
  /// Starts `argv[0]` with `argv`, in the environment of this process. Its standard error goes to
  /// the file `errorPath` when one is given, else to this process's.
  explicit ChildProcess(const std::vector<std::string>& argv, const std::string& errorPath = {});
  /// Kills the child if it still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  /// Reads exactly `count` bytes of output, or fewer when the deadline passes or output ends.
  std::string Read(size_t count, std::chrono::milliseconds timeout);
  bool Write(const std::string& bytes);
  /// Sends the child `signal`; false when it has been waited for already.
  bool Signal(int signal);
  /// Collects the rest of the output and the exit status; -1 when the child had to be killed at
  /// the deadline or did not exit normally.
  int Wait(std::chrono::milliseconds timeout);
  const std::string& output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int outputFd_ = -1;
  std::string output_;
};

/// Runs `body` in a forked child as the user nobody (group nogroup, no supplementary groups, so no
/// capability either), in the network namespace of the calling thread. The child's exit status is
/// what `body` returns (127 when the privileges could not be dropped); -1 when it did not end
/// within `timeout`, or this process has more than one thread (a forked child holds only the
/// calling one, and a lock another thread held stays locked there).
int RunAsNobody(const std::function<int()>& body, std::chrono::milliseconds timeout);

}  // namespace test_support
