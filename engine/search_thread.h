// The search thread: owns the discovery socket, receives replies, broadcasts queued requests
// and keeps the host network block filled, recovering from every socket failure by itself.
#pragma once

#include <memory>

#include "engine/broadcast.h"
#include "engine/shared_state.h"
#include "pal/kernel32.h"

namespace prowlnet {

constexpr unsigned short kFirstLocalPort = 3002;
constexpr unsigned short kDevicePort = 3001;
constexpr int kReceiveBufferBytes = 4 << 20;  // a burst of 1000 replies of up to 2048 bytes

/// With fast search, the most datagrams one pass reads before it sends: a burst of 1000 replies
/// takes four passes, and a pass stays short (256 replies are read in about 15 ms), so a stop
/// is still noticed at once.
constexpr int kFastReceivesPerPass = 256;

/// With fast search, the most requests one pass sends: a modification for every camera of a full
/// table leaves in one pass rather than one pass each.
constexpr int kFastSendsPerPass = 1000;

/// The thread's start argument; the thread takes ownership and frees it.
struct SearchThreadStart {
  std::shared_ptr<SharedState> shared;
  /// Fast search: the first search request goes out as the thread starts rather than at the
  /// first tick, and each pass reads every datagram waiting (up to kFastReceivesPerPass) and sends
  /// every request queued (up to kFastSendsPerPass) rather than one of each.
  bool fastSearch = false;
  /// The interfaces requests go out of; empty for every one that can carry them.
  InterfaceLimit interfaces;
};

/// The thread routine; `argument` is a SearchThreadStart made with new. Returns 0.
unsigned ProwlnetThread(void* argument);

/// Keeps the handle of a search thread that was given up on while it still ran, until it ends.
void KeepAbandonedSearchThread(HANDLE thread);

/// Whether a search thread that was given up on still runs. Its code is this module's: the
/// module must not be unloaded under it.
bool AbandonedSearchThreadsRun();

}  // namespace prowlnet
