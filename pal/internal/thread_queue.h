// Hooks between the kernel's threads and USER32's per-thread message queues.
#pragma once

namespace pal::internal {

/// Removes the calling thread's message queue, if it has one: later posts to the thread fail,
/// as they do for a thread that has ended. Called by a thread just before it ends.
void DropCurrentThreadQueue();

}  // namespace pal::internal
