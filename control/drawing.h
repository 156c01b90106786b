// What the control looks like: its rectangle and its name.
#pragma once

#include "pal/wingdi.h"

namespace prowlnet::control {

/// Draws the control within `bounds` on `dc`: clipped to the bounds, their rectangle with the
/// device context's pen and brush, and "ATL 8.0 : CProwlnet" centred on its baseline at the
/// middle of the bounds; the clipping is removed again. Always S_OK.
HRESULT DrawControl(HDC dc, const RECT& bounds);

}  // namespace prowlnet::control
