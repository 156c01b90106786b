// The host thread's message loop, run while a test waits for something to happen.
#pragma once

#include <chrono>
#include <functional>

namespace test_support {

using namespace std::chrono_literals;

/// Dispatches the calling thread's messages until `done` holds or `timeout` passes; returns
/// whether `done` held. `done` is checked after every batch of messages and at least every 5 ms.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

/// Dispatches messages for the whole of `duration` (for checking that something does not happen).
void PumpFor(std::chrono::milliseconds duration);

}  // namespace test_support
