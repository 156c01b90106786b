#include "support/window_quota.h"

#include "pal/user32.h"

namespace test_support {

bool UseUpWindowQuota() {
  WNDCLASSEXW filler{};
  filler.cbSize = sizeof filler;
  filler.lpfnWndProc = DefWindowProcW;
  filler.lpszClassName = u"Filler";
  if (RegisterClassExW(&filler) == 0) return false;
  while (CreateWindowExW(0, u"Filler", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr) != nullptr) {
  }
  return true;
}

}  // namespace test_support
