// The kernel's threads as the C runtime starts them, and the hook by which a service above the
// kernel (USER32's message queues) lets go of what a thread held before the thread reads as ended.
#pragma once

#include "pal/windef.h"

namespace pal::kernel32 {

using ThreadRoutine = unsigned (*)(void* argument);

/// Starts a thread running `routine(argument)` and returns its handle, with its identifier in
/// `*id`; null with errno and the last error set when no thread can be made.
HANDLE StartThread(ThreadRoutine routine, void* argument, DWORD* id);

using ThreadEndHook = void (*)();

/// `hook` runs on every thread started by StartThread once its routine has returned, before the
/// thread reads as ended (its exit code set, its handle signalled).
void SetThreadEndHook(ThreadEndHook hook);

}  // namespace pal::kernel32
