#include "serve/camera_service.h"

#include <strings.h>

#include <set>

#include "output.h"

namespace prowlnet_cli {

nlohmann::json CameraService::Json(const CameraRecord& record, const std::vector<Subnet>& subnets, bool withAccounts) {
  return CameraJson(WithReachability({record}, subnets).front(), withAccounts, false);
}

void CameraService::Tick() {
  const std::vector<Subnet> subnets = LocalSubnets();
  std::erase_if(waiting_, [&](Waiting& waiting) { return Settle(waiting, subnets); });
  std::erase_if(batches_, [&](Batch& batch) {
    PublishAssigned(batch.id, batch.assignment.Settle(session_), subnets);
    return batch.assignment.Done();
  });
  const std::vector<CameraRecord> cameras = session_.Cameras();
  if (cameras.empty() && !published_.empty()) {
    published_.clear();
    events_.Publish("cleared", nlohmann::json::object());
  }
  for (size_t i = 0; i < cameras.size(); ++i) {
    // A record whose type is cleared waits for its camera's reply: not news yet.
    if (!cameras[i].RefreshedByReply()) continue;
    nlohmann::json camera = Json(cameras[i], subnets);
    camera["index"] = i;
    nlohmann::json& last = published_[cameras[i].SerialNumber()];
    if (last == camera) continue;
    last = camera;
    events_.Publish("camera", camera);
  }
}

nlohmann::json CameraService::Cameras() {
  const std::vector<Subnet> subnets = LocalSubnets();
  nlohmann::json list = nlohmann::json::array();
  const std::vector<CameraRecord> cameras = session_.Cameras();
  for (size_t i = 0; i < cameras.size(); ++i) {
    nlohmann::json camera = Json(cameras[i], subnets);
    camera["index"] = i;
    list.push_back(camera);
  }
  return list;
}

std::optional<nlohmann::json> CameraService::Camera(const std::string& serial) {
  const std::optional<LocatedCamera> found = session_.Find(serial);
  if (!found) return std::nullopt;
  nlohmann::json camera = Json(found->record, LocalSubnets(), true);
  camera["index"] = found->index;
  return camera;
}

nlohmann::json CameraService::Host() {
  const char* names[] = {"ipAddress", "netmask", "gateway", "dns1", "dns2"};
  nlohmann::json host;
  for (ULONG i = 0; i < 5; ++i) host[names[i]] = session_.NetworkParam(i);
  return host;
}

LONG CameraService::SetSearching(bool on) {
  const LONG status = on ? session_.StartSearch() : session_.StopSearch();
  if (status == 0) searching_ = on;
  events_.Publish("search", {{"searching", searching_}});
  return status;
}

late_binding::Outcome CameraService::Invoke(const std::string& name,
                                            const std::vector<late_binding::Value>& arguments) {
  late_binding::Outcome outcome = session_.CallByName(name, arguments);
  const bool started = strcasecmp(name.c_str(), "StartSearch") == 0;
  const bool stopped = strcasecmp(name.c_str(), "StopSearch") == 0;
  if (outcome.ok() && (started || stopped) && outcome.result == late_binding::Value(0.0)) {
    searching_ = started;
    events_.Publish("search", {{"searching", searching_}});
  }
  return outcome;
}

void CameraService::Change(const std::string& serial, const LanChange& change, std::chrono::milliseconds timeout,
                           ChangeDone done) {
  Waiting waiting{serial, PendingChange(serial, change, PendingChange::Clock::now() + timeout), std::move(done)};
  const PendingChange::State state = waiting.change.Send(session_);
  if (state == PendingChange::State::kWaiting) {
    waiting_.push_back(std::move(waiting));
    return;
  }
  waiting.done(state == PendingChange::State::kGone ? Outcome::kUnknownCamera : Outcome::kNotSent, nullptr);
}

void CameraService::AbandonChanges() {
  for (Waiting& waiting : waiting_) waiting.done(Outcome::kStopped, nullptr);
  waiting_.clear();
}

bool CameraService::Settle(Waiting& waiting, const std::vector<Subnet>& subnets) {
  const PendingChange::State state = waiting.change.Settle(session_);
  // The camera as its last reply left it, with its index; nothing when no reply refreshed it
  // since the last send.
  const auto camera = [&] {
    const std::optional<CameraRecord>& record = waiting.change.camera();
    if (!record) return nlohmann::json(nullptr);
    nlohmann::json json = Json(*record, subnets);
    if (const std::optional<LocatedCamera> located = session_.Find(waiting.serial)) json["index"] = located->index;
    return json;
  };
  switch (state) {
    case PendingChange::State::kWaiting:
      return false;
    case PendingChange::State::kConfirmed:
      waiting.done(Outcome::kConfirmed, camera());
      return true;
    case PendingChange::State::kTimedOut:
      waiting.done(Outcome::kTimedOut, camera());
      return true;
    case PendingChange::State::kGone:
      waiting.done(Outcome::kUnknownCamera, nullptr);  // the search was stopped meanwhile
      return true;
    case PendingChange::State::kNotSent:
      waiting.done(Outcome::kNotSent, nullptr);
      return true;
  }
  return true;
}

std::variant<nlohmann::json, CameraService::AssignRefusal> CameraService::Assign(const AssignRequest& request) {
  using Kind = AssignRefusal::Kind;
  const std::vector<Subnet> subnets = LocalSubnets();
  const std::variant<AddressRange, PlanFailure> range = ReadRange(request.from, request.to, subnets);
  if (const auto* failure = std::get_if<PlanFailure>(&range)) return AssignRefusal{Kind::kBadInput, failure->message};
  if (!searching_) return AssignRefusal{Kind::kNotSearching, "the search is not running: start it, then assign"};
  for (const std::string& serial : request.serials) {
    if (!session_.Find(serial)) return AssignRefusal{Kind::kUnknownCamera, "no camera " + serial + " has answered"};
  }
  const std::set<std::string> named(request.serials.begin(), request.serials.end());
  PlanInputs inputs;
  for (const CameraRecord& camera : session_.Cameras()) {
    if (named.empty() || named.count(camera.SerialNumber()) != 0) inputs.cameras.push_back(camera);
    inputs.cameraAddresses.push_back(camera.Lan().ipAddress);
  }
  if (inputs.cameras.empty()) return AssignRefusal{Kind::kUnknownCamera, "no camera has answered"};
  inputs.subnets = subnets;
  const std::optional<std::uint32_t> gateway = ParseDottedQuad(session_.NetworkParam(2));
  if (gateway && *gateway != 0) inputs.gateway = gateway;

  const std::variant<AssignmentPlan, PlanFailure> planned = PlanAssignment(std::get<AddressRange>(range), inputs);
  if (const auto* failure = std::get_if<PlanFailure>(&planned)) {
    const Kind kind = failure->kind == PlanFailure::Kind::kCannotProbe     ? Kind::kCannotProbe
                      : failure->kind == PlanFailure::Kind::kNotEnoughFree ? Kind::kNotEnoughFree
                                                                           : Kind::kBadInput;
    return AssignRefusal{kind, failure->message};
  }
  const AssignmentPlan& plan = std::get<AssignmentPlan>(planned);
  Batch batch{++lastBatch_, BatchAssignment(plan, PendingChange::Clock::now() + request.timeout)};
  const std::vector<BatchAssignment::Outcome> unsent = batch.assignment.Send(session_);
  std::map<std::string, std::string> states;
  for (const BatchAssignment::Outcome& outcome : unsent) states[outcome.planned.serial] = StateName(outcome.state);
  nlohmann::json answer = {{"batch", batch.id}, {"plan", nlohmann::json::array()}, {"inUse", nlohmann::json::array()}};
  for (const PlannedAddress& camera : plan.cameras)
    answer["plan"].push_back(AssignmentJson(camera, states.count(camera.serial) != 0 ? states[camera.serial] : "sent"));
  for (std::uint32_t address : plan.inUse) answer["inUse"].push_back(DottedQuad(address));
  PublishAssigned(batch.id, unsent, subnets);
  if (!batch.assignment.Done()) batches_.push_back(std::move(batch));
  return answer;
}

void CameraService::PublishAssigned(int batch, const std::vector<BatchAssignment::Outcome>& outcomes,
                                    const std::vector<Subnet>& subnets) {
  for (const BatchAssignment::Outcome& outcome : outcomes) {
    nlohmann::json event = AssignmentJson(outcome.planned, StateName(outcome.state));
    event["batch"] = batch;
    event["camera"] = outcome.camera ? Json(*outcome.camera, subnets) : nlohmann::json(nullptr);
    events_.Publish("assign", event);
  }
}

}  // namespace prowlnet_cli
