// Addresses of a range given to many cameras at once, as an installer does with a crate of cameras
// that all came out of the box at one factory address. First the plan: the addresses that are
// never given are passed over, every other address of the range is probed together, and each
// camera gets the next free one. Then every change leaves in one go, and each is confirmed by its
// own camera's replies (PendingChange), so a batch costs about one search round.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "client/addresses.h"
#include "client/camera_record.h"
#include "client/control_session.h"
#include "client/pending_change.h"

namespace prowlnet_client {

/// A range of addresses, both ends included, in host byte order, on one subnet of this computer.
struct AddressRange {
  std::uint32_t first;
  std::uint32_t last;
  /// The subnet of this computer that holds it.
  Subnet subnet;
};

/// Why no plan could be made. Nothing was sent then.
struct PlanFailure {
  enum class Kind {
    kBadRange,       // not two addresses, backwards, or not within one subnet of this computer
    kTooSmall,       // fewer addresses that can be given than cameras
    kCannotProbe,    // no ICMP socket opens (kCannotProbe says why)
    kNotEnoughFree,  // the probe found too few free addresses
  };
  Kind kind;
  std::string message;
};

/// The range `from` to `to` as people type it, checked against this computer's subnets.
std::variant<AddressRange, PlanFailure> ReadRange(const std::string& from, const std::string& to,
                                                  const std::vector<Subnet>& subnets);

/// One camera's part of a plan: its new address, with the subnet's netmask and, when this
/// computer's gateway lies on the subnet, that gateway.
struct PlannedAddress {
  std::string serial;
  /// Its address now.
  std::string from;
  std::string to;
  std::string netmask;
  std::optional<std::string> gateway;

  LanChange Change() const;
};

struct AssignmentPlan {
  std::vector<PlannedAddress> cameras;
  /// The addresses of the range that the probe found in use, passed over.
  std::vector<std::uint32_t> inUse;
};

/// What the planner is told of this computer and its cameras.
struct PlanInputs {
  /// The cameras to give addresses, in this order.
  std::vector<CameraRecord> cameras;
  /// Every address a camera in the control's table reports: never given.
  std::vector<std::string> cameraAddresses;
  std::vector<Subnet> subnets;
  /// This computer's gateway (GetNetworkParam), when it has one.
  std::optional<std::uint32_t> gateway;
};

/// Plans the batch. The candidates are the addresses of `range` but this computer's, the gateway,
/// every camera's and the subnet's network and broadcast addresses; there must be as many as
/// cameras (kTooSmall). It probes them together, up to prowlnet::kSweepWindow at a time until
/// enough are free, and gives each camera in turn the next free address of the range.
std::variant<AssignmentPlan, PlanFailure> PlanAssignment(const AddressRange& range, const PlanInputs& inputs);

/// A plan's changes on their way: sent in one go, each settled by its own camera's replies.
class BatchAssignment {
 public:
  using Clock = PendingChange::Clock;

  struct Outcome {
    PlannedAddress planned;
    /// kConfirmed, kTimedOut, kGone or kNotSent.
    PendingChange::State state;
    /// The camera as its last reply left it, when a reply refreshed it since the last send.
    std::optional<CameraRecord> camera;
  };

  BatchAssignment(const AssignmentPlan& plan, Clock::time_point deadline);

  /// Sends every change; the outcomes of those that could not be sent.
  std::vector<Outcome> Send(ControlSession& session);
  /// Looks once at every camera that has not settled, sending again where a stale reply brought
  /// its old settings back; the outcomes settled in this look.
  std::vector<Outcome> Settle(ControlSession& session);
  bool Done() const;
  /// Sends, then pumps the thread's messages until every change settled or the deadline passed,
  /// calling `settled` with each outcome as it comes; every outcome, in the plan's order.
  std::vector<Outcome> SendAndWait(ControlSession& session, const std::function<void(const Outcome&)>& settled);

 private:
  struct Entry {
    PlannedAddress planned;
    PendingChange change;
    std::optional<Outcome> outcome;
  };

  /// Records `state` for `entry` when it settles it; the outcome then.
  std::optional<Outcome> Record(Entry& entry, PendingChange::State state);

  std::vector<Entry> entries_;
  Clock::time_point deadline_;
};

/// "confirmed", "timeout", "gone", "not-sent" or "waiting": the state as hosts print it.
const char* StateName(PendingChange::State state);

}  // namespace prowlnet_client
