// The thread that owns the control in the web host. Every call to the control is made there:
// other threads post tasks, and between tasks the thread pumps its messages so that the
// control's window and timer live.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>

#include "pal/windef.h"

namespace prowlnet_cli {

class ControlThread {
 public:
  /// The calling thread becomes the control's thread.
  ControlThread();
  ControlThread(const ControlThread&) = delete;
  ControlThread& operator=(const ControlThread&) = delete;

  /// Runs posted tasks, `tick` every `period` and the thread's messages until Stop. On the
  /// control's thread.
  void Run(const std::function<void()>& tick, std::chrono::milliseconds period);
  /// From any thread: Run returns after the task it is running; later tasks are dropped.
  void Stop();

  /// Queues `task` for the control's thread; false once stopped.
  bool Post(std::function<void()> task);

  /// Runs `task` on the control's thread and waits for its result; nothing when the thread
  /// stopped before it ran.
  template <typename Task>
  auto Call(Task task) -> std::optional<std::conditional_t<std::is_void_v<decltype(task())>, bool, decltype(task())>> {
    using Result = decltype(task());
    auto promise = std::make_shared<std::promise<Result>>();
    std::future<Result> future = promise->get_future();
    const bool posted = Post([promise, task = std::move(task)]() mutable {
      if constexpr (std::is_void_v<Result>) {
        task();
        promise->set_value();
      } else {
        promise->set_value(task());
      }
    });
    if (!posted) return std::nullopt;
    try {
      if constexpr (std::is_void_v<Result>) {
        future.get();
        return true;
      } else {
        return future.get();
      }
    } catch (const std::future_error&) {
      return std::nullopt;  // dropped at the stop
    }
  }

 private:
  /// Takes the next task, or nothing.
  std::optional<std::function<void()>> NextTask();

  DWORD threadId_;
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
  bool stopped_ = false;
};

}  // namespace prowlnet_cli
