// Update regions and painting: what a window has to update, WM_PAINT while it has something, and
// device contexts that draw onto its surface.
#include <algorithm>
#include <cstring>
#include <string>

#include "internal/loud.h"
#include "pal/kernel32.h"
#include "state.h"

namespace pal::user32 {
namespace {

bool IsEmpty(const RECT& rect) { return rect.left >= rect.right || rect.top >= rect.bottom; }

RECT Bounding(const RECT& a, const RECT& b) {
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
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
  std::shared_ptr<Window> window = OwnedWindow("BeginPaint", handle, OtherThread::kUnsupported);
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
