#include "engine/control_window.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "engine/control_object.h"

namespace prowlnet {
namespace {

LRESULT ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* object = reinterpret_cast<CCProwlnet*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  // Messages of creation and destruction come while no object is attached.
  if (object == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return object->WindowMessage(message, wParam, lParam);
}

/// The class record; its address names the class, "ATL:" and the address in hexadecimal. Plain
/// data, with no destructor to run before the module's end unregisters the class.
WNDCLASSEXW windowClass;
char16_t className[32];
std::mutex classLock;
bool classRegistered = false;

/// Registers the class on the first creation that succeeds in doing so; a failed registration is
/// tried again by the next creation, which then reports its own failure (last error set).
bool RegisterControlWindowClass(HINSTANCE instance) {
  const std::lock_guard<std::mutex> hold(classLock);
  if (classRegistered) return true;
  char name[sizeof className / sizeof className[0]];
  const int length = std::snprintf(name, sizeof name, "ATL:%016llX",
                                   static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(&windowClass)));
  std::copy_n(name, length + 1, className);
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  windowClass.lpfnWndProc = ControlWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszClassName = className;
  classRegistered = RegisterClassExW(&windowClass) != 0;
  return classRegistered;
}

}  // namespace

HWND CreateControlWindow(CCProwlnet* object, HINSTANCE instance) {
  if (!RegisterControlWindowClass(instance)) return nullptr;
  HWND window = CreateWindowExW(0, className, u"MyAtlWindow", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, instance,
                                nullptr);
  if (window != nullptr) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
  return window;
}

void UnregisterControlWindowClass() {
  const std::lock_guard<std::mutex> hold(classLock);
  if (classRegistered && UnregisterClassW(className, windowClass.hInstance)) classRegistered = false;
}

}  // namespace prowlnet
