// What the commands tell a person on stderr while they open the control and wait for cameras:
// the reason the control cannot be opened, a progress line while searching, a camera that did
// not answer.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "client/control_session.h"

namespace prowlnet_cli {

using namespace prowlnet_client;

/// The control, or nothing after the reason was printed on stderr.
std::optional<ControlSession> OpenControl();

/// Pumps for up to `seconds` or until `enough` holds, showing the elapsed time and the cameras
/// found on stderr when `progress`; whether `enough` held.
bool SearchFor(ControlSession& session, double seconds, bool progress, const std::function<bool()>& enough);

/// Searches until the camera with `serial` answers: the camera, or nothing (said on stderr unless
/// the wait was interrupted).
std::optional<LocatedCamera> WaitForCamera(ControlSession& session, const std::string& serial, double seconds);

/// Ends a command that Ctrl-C interrupted: stops the search, says so, and gives kInterrupted.
int Interrupted(ControlSession& session);

}  // namespace prowlnet_cli
