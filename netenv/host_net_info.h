// The host's own network parameters.
#pragma once

#include "engine/shared_state.h"

namespace prowlnet {

/// Fills the host network block of `shared` from the platform's IP Helper services.
int LoadHostNetInfo(SharedState& shared);

}  // namespace prowlnet
