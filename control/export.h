// The module's exports: these functions alone are visible outside it, by name.
#pragma once

#define PROWLNET_EXPORT extern "C" __attribute__((visibility("default")))
