#include "support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

extern char** environ;

namespace test_support {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

/// Waits for `pid` until `deadline`; its exit status, or -1 (killed at the deadline, or no normal exit).
int WaitForChild(pid_t pid, Clock::time_point deadline) {
  int status = 0;
  pid_t done;
  while ((done = waitpid(pid, &status, WNOHANG)) == 0 && MillisecondsLeft(deadline) > 0) {
    pollfd none{-1, 0, 0};
    poll(&none, 0, 5);
  }
  if (done != pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t ThreadCount() {
  std::error_code error;
  size_t count = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/task", error); !error && it != std::filesystem::directory_iterator();
       it.increment(error))
    ++count;
  return count;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& errorPath) {
  int toChild[2], fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0) return;
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
  if (!errorPath.empty())
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(toChild[0]);
  close(fromChild[1]);
  input_ = toChild[1];
  outputFd_ = fromChild[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (input_ >= 0) close(input_);
  if (outputFd_ >= 0) close(outputFd_);
}

std::string ChildProcess::Read(size_t count, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::string got;
  while (got.size() < count) {
    pollfd ready{outputFd_, POLLIN, 0};
    if (poll(&ready, 1, MillisecondsLeft(deadline)) <= 0) break;
    char buffer[256];
    const ssize_t n = read(outputFd_, buffer, std::min(sizeof buffer, count - got.size()));
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  output_ += got;
  return got;
}

bool ChildProcess::Write(const std::string& bytes) {
  return write(input_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

bool ChildProcess::Signal(int signal) { return pid_ > 0 && kill(pid_, signal) == 0; }

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  close(input_);
  input_ = -1;
  for (;;) {
    pollfd ready{outputFd_, POLLIN, 0};
    if (poll(&ready, 1, MillisecondsLeft(deadline)) <= 0) break;
    char buffer[256];
    const ssize_t n = read(outputFd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output_.append(buffer, static_cast<size_t>(n));
  }
  // The output ends when the child exits; a child still running now is past its deadline.
  const int status = WaitForChild(pid_, deadline);
  pid_ = -1;
  return status;
}

int RunAsNobody(const std::function<int()>& body, std::chrono::milliseconds timeout) {
  if (ThreadCount() != 1) {
    std::fprintf(stderr, "RunAsNobody: this process has more than one thread\n");
    return -1;
  }
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr) return -1;
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0) _exit(127);
    const int result = body();
    std::fflush(nullptr);
    _exit(result);
  }
  return WaitForChild(pid, Clock::now() + timeout);
}

}  // namespace test_support
