#include "engine/control_window.h"

#include <cstdio>
#include <mutex>
#include <string>

#include "engine/control_object.h"

namespace prowlnet {
namespace {

LRESULT ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* object = reinterpret_cast<CCProwlnet*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  // Messages of creation and destruction come while no object is attached.
  if (object == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return object->WindowMessage(message, wParam, lParam);
}

/// The class record; its address names the class, "ATL:" and the address in hexadecimal.
WNDCLASSEXW windowClass;
std::u16string className;
std::mutex classLock;
bool classRegistered = false;

/// Registers the class on the first creation that succeeds in doing so; a failed registration is
/// tried again by the next creation, which then reports its own failure (last error set).
bool RegisterControlWindowClass() {
  const std::lock_guard<std::mutex> hold(classLock);
  if (classRegistered) return true;
  char name[32];
  std::snprintf(name, sizeof name, "ATL:%016llX", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(&windowClass)));
  className.assign(name, name + std::char_traits<char>::length(name));
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  windowClass.lpfnWndProc = ControlWindowProc;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszClassName = className.c_str();
  classRegistered = RegisterClassExW(&windowClass) != 0;
  return classRegistered;
}

}  // namespace

HWND CreateControlWindow(CCProwlnet* object) {
  if (!RegisterControlWindowClass()) return nullptr;
  HWND window = CreateWindowExW(0, className.c_str(), u"MyAtlWindow", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                nullptr, nullptr);
  if (window != nullptr) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
  return window;
}

}  // namespace prowlnet
