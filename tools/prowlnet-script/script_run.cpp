#include "prowlnet-script/script_run.h"

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "prowlnet-script/console_text.h"

namespace script_host {
namespace {

constexpr char kRunKey[] = DUK_HIDDEN_SYMBOL("scriptRun");

/// What the alarm writes; made when the limit is set, since a signal handler may only write.
char alarmMessage[1024];
size_t alarmMessageSize = 0;

void EndAtAlarm(int) {
  (void)!write(STDERR_FILENO, alarmMessage, alarmMessageSize);
  _exit(kScriptErrorExit);
}

std::string TimeoutMessage(const ScriptRun& run) {
  return run.script.path + ": Script execution time was exceeded (WScript.Timeout " +
         std::to_string(static_cast<long long>(run.timeoutSeconds)) + " s). Script execution terminated.\n";
}

void ArmAlarm(const ScriptRun& run) {
  const std::string message = ToConsole(TimeoutMessage(run));
  alarmMessageSize = std::min(message.size(), sizeof alarmMessage);
  message.copy(alarmMessage, alarmMessageSize);
  std::signal(SIGALRM, EndAtAlarm);
  const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - run.started).count();
  const double left = std::max(run.timeoutSeconds - elapsed, 0.0) + 1;
  itimerval timer{};
  timer.it_value.tv_sec = static_cast<time_t>(left);
  timer.it_value.tv_usec = static_cast<suseconds_t>((left - std::floor(left)) * 1e6);
  setitimer(ITIMER_REAL, &timer, nullptr);
}

}  // namespace

void AttachScriptRun(duk_context* ctx, ScriptRun* run) {
  duk_push_heap_stash(ctx);
  duk_push_pointer(ctx, run);
  duk_put_prop_string(ctx, -2, kRunKey);
  duk_pop(ctx);
}

ScriptRun& ScriptRunOf(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kRunKey);
  auto* run = static_cast<ScriptRun*>(duk_get_pointer(ctx, -1));
  duk_pop_2(ctx);
  return *run;
}

void EndProcess(ScriptRun& run, int status) {
  CancelTimeout();
  run.objects.ReleaseAll();
  std::fflush(stdout);
  std::fflush(stderr);
  if (run.host.cleanUp != nullptr) run.host.cleanUp();
  std::exit(status);
}

void SetTimeout(ScriptRun& run, double seconds) {
  // Whole seconds, as a 32-bit count: WScript.Timeout was one.
  run.timeoutSeconds = seconds > 0 ? std::min(std::trunc(seconds), 2147483647.0) : 0;
  if (run.timeoutSeconds > 0) {
    ArmAlarm(run);
  } else {
    CancelTimeout();
  }
}

std::optional<std::chrono::steady_clock::time_point> Deadline(const ScriptRun& run) {
  if (run.timeoutSeconds <= 0) return std::nullopt;
  return run.started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(run.timeoutSeconds));
}

bool TimedOut(const ScriptRun& run) {
  const auto deadline = Deadline(run);
  return deadline && std::chrono::steady_clock::now() >= *deadline;
}

void EndTimedOut(ScriptRun& run) {
  WriteToConsole(stderr, TimeoutMessage(run));
  EndProcess(run, kScriptErrorExit);
}

void CancelTimeout() {
  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
}

}  // namespace script_host
