#include "client/pending_change.h"

#include <algorithm>

namespace prowlnet_client {

PendingChange::State PendingChange::SendTo(ControlSession& session, const LocatedCamera& located) {
  camera_.reset();
  const CameraRecord changed = located.record.WithLan(Applied(change_, located.record.Lan())).WithoutDeviceType();
  return session.Modify(located.index, changed) == 0 ? State::kWaiting : State::kNotSent;
}

PendingChange::State PendingChange::Send(ControlSession& session) {
  const std::optional<LocatedCamera> located = session.Find(serial_);
  if (!located) return State::kGone;
  return SendTo(session, *located);
}

PendingChange::Verdict PendingChange::Judge(const CameraRecord& now, Clock::time_point at) const {
  const bool refreshed = now.RefreshedByReply();
  if (refreshed && Carries(now.Lan(), change_)) return Verdict::kConfirmed;
  if (at >= deadline_) return Verdict::kTimedOut;
  return refreshed ? Verdict::kSendAgain : Verdict::kWaiting;
}

PendingChange::State PendingChange::Settle(ControlSession& session) {
  const std::optional<LocatedCamera> located = session.Find(serial_);
  if (!located) {
    // The table was emptied (the search restarted): the camera comes back at whatever index its
    // next reply gives it, and is followed there.
    camera_.reset();
    return Clock::now() >= deadline_ ? State::kTimedOut : State::kWaiting;
  }
  const CameraRecord& now = located->record;
  camera_.reset();
  if (now.RefreshedByReply()) camera_ = now;
  switch (Judge(now, Clock::now())) {
    case Verdict::kConfirmed:
      return State::kConfirmed;
    case Verdict::kTimedOut:
      return State::kTimedOut;
    case Verdict::kSendAgain:
      return SendTo(session, *located);
    case Verdict::kWaiting:
      break;
  }
  return State::kWaiting;
}

PendingChange::State PendingChange::SendAndWait(ControlSession& session) {
  State state = Send(session);
  if (state != State::kWaiting) return state;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
  session.WaitFor(
      [&] {
        state = Settle(session);
        return state != State::kWaiting;
      },
      std::max(left, std::chrono::milliseconds(0)));
  return state == State::kWaiting ? State::kTimedOut : state;
}

}  // namespace prowlnet_client
