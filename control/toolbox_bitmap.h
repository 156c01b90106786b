// The image that containers show for the control in their toolbox.
#pragma once

#include <cstddef>

namespace prowlnet::control {

inline constexpr size_t kToolboxBitmapSize = 232;
extern const unsigned char kToolboxBitmap[kToolboxBitmapSize];

}  // namespace prowlnet::control
