// What the commands share: opening the control with a clear error, and searching with a
// progress line for a person who waits.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "camera_record.h"
#include "control_session.h"

namespace prowlnet_cli {

/// The control, or nothing after the reason was printed on stderr.
std::optional<ControlSession> OpenSession();

/// Pumps for up to `seconds` or until `enough` holds, showing the elapsed time and the cameras
/// found on stderr when `progress`; whether `enough` held.
bool SearchFor(ControlSession& session, double seconds, bool progress, const std::function<bool()>& enough);

/// Searches until the camera with `serial` answers: its index, or nothing (said on stderr).
std::optional<int> FindCamera(ControlSession& session, const std::string& serial, double seconds);

}  // namespace prowlnet_cli
