#include "serve/camera_service.h"

#include <strings.h>

#include "addresses.h"
#include "output.h"

namespace prowlnet_cli {

nlohmann::json CameraService::Json(const CameraRecord& record, const std::vector<Subnet>& subnets, bool withAccounts) {
  return CameraJson(WithReachability({record}, subnets).front(), withAccounts, false);
}

void CameraService::Tick() {
  const std::vector<Subnet> subnets = LocalSubnets();
  std::erase_if(pending_, [&](Pending& pending) { return Settle(pending, subnets); });
  const std::vector<CameraRecord> cameras = session_.Cameras();
  if (cameras.empty() && !published_.empty()) {
    published_.clear();
    events_.Publish("cleared", nlohmann::json::object());
  }
  for (size_t i = 0; i < cameras.size(); ++i) {
    // A record whose type is cleared waits for its camera's reply: not news yet.
    if (cameras[i].DeviceType().empty()) continue;
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
  const std::optional<int> index = session_.IndexOf(serial);
  if (!index) return std::nullopt;
  const std::optional<CameraRecord> record = session_.Record(*index);
  if (!record) return std::nullopt;
  nlohmann::json camera = Json(*record, LocalSubnets(), true);
  camera["index"] = *index;
  return camera;
}

nlohmann::json CameraService::Host() {
  const char* names[] = {"ipAddress", "netmask", "gateway", "dns1", "dns2"};
  nlohmann::json host;
  for (ULONG i = 0; i < 5; ++i) host[names[i]] = session_.NetworkParam(i);
  return host;
}

std::optional<std::string> CameraService::FreeAddress() {
  const std::string own = session_.NetworkParam(0);
  const std::string address = session_.FreeAddress();
  if (own.empty() || address == own) return std::nullopt;
  return address;
}

LONG CameraService::SetSearching(bool on) {
  const LONG status = on ? session_.StartSearch() : session_.StopSearch();
  if (status == 0) searching_ = on;
  events_.Publish("search", {{"searching", searching_}});
  return status;
}

late_binding::Outcome CameraService::Invoke(const std::string& name,
                                            const std::vector<late_binding::Value>& arguments) {
  late_binding::Outcome outcome = late_binding::CallByName(session_.Dispatch(), name, arguments);
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
  const std::optional<int> index = session_.IndexOf(serial);
  if (!index) {
    done(Outcome::kUnknownCamera, nullptr);
    return;
  }
  Pending pending{*index, serial, change, std::chrono::steady_clock::now() + timeout, std::move(done)};
  if (!Send(pending)) {
    pending.done(Outcome::kNotSent, nullptr);
    return;
  }
  pending_.push_back(std::move(pending));
}

bool CameraService::Send(const Pending& pending) {
  const std::optional<CameraRecord> record = session_.Record(pending.index);
  if (!record) return false;
  return session_.Modify(pending.index, record->WithLan(Applied(pending.change, record->Lan())).WithoutDeviceType()) == 0;
}

bool CameraService::Settle(Pending& pending, const std::vector<Subnet>& subnets) {
  const std::optional<CameraRecord> now = session_.Record(pending.index);
  if (!now) {
    pending.done(Outcome::kUnknownCamera, nullptr);  // the search was stopped meanwhile
    return true;
  }
  const bool refreshed = !now->DeviceType().empty();
  if (refreshed && Carries(now->Lan(), pending.change)) {
    pending.done(Outcome::kConfirmed, Json(*now, subnets));
    return true;
  }
  if (std::chrono::steady_clock::now() >= pending.deadline) {
    pending.done(Outcome::kTimedOut, refreshed ? Json(*now, subnets) : nlohmann::json(nullptr));
    return true;
  }
  // A reply that the camera sent before it took the change brought the old settings back.
  if (refreshed && !Send(pending)) {
    pending.done(Outcome::kNotSent, nullptr);
    return true;
  }
  return false;
}

}  // namespace prowlnet_cli
