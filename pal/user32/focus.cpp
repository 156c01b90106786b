// The keyboard focus of a thread, and the keyboard that is not there.
#include "pal/kernel32.h"
#include "state.h"

using namespace pal::user32;

HWND SetFocus(HWND handle) {
  if (handle != nullptr && OwnedWindow("SetFocus", handle, OtherThread::kUnsupported) == nullptr) return nullptr;
  std::shared_ptr<MessageQueue> queue = CurrentQueue();
  HWND previous;
  {
    std::lock_guard lock(queue->mutex);
    previous = queue->focus;
  }
  if (previous == handle) return previous;
  if (previous != nullptr) SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(handle), 0);
  {
    std::lock_guard lock(queue->mutex);
    queue->focus = handle;
  }
  if (handle != nullptr) SendMessageW(handle, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

HWND GetFocus() {
  std::shared_ptr<MessageQueue> queue = QueueOf(GetCurrentThreadId());
  if (queue == nullptr) return nullptr;
  std::lock_guard lock(queue->mutex);
  return queue->focus;
}

BOOL IsChild(HWND, HWND) { return FALSE; }

SHORT GetKeyState(int) { return 0; }
