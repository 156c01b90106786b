// The control's own window: hidden, top-level, carrying the search timer.
#pragma once

#include "pal/user32.h"

namespace prowlnet {

class CCProwlnet;

/// Registers the window class on first use in the process and creates the hidden control window
/// whose messages go to `object`. Null on failure, with the system's last error set.
HWND CreateControlWindow(CCProwlnet* object);

}  // namespace prowlnet
