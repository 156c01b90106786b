// What every host of a control runs on its apartment thread: the message pump that keeps the
// thread's windows and timers alive while it waits, and UTF-8 text to and from automation strings
// (hosts talk to people and files in UTF-8, whatever the ANSI code page).
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "pal/atlbase.h"

namespace pal {

/// Dispatches the calling thread's messages until `done` holds or `timeout` passes; returns
/// whether `done` held. `done` is checked after every batch of messages and at least every 5 ms.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

/// Dispatches messages for the whole of `duration`.
void PumpFor(std::chrono::milliseconds duration);

/// The string as UTF-8; a null string gives an empty one.
std::string Utf8FromBstr(BSTR text);

/// A new automation string holding UTF-8 `text` (ill-formed sequences become U+FFFD).
ATL::CComBSTR BstrFromUtf8(std::string_view text);

}  // namespace pal
