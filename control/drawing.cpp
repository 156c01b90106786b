#include "control/drawing.h"

#include <string_view>

namespace prowlnet::control {
namespace {

constexpr std::u16string_view kCaption = u"ATL 8.0 : CProwlnet";

}  // namespace

HRESULT DrawControl(HDC dc, const RECT& bounds) {
  bool clipped = false;
  if (HRGN clip = CreateRectRgn(bounds.left, bounds.top, bounds.right, bounds.bottom); clip != nullptr) {
    clipped = SelectClipRgn(dc, clip) != ERROR;
    DeleteObject(clip);  // the device context clips to a copy of its own
  }
  Rectangle(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
  SetTextAlign(dc, TA_CENTER | TA_BASELINE);
  TextOutW(dc, (bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2, kCaption.data(),
           static_cast<int>(kCaption.size()));
  if (clipped) SelectClipRgn(dc, nullptr);
  return S_OK;
}

}  // namespace prowlnet::control
