#include "serve/camera_service.h"

#include <strings.h>

#include "output.h"

namespace prowlnet_cli {

nlohmann::json CameraService::Json(const CameraRecord& record, const std::vector<Subnet>& subnets, bool withAccounts) {
  return CameraJson(WithReachability({record}, subnets).front(), withAccounts, false);
}

void CameraService::Tick() {
  const std::vector<Subnet> subnets = LocalSubnets();
  std::erase_if(waiting_, [&](Waiting& waiting) { return Settle(waiting, subnets); });
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

}  // namespace prowlnet_cli
