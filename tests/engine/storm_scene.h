// A storm while searching: the control searches in namespace `pc` while camsim's cameras answer
// from `lan`, and a hostile peer in `lan` sends mutated and random datagrams at the control's port.
// Shared by the storm test and its benchmark.
#pragma once

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camsim/edge_cases.h"
#include "camsim/simulator.h"
#include "engine/control_object.h"
#include "support/netns.h"
#include "support/process_usage.h"
#include "support/storm_peer.h"
#include "support/temp_prefix.h"

namespace storm {

/// Replies of cameras that are not on the network, and every edge case around one of them: what
/// the storm mutates.
inline std::vector<std::string> StormSamples() {
  std::vector<std::string> samples;
  const std::vector<camsim::Camera> strangers = camsim::GenerateCameras(16, 50000);
  for (const camsim::Camera& camera : strangers) samples.push_back(camsim::BuildReply(camera));
  for (const camsim::EdgeCase& edge : camsim::EdgeCases()) {
    if (auto reply = camsim::EdgeCaseReply(edge.name, strangers[0])) samples.push_back(*reply);
  }
  return samples;
}

class Scene {
 public:
  /// `cameras` generated cameras in camsim; the control constructed with the file log on.
  explicit Scene(int cameras) {
    prefix_.WriteDriveCFile("uc_dbg.cfg", "file=1;");
    {
      test_support::NamespaceScope lan(network_.lan().name());
      simulator_ = std::make_unique<camsim::Simulator>();
    }
    simulator_->AddCameras(camsim::GenerateCameras(cameras));
  }
  ~Scene() {
    StopStorm();
    LONG ignored;
    if (control_.searching()) control_.StopSearch(&ignored);
  }

  bool Start() {
    if (!simulator_->ok() || control_.FinalConstruct() != S_OK) return false;
    LONG status = -1;
    control_.StartSearch(&status);
    return status == 0;
  }

  /// A storm of `perSecond` datagrams a second, or as fast as the peer can send for 0.
  void StartStorm(std::uint32_t seed, int perSecond = 0) {
    StopStorm();
    storm_ = std::make_unique<test_support::StormPeer>(network_.lan().name(), network_.PcAddress(), 3002,
                                                       StormSamples(), seed, perSecond);
  }
  /// Ends the storm and closes its socket.
  void StopStorm() {
    if (storm_ == nullptr) return;
    storm_->Stop();
    lastStormSent_ = storm_->Sent();
    storm_.reset();
  }
  /// Datagrams the current storm has sent, or the last one.
  long StormSent() const { return storm_ != nullptr ? storm_->Sent() : lastStormSent_; }

  long Count() {
    LONG count = 0;
    control_.GetIPCCount(&count);
    return count;
  }
  /// The record of the device with this serial number, if the table holds one.
  std::optional<prowlnet::IpcInfo> Record(const std::string& serialNumber) {
    for (LONG index = 0, count = Count(); index < count; ++index) {
      prowlnet::IpcInfo record;
      LONG status = -1;
      control_.GetIPCInfo(index, reinterpret_cast<BYTE*>(&record), sizeof record, &status);
      if (status == 0 && serialNumber == record.serialNumber) return record;
    }
    return std::nullopt;
  }
  /// Whether the table holds the camera with camsim's current gateway for it.
  bool Current(const camsim::Camera& camera) {
    const std::optional<prowlnet::IpcInfo> record = Record(*camera.serialNumber);
    const std::string* gateway = camsim::Find(*camera.lan, "Gateway");
    return record && gateway != nullptr && *gateway == record->lan.gateway;
  }
  /// Gives camera `index` of camsim a new gateway and returns it as it now is.
  camsim::Camera NewGateway(int index, const std::string& gateway) {
    const std::string serial = *simulator_->Cameras()[static_cast<size_t>(index)].serialNumber;
    simulator_->ChangeCamera(serial, [&](camsim::Camera& camera) { camsim::Set(*camera.lan, "Gateway", gateway); });
    return *simulator_->CameraWithSerial(serial);
  }

  camsim::Simulator& simulator() { return *simulator_; }
  prowlnet::CCProwlnet& control() { return control_; }

 private:
  test_support::TempPrefix prefix_;
  test_support::TestNetwork network_;
  std::unique_ptr<camsim::Simulator> simulator_;
  test_support::NamespaceScope scope_{network_.pc().name()};  // the control and the counters in pc
  prowlnet::CCProwlnet control_;
  std::unique_ptr<test_support::StormPeer> storm_;
  long lastStormSent_ = 0;
};

}  // namespace storm
