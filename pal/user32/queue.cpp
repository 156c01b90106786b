// Per-thread message queues, timers and the message loop.
#include <algorithm>

#include "internal/loud.h"
#include "kernel32/threads.h"
#include "pal/kernel32.h"
#include "state.h"

namespace pal::user32 {

namespace {

/// Removes the thread's queue when a thread that was not started by _beginthreadex ends.
struct QueueOwner {
  DWORD threadId = 0;
  ~QueueOwner() {
    if (threadId != 0) {
      State& state = TheState();
      std::lock_guard lock(state.mutex);
      state.queues.erase(threadId);
    }
  }
};
thread_local QueueOwner queueOwner;

/// Run by a thread that _beginthreadex started, before it reads as ended: later posts to the
/// thread fail, as they do for a thread that has ended.
void DropCurrentThreadQueue() {
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  state.queues.erase(GetCurrentThreadId());
}

}  // namespace

std::shared_ptr<MessageQueue> CurrentQueue() {
  State& state = TheState();
  const DWORD self = GetCurrentThreadId();
  std::lock_guard lock(state.mutex);
  std::shared_ptr<MessageQueue>& queue = state.queues[self];
  if (queue == nullptr) {
    queue = std::make_shared<MessageQueue>();
    queueOwner.threadId = self;
    kernel32::SetThreadEndHook(DropCurrentThreadQueue);
  }
  return queue;
}

std::shared_ptr<MessageQueue> QueueOf(DWORD threadId) {
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  auto found = state.queues.find(threadId);
  return found == state.queues.end() ? nullptr : found->second;
}

namespace {

BOOL Post(MessageQueue& queue, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard lock(queue.mutex);
    if (queue.posted.size() >= kPostedMessageLimit) {
      SetLastError(ERROR_NOT_ENOUGH_QUOTA);
      return FALSE;
    }
    queue.posted.push_back(MSG{window, message, wParam, lParam, GetTickCount(), POINT{0, 0}});
  }
  queue.changed.notify_all();
  return TRUE;
}

/// The timer that is due soonest, or null.
Timer* EarliestTimer(MessageQueue& queue) {
  auto earliest = std::min_element(queue.timers.begin(), queue.timers.end(),
                                   [](const Timer& a, const Timer& b) { return a.due < b.due; });
  return earliest == queue.timers.end() ? nullptr : &*earliest;
}

/// Takes (or, without `remove`, looks at) the next message; false if none is ready.
/// The queue's mutex must be held.
bool NextMessage(MessageQueue& queue, MSG* out, bool remove) {
  if (!queue.posted.empty()) {
    *out = queue.posted.front();
    if (remove) queue.posted.pop_front();
    return true;
  }
  if (queue.quit) {
    *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, GetTickCount(), POINT{0, 0}};
    if (remove) queue.quit = false;
    return true;
  }
  if (!queue.toPaint.empty()) {
    // Filed until the window is painted (BeginPaint), so it is never removed here.
    *out = MSG{queue.toPaint.front(), WM_PAINT, 0, 0, GetTickCount(), POINT{0, 0}};
    return true;
  }
  Timer* timer = EarliestTimer(queue);
  const Clock::time_point now = Clock::now();
  if (timer == nullptr || timer->due > now) return false;
  *out = MSG{timer->window, WM_TIMER, timer->id, reinterpret_cast<LPARAM>(timer->proc), GetTickCount(), POINT{0, 0}};
  if (remove) timer->due = now + std::chrono::milliseconds(timer->elapse);
  return true;
}

/// Waits until a message is ready or `deadline` passes; the lock is on `queue.mutex`.
bool WaitForMessage(MessageQueue& queue, std::unique_lock<std::mutex>& lock, Clock::time_point deadline) {
  MSG ignored;
  for (;;) {
    if (NextMessage(queue, &ignored, false)) return true;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    Clock::time_point wake = deadline;
    if (const Timer* timer = EarliestTimer(queue); timer != nullptr && timer->due < wake) wake = timer->due;
    queue.changed.wait_until(lock, wake);
  }
}

