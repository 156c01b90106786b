// Window classes, windows and message dispatch.
#include <algorithm>
#include <utility>

#include "internal/loud.h"
#include "pal/kernel32.h"
#include "state.h"

using namespace pal::user32;

namespace {

bool IsAtom(LPCWSTR name) { return reinterpret_cast<ULONG_PTR>(name) < 0x10000; }

std::u16string LowerAscii(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return lower;
}

/// The class named by a string or an atom; the state's mutex must be held.
WindowClass* FindClass(State& state, LPCWSTR name) {
  if (name == nullptr) return nullptr;
  for (WindowClass& c : state.classes) {
    if (IsAtom(name) ? c.atom == reinterpret_cast<ULONG_PTR>(name) : LowerAscii(c.name) == LowerAscii(name)) return &c;
  }
  return nullptr;
}

LRESULT CallProcedure(const Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
  return window.proc(window.handle, message, wParam, lParam);
}

/// Fills the client area with the class's background brush: 1 when there is one, 0 otherwise.
LRESULT EraseBackground(HWND handle, HDC dc) {
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr || window->background == nullptr) return 0;
  RECT client;
  GetClientRect(handle, &client);
  return FillRect(dc, &client, window->background) != 0 ? 1 : 0;
}

/// Copies `text` into `buffer`, cut to `size` - 1 characters and terminated; the characters copied.
int CopyCut(const std::u16string& text, LPWSTR buffer, int size) {
  if (buffer == nullptr || size <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const size_t copied = std::min(text.size(), static_cast<size_t>(size) - 1);
  std::copy_n(text.data(), copied, buffer);
  buffer[copied] = u'\0';
  return static_cast<int>(copied);
}

void RemoveWindow(const Window& window) {
  DropWindowMessages(window.owner, window.handle);
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  state.windows.erase(reinterpret_cast<UINT_PTR>(window.handle));
}

}  // namespace

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  if (instance != nullptr || name != IDC_ARROW) pal::internal::Unsupported("LoadCursorW", "cursors other than the arrow");
  static char arrow;  // the system's shared arrow cursor; nothing here ever draws it
  return reinterpret_cast<HCURSOR>(&arrow);
}

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass) {
  if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXW) || windowClass->lpfnWndProc == nullptr ||
      windowClass->lpszClassName == nullptr || IsAtom(windowClass->lpszClassName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  if (FindClass(state, windowClass->lpszClassName) != nullptr) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  WindowClass entry{windowClass->lpszClassName, state.nextAtom++, *windowClass};
  entry.info.lpszClassName = nullptr;  // the caller's string need not outlive the call
  state.classes.push_back(std::move(entry));
  return state.classes.back().atom;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  WindowClass* found = FindClass(state, className);
  if (found == nullptr) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return FALSE;
  }
  const std::u16string name = LowerAscii(found->name);
  for (const auto& [handle, window] : state.windows) {
    if (LowerAscii(window->className) == name) {
      SetLastError(ERROR_CLASS_HAS_WINDOWS);
      return FALSE;
    }
  }
  std::erase_if(state.classes, [&](const WindowClass& c) { return &c == found; });
  return TRUE;
}

