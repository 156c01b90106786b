// The search thread: owns the discovery socket, receives replies, broadcasts queued requests
// and keeps the host network block filled, recovering from every socket failure by itself.
#pragma once

#include <memory>

#include "engine/broadcast.h"
#include "engine/shared_state.h"

namespace prowlnet {

constexpr unsigned short kFirstLocalPort = 3002;
constexpr unsigned short kDevicePort = 3001;
constexpr int kReceiveBufferBytes = 4 << 20;  // a burst of 1000 replies of up to 2048 bytes

/// The thread's start argument; the thread takes ownership and frees it.
struct SearchThreadStart {
  std::shared_ptr<SharedState> shared;
  /// The interfaces requests go out of; empty for every one that can carry them.
  InterfaceLimit interfaces;
};

/// The thread routine; `argument` is a SearchThreadStart made with new. Returns 0.
unsigned ProwlnetThread(void* argument);

}  // namespace prowlnet
