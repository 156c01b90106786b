// Device contexts and painting as the control framework relies on them: the state SaveDC keeps,
// and WM_PAINT for a shown window until it is painted.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pal/user32.h"
#include "pal/wingdi.h"

namespace {

TEST(DeviceContext, RestoreDCBringsBackTheSelectionAlignmentAndClip) {
  const HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  ASSERT_EQ(SaveDC(dc), 1);
  SelectObject(dc, GetStockObject(WHITE_PEN));
  SetTextAlign(dc, TA_CENTER);
  const HRGN region = CreateRectRgn(0, 0, 10, 10);
  EXPECT_EQ(SelectClipRgn(dc, region), SIMPLEREGION);
  DeleteObject(region);
  ASSERT_TRUE(RestoreDC(dc, -1));
  EXPECT_FALSE(RestoreDC(dc, -1)) << "nothing left to restore";
  EXPECT_EQ(GetTextAlign(dc), TA_LEFT | TA_TOP);
  Rectangle(dc, 1, 2, 3, 4);
  EXPECT_EQ(pal::DrawnOn(dc), (std::vector<std::string>{"SetTextAlign 6", "SelectClipRgn 0,0,10,10",
                                                         "Rectangle 1,2,3,4 BLACK_PEN WHITE_BRUSH"}));
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_EQ(GetTextAlign(dc), GDI_ERROR);
}

std::vector<UINT>* painted = nullptr;

LRESULT RecordPaint(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT || message == WM_SHOWWINDOW || message == WM_ERASEBKGND) painted->push_back(message);
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST(Painting, AShownWindowGetsWmPaintUntilItIsPaintedAndAHiddenOneNever) {
  std::vector<UINT> seen;
  painted = &seen;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = RecordPaint;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszClassName = u"PaintTest";
  ASSERT_NE(RegisterClassExW(&windowClass), 0);
  const HWND window = CreateWindowExW(0, u"PaintTest", u"", WS_POPUP, 0, 0, 30, 20, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  MSG msg;
  InvalidateRect(window, nullptr, TRUE);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "hidden: nothing to paint";

  EXPECT_FALSE(ShowWindow(window, SW_SHOW));
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_PAINT);
  EXPECT_EQ(msg.hwnd, window);
  DispatchMessageW(&msg);  // the default procedure paints: it erases and validates
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(seen, (std::vector<UINT>{WM_SHOWWINDOW, WM_PAINT, WM_ERASEBKGND}));
  EXPECT_EQ(pal::DrawnOnWindow(window), (std::vector<std::string>{"FillRect 0,0,30,20 COLOR_WINDOW"}));
  DestroyWindow(window);
  painted = nullptr;
}

}  // namespace
