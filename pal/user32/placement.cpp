// Visibility and placement: showing and hiding a window, its position, size and region, and its
// client area.
#include "internal/loud.h"
#include "pal/kernel32.h"
#include "state.h"

namespace pal::user32 {

RECT ClientOf(const Window& window) {
  return RECT{0, 0, window.rect.right - window.rect.left, window.rect.bottom - window.rect.top};
}

}  // namespace pal::user32

using namespace pal::user32;

BOOL ShowWindow(HWND handle, int command) {
  if (command != SW_SHOW && command != SW_HIDE) pal::internal::Unsupported("ShowWindow", "commands other than SW_SHOW and SW_HIDE");
  std::shared_ptr<Window> window = OwnedWindow("ShowWindow", handle, OtherThread::kUnsupported);
  if (window == nullptr) return FALSE;
  const bool show = command == SW_SHOW;
  State& state = TheState();
  bool wasVisible;
  {
    std::lock_guard lock(state.mutex);
    wasVisible = window->visible;
  }
  if (wasVisible == show) return wasVisible ? TRUE : FALSE;
  SendMessageW(handle, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  std::lock_guard lock(state.mutex);
  window->visible = show;
  if (show) {
    Invalidate(*window, nullptr, true);
  } else {
    RefreshPaintState(*window);
  }
  return wasVisible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND handle) {
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr) return FALSE;
  std::lock_guard lock(TheState().mutex);
  return window->visible ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND handle, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
  constexpr UINT kKnown = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
  if ((flags & ~kKnown) != 0 || insertAfter != nullptr) pal::internal::Unsupported("SetWindowPos", "z-order or these flags");
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  std::lock_guard lock(TheState().mutex);
  RECT& rect = window->rect;
  const LONG oldWidth = rect.right - rect.left;
  const LONG oldHeight = rect.bottom - rect.top;
  const LONG newWidth = (flags & SWP_NOSIZE) != 0 ? oldWidth : width;
  const LONG newHeight = (flags & SWP_NOSIZE) != 0 ? oldHeight : height;
  if ((flags & SWP_NOMOVE) == 0) {
    rect.left = x;
    rect.top = y;
  }
  rect.right = rect.left + newWidth;
  rect.bottom = rect.top + newHeight;
  if (newWidth != oldWidth || newHeight != oldHeight) Invalidate(*window, nullptr, true);
  return TRUE;
}

int SetWindowRgn(HWND handle, HRGN region, BOOL redraw) {
  std::shared_ptr<Window> window = WindowOf(handle);
  std::shared_ptr<pal::gdi32::Region> shape = region == nullptr ? nullptr : pal::gdi32::Find<pal::gdi32::Region>(region);
  if (window == nullptr || (region != nullptr && shape == nullptr)) {
    SetLastError(window == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_HANDLE);
    return 0;
  }
  if (region != nullptr) DeleteObject(region);  // the window owns it now; its rectangle is kept
  std::lock_guard lock(TheState().mutex);
  window->region = shape == nullptr ? std::nullopt : std::optional<RECT>(shape->rect);
  if (redraw) Invalidate(*window, nullptr, true);
  return 1;
}

BOOL GetClientRect(HWND handle, LPRECT rect) {
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr || rect == nullptr) {
    SetLastError(window == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(TheState().mutex);
  *rect = ClientOf(*window);
  return TRUE;
}

BOOL GetWindowRect(HWND handle, LPRECT rect) {
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr || rect == nullptr) {
    SetLastError(window == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(TheState().mutex);
  *rect = window->rect;
  return TRUE;
}