BOOL GetClassInfoExW(HINSTANCE, LPCWSTR className, WNDCLASSEXW* windowClass) {
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  const WindowClass* found = FindClass(state, className);
  if (found == nullptr || windowClass == nullptr) {
    SetLastError(found == nullptr ? ERROR_CANNOT_FIND_WND_CLASS : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *windowClass = found->info;
  windowClass->lpszClassName = className;
  return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (parent != nullptr) pal::internal::Unsupported("CreateWindowExW", "child windows");
  auto window = std::make_shared<Window>();
  {
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    const WindowClass* windowClass = FindClass(state, className);
    if (windowClass == nullptr) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    if (state.windows.size() >= kWindowQuota) {
      SetLastError(ERROR_NO_MORE_USER_HANDLES);
      return nullptr;
    }
    window->handle = reinterpret_cast<HWND>(state.nextWindow);
    state.nextWindow += 2;
    window->owner = GetCurrentThreadId();
    window->proc = windowClass->info.lpfnWndProc;
    window->className = windowClass->name;
    window->title = windowName != nullptr ? windowName : u"";
    window->style = style & ~WS_VISIBLE;  // ShowWindow below makes it visible
    window->exStyle = exStyle;
    window->classStyle = windowClass->info.style;
    window->background = windowClass->info.hbrBackground;
    window->rect = RECT{x, y, x + width, y + height};
    state.windows.emplace(reinterpret_cast<UINT_PTR>(window->handle), window);
  }
  CurrentQueue();  // the owner has a queue from now on

  CREATESTRUCTW create{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                       windowName, className, exStyle};
  const LPARAM createParam = reinterpret_cast<LPARAM>(&create);
  if (!CallProcedure(*window, WM_NCCREATE, 0, createParam) || CallProcedure(*window, WM_CREATE, 0, createParam) == -1) {
    DestroyWindow(window->handle);
    return nullptr;
  }
  if ((style & WS_VISIBLE) != 0) ShowWindow(window->handle, SW_SHOW);
  return window->handle;
}

BOOL DestroyWindow(HWND handle) {
  std::shared_ptr<Window> window = OwnedWindow("DestroyWindow", handle, OtherThread::kRefuse);
  if (window == nullptr) return FALSE;
  if (GetFocus() == handle) SetFocus(nullptr);
  CallProcedure(*window, WM_DESTROY, 0, 0);
  CallProcedure(*window, WM_NCDESTROY, 0, 0);
  RemoveWindow(*window);
  return TRUE;
}

BOOL IsWindow(HWND handle) { return WindowOf(handle) != nullptr ? TRUE : FALSE; }

LONG_PTR SetWindowLongPtrW(HWND handle, int index, LONG_PTR value) {
  if (index != GWLP_USERDATA) pal::internal::Unsupported("SetWindowLongPtrW", "indexes other than GWLP_USERDATA");
  std::shared_ptr<Window> window = WindowOf(handle);  // any thread of the process may, as on Windows
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  return std::exchange(window->userData, value);
}

LONG_PTR GetWindowLongPtrW(HWND handle, int index) {
  if (index != GWLP_USERDATA && index != GWL_STYLE && index != GWL_EXSTYLE)
    pal::internal::Unsupported("GetWindowLongPtrW", "indexes other than GWLP_USERDATA, GWL_STYLE and GWL_EXSTYLE");
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  if (index == GWL_STYLE) return static_cast<LONG_PTR>(window->style | (window->visible ? WS_VISIBLE : 0));
  if (index == GWL_EXSTYLE) return static_cast<LONG_PTR>(window->exStyle);
  return window->userData;
}

int GetClassNameW(HWND handle, LPWSTR name, int size) {
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return CopyCut(window->className, name, size);
}

int GetWindowTextW(HWND handle, LPWSTR text, int size) {
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  std::lock_guard lock(TheState().mutex);
  return CopyCut(window->title, text, size);
}

LRESULT DefWindowProcW(HWND handle, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_NCCREATE:
      return TRUE;  // a window without a non-client area accepts its creation
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (BeginPaint(handle, &paint) != nullptr) EndPaint(handle, &paint);
      return 0;
    }
    case WM_ERASEBKGND:
      return EraseBackground(handle, reinterpret_cast<HDC>(wParam));
    default:
      return 0;  // nothing else needs an action without a display
  }
}

LRESULT SendMessageW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Window> window = OwnedWindow("SendMessageW", handle, OtherThread::kUnsupported);
  return window == nullptr ? 0 : CallProcedure(*window, message, wParam, lParam);
}

BOOL PostMessageW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Window> window = WindowOf(handle);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return PostToWindowOwner(*window, message, wParam, lParam);
}

LRESULT DispatchMessageW(const MSG* msg) {
  if (msg == nullptr) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  if (msg->hwnd == nullptr) return 0;  // thread messages have no procedure
  std::shared_ptr<Window> window = OwnedWindow("DispatchMessageW", msg->hwnd, OtherThread::kRefuse);
  return window == nullptr ? 0 : CallProcedure(*window, msg->message, msg->wParam, msg->lParam);
}
