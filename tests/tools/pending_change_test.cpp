// A pending change against a real control and camsim: a reply that the camera sent before it took
// the change brings the old settings back, the change goes out again, and the camera's own next
// reply confirms it.
#include <cstdlib>
#include <memory>
#include <string>

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

int Modifications(const camsim::Simulator& simulator) {
  int count = 0;
  for (const camsim::Received& received : simulator.ReceivedDatagrams()) count += received.request.code == camsim::kModifyRequest;
  return count;
}

TEST(PendingChange, IsSentAgainWhenAStaleReplyBringsTheOldSettingsBackAndConfirmedByTheNextOne) {
  setenv("PROWLNET_FAST_SEARCH", "1", 1);
  const test_support::TempPrefix prefix;
  test_support::TestNetwork network({.subnet = 95});
  std::unique_ptr<camsim::Simulator> simulator;
  {
    test_support::NamespaceScope lan(network.lan().name());
    simulator = std::make_unique<camsim::Simulator>();
  }
  ASSERT_TRUE(simulator->ok()) << simulator->error();
  simulator->AddCameras(camsim::GenerateCameras(1));
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

}  // namespace
