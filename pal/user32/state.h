// USER32's process-wide state: window classes, windows and per-thread message queues.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "gdi32/gdi.h"
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
  /// The thread's visible windows with something to update: each gets WM_PAINT until painted.
  std::vector<HWND> toPaint;
  HWND focus = nullptr;
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
  UINT classStyle = 0;
  HBRUSH background = nullptr;
  RECT rect;
  LONG_PTR userData = 0;
  bool visible = false;
  std::optional<RECT> update;  // client coordinates; none when the window is valid
  bool eraseBackground = false;
  std::optional<RECT> region;
  std::shared_ptr<gdi32::Surface> surface = std::make_shared<gdi32::Surface>();
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

/// A window belongs to the thread that made it. What a call that needs the owner's thread does
/// with another thread's window:
enum class OtherThread {
  kRefuse,       // fail with ERROR_ACCESS_DENIED: Windows keeps the call to the owner's thread too
  kUnsupported,  // stop loudly: the call runs the window's procedure, which this layer does only on
                 // the owner's thread
};

/// The window `handle` names, when the calling thread owns it. Null with
/// ERROR_INVALID_WINDOW_HANDLE when there is no such window; another thread's window as `policy` says.
std::shared_ptr<Window> OwnedWindow(const char* call, HWND handle, OtherThread policy);

/// The client area: the window's size, at (0, 0).
RECT ClientOf(const Window& window);
/// Appends a message for `window` to its owner's queue.
BOOL PostToWindowOwner(const Window& window, UINT message, WPARAM wParam, LPARAM lParam);
/// Forgets the posted messages, timers, paint and focus of a window that is going away.
void DropWindowMessages(DWORD owner, HWND window);
/// Files the window for WM_PAINT in its owner's queue while it is visible and has something to
/// update, and withdraws it otherwise. The state's mutex must be held.
void RefreshPaintState(const Window& window);
/// Adds `rect` (all of the client area for null) to the window's update region. The state's
/// mutex must be held.
void Invalidate(Window& window, const RECT* rect, bool erase);

}  // namespace pal::user32
