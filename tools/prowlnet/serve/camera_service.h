// What the web host does with the control, on the control's thread only: the cameras as JSON,
// changes sent and settled by the cameras' replies, the host's parameters, a free address, and
// the periodic look at the table that publishes what appeared or changed.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "client/addresses.h"
#include "client/batch_assignment.h"
#include "client/control_session.h"
#include "client/lan_change.h"
#include "client/pending_change.h"
#include "late_binding/late_binding.h"
#include "serve/event_hub.h"

namespace prowlnet_cli {

using namespace prowlnet_client;

class CameraService {
 public:
  enum class Outcome { kConfirmed, kTimedOut, kUnknownCamera, kNotSent, kStopped };
  using ChangeDone = std::function<void(Outcome outcome, const nlohmann::json& camera)>;

  CameraService(ControlSession& session, EventHub& events) : session_(session), events_(events) {}

  /// Looks at the table: publishes each camera that appeared or changed, and settles the
  /// changes waiting for a camera's confirmation.
  void Tick();

  nlohmann::json Cameras();
  std::optional<nlohmann::json> Camera(const std::string& serial);
  nlohmann::json Host();
  /// A free address of the host's subnet, or why there is none.
  FreeAddressAnswer FreeAddress() { return session_.FreeAddress(); }
  bool Searching() const { return searching_; }
  /// Starts or stops the search; the control's status (0, or -1 when it already was so).
  LONG SetSearching(bool on);

  /// Sends `change` to the camera with `serial` and reports, through `done`, when its replies
  /// carry it (with the camera and its index) or `timeout` passed.
  void Change(const std::string& serial, const LanChange& change, std::chrono::milliseconds timeout, ChangeDone done);
  /// Reports every change still waiting as kStopped: the server stops.
  void AbandonChanges();

  /// Addresses of a range for many cameras at once.
  struct AssignRequest {
    std::string from;
    std::string to;
    /// Empty for every camera that has answered.
    std::vector<std::string> serials;
    std::chrono::milliseconds timeout;
  };
  struct AssignRefusal {
    enum class Kind { kBadInput, kUnknownCamera, kNotSearching, kCannotProbe, kNotEnoughFree };
    Kind kind;
    std::string message;
  };
  /// Plans the batch and sends every change: the plan ({"batch", "plan", "inUse"}), or why
  /// nothing was sent. Each camera's outcome is published as an "assign" event when it settles.
  std::variant<nlohmann::json, AssignRefusal> Assign(const AssignRequest& request);

  /// Calls the control's method `name` by name through IDispatch, as a page's script does. A
  /// search started or stopped this way shows in Searching.
  late_binding::Outcome Invoke(const std::string& name, const std::vector<late_binding::Value>& arguments);

 private:
  struct Waiting {
    std::string serial;
    PendingChange change;
    ChangeDone done;
  };

  struct Batch {
    int id;
    BatchAssignment assignment;
  };

  /// Whether the change is settled (and reported).
  bool Settle(Waiting& waiting, const std::vector<Subnet>& subnets);
  /// Publishes an "assign" event for each outcome.
  void PublishAssigned(int batch, const std::vector<BatchAssignment::Outcome>& outcomes, const std::vector<Subnet>& subnets);
  /// The camera as the API gives it; its accounts (passwords masked) only when asked.
  nlohmann::json Json(const CameraRecord& record, const std::vector<Subnet>& subnets, bool withAccounts = false);

  ControlSession& session_;
  EventHub& events_;
  bool searching_ = false;
  std::map<std::string, nlohmann::json> published_;
  std::vector<Waiting> waiting_;
  std::vector<Batch> batches_;
  int lastBatch_ = 0;
};

}  // namespace prowlnet_cli
