#include "serve/control_thread.h"

#include "pal/kernel32.h"
#include "pal/user32.h"

namespace prowlnet_cli {
namespace {

/// The thread message that only wakes the control's thread for a new task or the stop.
constexpr UINT kWakeMessage = WM_APP + 1;

}  // namespace

ControlThread::ControlThread() : threadId_(GetCurrentThreadId()) {
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from now on
}

void ControlThread::Run(const std::function<void()>& tick, std::chrono::milliseconds period) {
  auto nextTick = std::chrono::steady_clock::now();
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.hwnd != nullptr) DispatchMessageW(&message);
    }
    while (std::optional<std::function<void()>> task = NextTask()) (*task)();
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      if (stopped_) break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= nextTick) {
      tick();
      nextTick = now + period;
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - std::chrono::steady_clock::now());
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::max<long>(wait.count(), 1)), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
  const std::lock_guard<std::mutex> hold(mutex_);
  tasks_.clear();
}

void ControlThread::Stop() {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    stopped_ = true;
  }
  PostThreadMessageW(threadId_, kWakeMessage, 0, 0);
}

bool ControlThread::Post(std::function<void()> task) {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (stopped_) return false;
    tasks_.push_back(std::move(task));
  }
  PostThreadMessageW(threadId_, kWakeMessage, 0, 0);
  return true;
}

std::optional<std::function<void()>> ControlThread::NextTask() {
  const std::lock_guard<std::mutex> hold(mutex_);
  if (tasks_.empty()) return std::nullopt;
  std::function<void()> task = std::move(tasks_.front());
  tasks_.pop_front();
  return task;
}

}  // namespace prowlnet_cli
