// The type library ProwlnetLib 1.0, carried by the module as its TYPELIB resource 1.
#pragma once

#include "pal/typelib_data.h"

namespace prowlnet::control {

extern const pal::TypeLibData kProwlnetLib;

}  // namespace prowlnet::control
