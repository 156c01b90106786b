// A pending change against a real control and camsim: a reply that the camera sent before it took
// the change brings the old settings back, the change goes out again, and the camera's own next
// reply confirms it; a search stopped and started by name, as a page does, gives the camera
// another index, and the change follows it there.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "camsim/simulator.h"
#include "client/apartment_scope.h"
#include "client/control_session.h"
#include "client/pending_change.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace {

using namespace std::chrono_literals;
using prowlnet_client::ControlSession;
using prowlnet_client::PendingChange;
using State = PendingChange::State;

constexpr const char* kSerial = "PN00000000";

/// camsim in the network's lan namespace, with `count` generated cameras once it runs.
std::unique_ptr<camsim::Simulator> CamerasInLan(test_support::TestNetwork& network, int count) {
  std::unique_ptr<camsim::Simulator> simulator;
  {
    test_support::NamespaceScope lan(network.lan().name());
    simulator = std::make_unique<camsim::Simulator>();
  }
  if (simulator->ok()) simulator->AddCameras(camsim::GenerateCameras(count));
  return simulator;
}

int Modifications(const camsim::Simulator& simulator) {
  int count = 0;
  for (const camsim::Received& received : simulator.ReceivedDatagrams()) count += received.request.code == camsim::kModifyRequest;
  return count;
}

TEST(PendingChange, IsSentAgainWhenAStaleReplyBringsTheOldSettingsBackAndConfirmedByTheNextOne) {
  setenv("PROWLNET_FAST_SEARCH", "1", 1);
  const test_support::TempPrefix prefix;
  test_support::TestNetwork network({.subnet = 95});
  const std::unique_ptr<camsim::Simulator> simulator = CamerasInLan(network, 1);
  ASSERT_TRUE(simulator->ok()) << simulator->error();
  const std::string staleReply = camsim::BuildReply(simulator->Cameras().front());

  const test_support::NamespaceScope pc(network.pc().name());
  const prowlnet_client::ApartmentScope apartment;
  std::string error;
  std::optional<ControlSession> session = ControlSession::Open(&error);
  ASSERT_TRUE(session) << error;
  ASSERT_EQ(session->StartSearch(), 0);
  ASSERT_TRUE(session->WaitFor([&] { return session->Find(kSerial).has_value(); }, 10s));
  simulator->SetSearchesToAnswer(0);

  prowlnet_client::LanChange change;
  change.ipAddress = network.prefix() + "77";
  PendingChange pending(kSerial, change, PendingChange::Clock::now() + 60s);
  ASSERT_EQ(pending.Send(*session), State::kWaiting);
  State state = State::kWaiting;
  const auto settleUntil = [&](const auto& done) {
    return session->WaitFor([&] { return (state = pending.Settle(*session)) != State::kWaiting || done(); }, 15s);
  };
  ASSERT_TRUE(settleUntil([&] { return Modifications(*simulator) == 1; }));
  ASSERT_EQ(state, State::kWaiting);

  const camsim::Received search = simulator->ReceivedDatagrams().front();
  ASSERT_TRUE(simulator->SendTo(staleReply, search.fromAddress, search.fromPort));
  ASSERT_TRUE(settleUntil([&] { return Modifications(*simulator) >= 2; })) << "the change was not sent again";
  EXPECT_EQ(state, State::kWaiting) << "a reply with the old settings confirms nothing";

  simulator->SetSearchesToAnswer(-1);
  ASSERT_TRUE(settleUntil([] { return false; }));
  EXPECT_EQ(state, State::kConfirmed);
  ASSERT_TRUE(pending.camera());
  EXPECT_EQ(pending.camera()->Lan().ipAddress, *change.ipAddress);
  session->StopSearch();
}

TEST(PendingChange, FollowsItsCameraBySerialWhenARestartedSearchGivesItAnotherIndex) {
  setenv("PROWLNET_FAST_SEARCH", "1", 1);
  const test_support::TempPrefix prefix;
  test_support::TestNetwork network({.subnet = 96});
  const std::unique_ptr<camsim::Simulator> simulator = CamerasInLan(network, 2);
  ASSERT_TRUE(simulator->ok()) << simulator->error();
  const std::string first = "PN00000000";
  const std::string second = "PN00000001";
  const std::string secondAddress = *camsim::Find(*simulator->Cameras()[1].lan, "IPAddress");

  const test_support::NamespaceScope pc(network.pc().name());
  const prowlnet_client::ApartmentScope apartment;
  std::string error;
  std::optional<ControlSession> session = ControlSession::Open(&error);
  ASSERT_TRUE(session) << error;
  ASSERT_EQ(session->StartSearch(), 0);
  ASSERT_TRUE(session->WaitFor([&] { return session->Find(second).has_value(); }, 10s));
  ASSERT_EQ(session->Find(second)->index, 1);

  prowlnet_client::LanChange change;
  change.ipAddress = network.prefix() + "77";
  PendingChange pending(second, change, PendingChange::Clock::now() + 60s);
  ASSERT_EQ(pending.Send(*session), State::kWaiting);
  ASSERT_TRUE(session->WaitFor([&] { return Modifications(*simulator) == 1; }, 10s));
  // The camera lost the change (it restarted), and the search is restarted by name: the table
  // fills again in the order the replies come, the second camera's first.
  simulator->ChangeCamera(second, [&](camsim::Camera& camera) { camsim::Set(*camera.lan, "IPAddress", secondAddress); });
  simulator->SetSearchesToAnswer(0);
  const int searches = simulator->SearchRequests();
  ASSERT_TRUE(session->CallByName("StopSearch", {}).ok());
  ASSERT_TRUE(session->CallByName("StartSearch", {}).ok());
  ASSERT_TRUE(session->WaitFor([&] { return simulator->SearchRequests() > searches; }, 10s));
  const camsim::Received search = simulator->ReceivedDatagrams().back();
  for (const std::string& serial : {second, first})
    ASSERT_TRUE(simulator->SendTo(camsim::BuildReply(*simulator->CameraWithSerial(serial)), search.fromAddress, search.fromPort));
  ASSERT_TRUE(session->WaitFor([&] { return session->Find(first).has_value(); }, 10s));
  ASSERT_EQ(session->Find(second)->index, 0);

  simulator->SetSearchesToAnswer(-1);
  State state = State::kWaiting;
  ASSERT_TRUE(session->WaitFor([&] { return (state = pending.Settle(*session)) != State::kWaiting; }, 15s));
  EXPECT_EQ(state, State::kConfirmed);
  std::vector<std::string> named;
  for (const camsim::Received& received : simulator->ReceivedDatagrams()) {
    if (received.request.code == camsim::kModifyRequest) named.push_back(received.request.serialNumber);
  }
  EXPECT_GE(named.size(), 2u) << "sent again to the camera at its new index";
  EXPECT_EQ(named, std::vector<std::string>(named.size(), second));
  EXPECT_EQ(*camsim::Find(*simulator->CameraWithSerial(first)->lan, "IPAddress"), "10.200.0.2") << "left alone";
  session->StopSearch();
}

}  // namespace
