// A change of one camera's LAN settings on its way: sent, then settled by the camera's own
// replies. It follows the camera by its serial number, not by its place in the table.
//
// The rule: the change goes out with the device type cleared in the control's copy of the record.
// Every reply of the camera writes a type back, so a record with a type has been refreshed by a
// reply since. A refreshed record that carries the change confirms it; one that does not was
// written by a reply the camera sent before it took the change, and the change is sent again. A
// camera that left the table (the search was stopped and started again) is waited for: its next
// reply puts it back, at whatever index. At the deadline the change has timed out.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "client/camera_record.h"
#include "client/control_session.h"
#include "client/lan_change.h"

namespace prowlnet_client {

class PendingChange {
 public:
  using Clock = std::chrono::steady_clock;

  enum class State {
    kWaiting,    // sent; no reply has settled it yet
    kConfirmed,  // a reply of the camera carries it
    kTimedOut,   // the deadline passed first
    kGone,       // no camera with the serial number was in the table to send it to
    kNotSent,    // the control did not send it (no search running)
  };

  PendingChange(std::string serial, LanChange change, Clock::time_point deadline)
      : serial_(std::move(serial)), change_(std::move(change)), deadline_(deadline) {}

  /// Sends the change to the camera as it stands in the table now.
  State Send(ControlSession& session);
  /// Looks at the camera's record once: settles the change, or sends it again, or keeps waiting.
  State Settle(ControlSession& session);
  /// Sends the change and pumps the thread's messages until it settles.
  State SendAndWait(ControlSession& session);

  /// The camera's record at the last look if a reply had refreshed it since the last send: the
  /// confirming record once confirmed.
  const std::optional<CameraRecord>& camera() const { return camera_; }

 private:
  /// What one look at the camera's record shows, by the rule above.
  enum class Verdict { kConfirmed, kTimedOut, kSendAgain, kWaiting };

  /// The verdict on the camera's record `now`, looked at at time `at`.
  Verdict Judge(const CameraRecord& now, Clock::time_point at) const;
  State SendTo(ControlSession& session, const LocatedCamera& located);

  std::string serial_;
  LanChange change_;
  Clock::time_point deadline_;
  std::optional<CameraRecord> camera_;
};

}  // namespace prowlnet_client
