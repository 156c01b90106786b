// USER32's process-wide state, and finding a window in it.
#include "internal/loud.h"
#include "pal/kernel32.h"
#include "state.h"

namespace pal::user32 {

State& TheState() {
  static auto* state = new State;  // threads may outlast main
  return *state;
}

std::shared_ptr<Window> WindowOf(HWND window) {
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  auto found = state.windows.find(reinterpret_cast<UINT_PTR>(window));
  return found == state.windows.end() ? nullptr : found->second;
}

std::shared_ptr<Window> OwnedWindow(const char* call, HWND handle, OtherThread policy) {
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (window->owner == GetCurrentThreadId()) return window;
  if (policy == OtherThread::kUnsupported) internal::Unsupported(call, "another thread's window");
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}

}  // namespace pal::user32
