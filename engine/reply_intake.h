// The intake of search replies: a device that describes itself is entered in the device table,
// or refreshes its record in place.
#pragma once

#include "engine/shared_state.h"

namespace prowlnet {

/// Enters the reply `text` of `length` bytes (zero-terminated) into the device table of `shared`.
void HandleSearchReply(SharedState& shared, const char* text, int length);

}  // namespace prowlnet