void RequireUnfiltered(const char* call, HWND window, UINT filterMin, UINT filterMax) {
  if (window != nullptr || filterMin != 0 || filterMax != 0) internal::Unsupported(call, "a message filter");
}

}  // namespace

BOOL PostToWindowOwner(const Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<MessageQueue> queue = QueueOf(window.owner);
  if (queue == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return Post(*queue, window.handle, message, wParam, lParam);
}

void DropWindowMessages(DWORD owner, HWND window) {
  std::shared_ptr<MessageQueue> queue = QueueOf(owner);
  if (queue == nullptr) return;
  std::lock_guard lock(queue->mutex);
  std::erase_if(queue->posted, [&](const MSG& m) { return m.hwnd == window; });
  std::erase_if(queue->timers, [&](const Timer& t) { return t.window == window; });
  std::erase(queue->toPaint, window);
  if (queue->focus == window) queue->focus = nullptr;
}

}  // namespace pal::user32

using namespace pal::user32;

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<MessageQueue> queue = QueueOf(threadId);
  if (queue == nullptr) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  return Post(*queue, nullptr, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  std::shared_ptr<MessageQueue> queue = CurrentQueue();
  {
    std::lock_guard lock(queue->mutex);
    queue->quit = true;
    queue->quitCode = exitCode;
  }
  queue->changed.notify_all();
}

BOOL GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  RequireUnfiltered("GetMessageW", window, filterMin, filterMax);
  std::shared_ptr<MessageQueue> queue = CurrentQueue();
  std::unique_lock lock(queue->mutex);
  WaitForMessage(*queue, lock, Clock::time_point::max());
  NextMessage(*queue, msg, true);
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage) {
  RequireUnfiltered("PeekMessageW", window, filterMin, filterMax);
  if ((removeMessage & ~PM_REMOVE) != 0) pal::internal::Unsupported("PeekMessageW", "these flags");
  std::shared_ptr<MessageQueue> queue = CurrentQueue();
  std::lock_guard lock(queue->mutex);
  return NextMessage(*queue, msg, removeMessage == PM_REMOVE) ? TRUE : FALSE;
}

DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE*, DWORD milliseconds, DWORD wakeMask, DWORD flags) {
  if (count != 0 || wakeMask != QS_ALLINPUT || flags != MWMO_INPUTAVAILABLE)
    pal::internal::Unsupported("MsgWaitForMultipleObjectsEx", "handles, a wake mask or flags other than input");
  std::shared_ptr<MessageQueue> queue = CurrentQueue();
  std::unique_lock lock(queue->mutex);
  const Clock::time_point deadline =
      milliseconds == INFINITE ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(milliseconds);
  return WaitForMessage(*queue, lock, deadline) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
  if (window == nullptr) pal::internal::Unsupported("SetTimer", "a thread timer");
  if (OwnedWindow("SetTimer", window, OtherThread::kRefuse) == nullptr) return 0;
  elapse = std::max(elapse, USER_TIMER_MINIMUM);
  std::shared_ptr<MessageQueue> queue = CurrentQueue();
  {
    std::lock_guard lock(queue->mutex);
    std::erase_if(queue->timers, [&](const Timer& t) { return t.window == window && t.id == id; });
    queue->timers.push_back(Timer{window, id, elapse, timerProc, Clock::now() + std::chrono::milliseconds(elapse)});
  }
  queue->changed.notify_all();
  return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  std::shared_ptr<Window> target = WindowOf(window);
  std::shared_ptr<MessageQueue> queue = target == nullptr ? nullptr : QueueOf(target->owner);
  if (queue == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  std::lock_guard lock(queue->mutex);
  if (std::erase_if(queue->timers, [&](const Timer& t) { return t.window == window && t.id == id; }) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}
