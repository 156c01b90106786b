// The control's own window: hidden, top-level, carrying the search timer.
#pragma once

#include "pal/user32.h"

namespace prowlnet {

class CCProwlnet;

/// Registers the window class on first use, as the class of `instance` (the module that holds
/// the control; null in a program that links the engine itself), and creates the hidden control
/// window whose messages go to `object`. Null on failure, with the system's last error set.
HWND CreateControlWindow(CCProwlnet* object, HINSTANCE instance);

/// Unregisters the window class, if it is registered and no window of it is left. The module
/// that holds the control calls it as it is unloaded: a class outlives the module that
/// registered it, and its procedure is the module's code.
void UnregisterControlWindowClass();

}  // namespace prowlnet
