// Visibility, placement, update regions and painting onto a window's surface.
#include <algorithm>
#include <cstring>
#include <string>

#include "internal/loud.h"
#include "pal/kernel32.h"
#include "state.h"

namespace pal::user32 {
namespace {

RECT ClientOf(const Window& window) {
  return RECT{0, 0, window.rect.right - window.rect.left, window.rect.bottom - window.rect.top};
}

bool IsEmpty(const RECT& rect) { return rect.left >= rect.right || rect.top >= rect.bottom; }

RECT Bounding(const RECT& a, const RECT& b) {
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

/// The window, or null with the last error set; one of another thread cannot take part in these
/// calls, which would have to be sent across threads.
std::shared_ptr<Window> OwnedWindow(const char* call, HWND handle) {
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (window->owner != GetCurrentThreadId()) internal::Unsupported(call, "another thread's window");
  return window;
}

std::shared_ptr<gdi32::Surface> ScreenSurface() {
  static auto* screen = new std::shared_ptr<gdi32::Surface>(std::make_shared<gdi32::Surface>());
  return *screen;
}

/// A system colour brush (a colour index + 1) by its colour, any other brush as GDI names it.
std::string BrushName(HBRUSH brush) {
  const auto value = reinterpret_cast<UINT_PTR>(brush);
  if (value == COLOR_WINDOW + 1) return "COLOR_WINDOW";
  if (value > 0 && value <= 31) return "COLOR_" + std::to_string(value - 1);
  return gdi32::NameOf(brush);
}

}  // namespace

void RefreshPaintState(const Window& window) {
  State& state = TheState();
  auto found = state.queues.find(window.owner);
  if (found == state.queues.end()) return;
  MessageQueue& queue = *found->second;
  const bool needsPaint = window.visible && window.update.has_value();
  {
    std::lock_guard lock(queue.mutex);
    std::erase(queue.toPaint, window.handle);
    if (needsPaint) queue.toPaint.push_back(window.handle);
  }
  if (needsPaint) queue.changed.notify_all();
}

void Invalidate(Window& window, const RECT* rect, bool erase) {
  const RECT area = rect != nullptr ? *rect : ClientOf(window);
  if (IsEmpty(area)) return;
  window.update = window.update.has_value() ? Bounding(*window.update, area) : area;
  window.eraseBackground = window.eraseBackground || erase;
  RefreshPaintState(window);
}

}  // namespace pal::user32

using namespace pal::user32;

BOOL ShowWindow(HWND handle, int command) {
  if (command != SW_SHOW && command != SW_HIDE) pal::internal::Unsupported("ShowWindow", "commands other than SW_SHOW and SW_HIDE");
  std::shared_ptr<Window> window = OwnedWindow("ShowWindow", handle);
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

BOOL InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
  if (handle == nullptr) pal::internal::Unsupported("InvalidateRect", "invalidating every window");
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  std::lock_guard lock(TheState().mutex);
  Invalidate(*window, rect, erase != FALSE);
  return TRUE;
}

HDC BeginPaint(HWND handle, LPPAINTSTRUCT paint) {
  std::shared_ptr<Window> window = OwnedWindow("BeginPaint", handle);
  if (window == nullptr || paint == nullptr) return nullptr;
  std::memset(paint, 0, sizeof *paint);
  bool erase;
  {
    std::lock_guard lock(TheState().mutex);
    paint->rcPaint = window->update.value_or(RECT{0, 0, 0, 0});
    erase = window->eraseBackground;
    window->update.reset();
    window->eraseBackground = false;
    RefreshPaintState(*window);
  }
  paint->hdc = pal::gdi32::OpenDc(window->surface, DT_RASDISPLAY);
  paint->fErase = erase && SendMessageW(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint->hdc), 0) == 0;
  return paint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
  if (paint == nullptr) return FALSE;
  DeleteDC(paint->hdc);
  return TRUE;
}

HDC GetDC(HWND handle) {
  if (handle == nullptr) return pal::gdi32::OpenDc(ScreenSurface(), DT_RASDISPLAY);
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return pal::gdi32::OpenDc(window->surface, DT_RASDISPLAY);
}

int ReleaseDC(HWND, HDC dc) { return DeleteDC(dc) ? 1 : 0; }

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  std::shared_ptr<pal::gdi32::DeviceContext> context = pal::gdi32::Find<pal::gdi32::DeviceContext>(dc);
  if (context == nullptr || rect == nullptr) {
    SetLastError(context == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return 0;
  }
  context->surface->Add("FillRect " + pal::gdi32::Text(*rect) + " " + BrushName(brush));
  return 1;
}

std::vector<std::string> pal::DrawnOnWindow(HWND handle) {
  std::shared_ptr<Window> window = WindowOf(handle);
  return window == nullptr ? std::vector<std::string>{} : window->surface->Calls();
}
