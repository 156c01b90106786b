// USER32's process-wide state: window classes, windows and per-thread message queues.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "pal/user32.h"

namespace pal::user32 {

using Clock = std::chrono::steady_clock;

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  Clock::time_point due;
};

struct MessageQueue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<MSG> posted;
  std::vector<Timer> timers;
  bool quit = false;
  int quitCode = 0;
};

struct WindowClass {
  std::u16string name;
  ATOM atom;
  WNDCLASSEXW info;
};

struct Window {
  HWND handle;
  DWORD owner;
  WNDPROC proc;
  std::u16string className;
  std::u16string title;
  DWORD style;
  DWORD exStyle;
  RECT rect;
  LONG_PTR userData = 0;
};

/// Everything below is guarded by `mutex`; a queue's contents by the queue's own mutex.
struct State {
  std::mutex mutex;
  std::unordered_map<DWORD, std::shared_ptr<MessageQueue>> queues;
  std::unordered_map<UINT_PTR, std::shared_ptr<Window>> windows;
  std::vector<WindowClass> classes;
  UINT_PTR nextWindow = 0x10010;
  ATOM nextAtom = 0xC000;
};

State& TheState();

/// The calling thread's queue, made on first use.
std::shared_ptr<MessageQueue> CurrentQueue();
/// The queue of a thread, or null if it has none.
std::shared_ptr<MessageQueue> QueueOf(DWORD threadId);
std::shared_ptr<Window> WindowOf(HWND window);
/// Appends a message for `window` to its owner's queue.
BOOL PostToWindowOwner(const Window& window, UINT message, WPARAM wParam, LPARAM lParam);
/// Forgets the posted messages and timers of a window that is going away.
void DropWindowMessages(DWORD owner, HWND window);

}  // namespace pal::user32
