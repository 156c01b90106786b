// Discovery on networks as hosts really have them: a host without a default route, and a host
// with two network cards, with simulated cameras behind each LAN.
#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "camsim/simulator.h"
#include "engine/broadcast.h"
#include "engine/control_object.h"
#include "pal/host_kit.h"
#include "support/log_capture.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace prowlnet {
namespace {

using namespace std::chrono_literals;
using namespace test_support;
using pal::PumpUntil;

std::unique_ptr<camsim::Simulator> CamerasIn(Namespace& lan, int count, int first) {
  NamespaceScope scope(lan.name());
  auto simulator = std::make_unique<camsim::Simulator>();
  EXPECT_TRUE(simulator->ok()) << simulator->error();
  simulator->AddCameras(camsim::GenerateCameras(count, first));
  return simulator;
}

/// Sets an environment variable for the life of the scope.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) { setenv(name, value, 1); }
  ~ScopedVariable() { unsetenv(name_); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
};

/// The control in namespace pc, made by the test so that it reads the environment the test set.
class SearchTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (control_ == nullptr) return;
    LONG result = 99;
    control_->StopSearch(&result);
  }

  void StartControl() {
    control_ = std::make_unique<CCProwlnet>();
    ASSERT_EQ(control_->FinalConstruct(), S_OK);
    LONG result = 99;
    ASSERT_EQ(control_->StartSearch(&result), S_OK);
    ASSERT_EQ(result, 0);
  }
  LONG Count() {
    LONG count = 0;
    control_->GetIPCCount(&count);
    return count;
  }
  bool WaitForCount(LONG count) {
    return PumpUntil([&] { return Count() == count; }, 10s);
  }
  int SendFailures() const {
    int failures = 0;
    for (const std::string& message : log_.Messages())
      failures += message.rfind("ProwlnetThread(): sendto failed", 0) == 0 ? 1 : 0;
    return failures;
  }

  TempPrefix prefix_;
  LogCapture log_{prefix_};
  std::unique_ptr<CCProwlnet> control_;
};

class NoDefaultRouteTest : public SearchTest {
 protected:
  TestNetwork network_{{.subnet = 1, .defaultRoute = false}};
  std::unique_ptr<camsim::Simulator> cameras_ = CamerasIn(network_.lan(), 3, 0);
  NamespaceScope pc_{network_.pc().name()};
};

TEST_F(NoDefaultRouteTest, CamerasAreFoundAndChangedAndTheHostsOwnLanIsReported) {
  StartControl();
  ASSERT_TRUE(WaitForCount(3));
  IpcInfo record;
  LONG result = 99;
  control_->GetIPCInfo(0, reinterpret_cast<BYTE*>(&record), sizeof record, &result);
  const ATL::CComBSTR change(u"<LANConfig IPAddress=\"10.200.0.77\"/>");
  control_->ModifyIPCXML(0, change, &result);
  ASSERT_EQ(result, 0);
  EXPECT_TRUE(PumpUntil(
      [&] {
        const auto camera = cameras_->CameraWithSerial(record.serialNumber);
        return camera && camera->lan && *camsim::Find(*camera->lan, "IPAddress") == "10.200.0.77";
      },
      5s));

  ATL::CComBSTR address;
  ATL::CComBSTR gateway;
  ATL::CComBSTR proposed;
  control_->GetNetworkParam(HostNetInfo::kAddress, &address);
  control_->GetNetworkParam(HostNetInfo::kGateway, &gateway);
  control_->GetOneIPAddress(&proposed);
  EXPECT_EQ(pal::Utf8FromBstr(address), network_.PcAddress());
  EXPECT_EQ(pal::Utf8FromBstr(gateway), "0.0.0.0");
  EXPECT_EQ(pal::Utf8FromBstr(proposed), network_.prefix() + "254");
  EXPECT_EQ(SendFailures(), 0);
}

/// Two network cards: eth0 to the first LAN, which carries the default route, and eth2 to a
/// second one on another subnet. Two cameras behind the first, one behind the second.
class TwoCardTest : public SearchTest {
 protected:
  TestNetwork network_{{.subnet = 1}};
  ExtraLan second_{network_.pc(), 2, "eth2"};
  std::unique_ptr<camsim::Simulator> firstCameras_ = CamerasIn(network_.lan(), 2, 0);
  std::unique_ptr<camsim::Simulator> secondCameras_ = CamerasIn(second_.lan(), 1, 2);
  NamespaceScope pc_{network_.pc().name()};
};

TEST_F(TwoCardTest, CamerasBehindEveryCardAreFound) {
  StartControl();
  ASSERT_TRUE(WaitForCount(3));
  EXPECT_EQ(firstCameras_->ReceivedDatagrams().at(0).fromAddress, network_.PcAddress());
  EXPECT_EQ(secondCameras_->ReceivedDatagrams().at(0).fromAddress, second_.PcAddress());
  EXPECT_EQ(secondCameras_->ReceivedDatagrams().at(0).fromPort, 3002) << "the one discovery socket";
  EXPECT_EQ(SendFailures(), 0);
}

TEST_F(TwoCardTest, TheVariableLimitsTheSearchToTheCardsItNames) {
  ScopedVariable only(kInterfaceLimitVariable, " eth2 ,");
  StartControl();
  ASSERT_TRUE(PumpUntil([&] { return secondCameras_->SearchRequests() >= 2; }, 10s));
  EXPECT_EQ(firstCameras_->SearchRequests(), 0);
  EXPECT_EQ(Count(), 1);
}

TEST_F(TwoCardTest, ACardThatComesUpDuringARunIsSearchedFromTheNextRequest) {
  network_.pc().Ip({"link", "set", second_.pcInterface(), "down"});
  StartControl();
  ASSERT_TRUE(WaitForCount(2));
  EXPECT_EQ(secondCameras_->SearchRequests(), 0);
  network_.pc().Ip({"link", "set", second_.pcInterface(), "up"});
  ASSERT_TRUE(WaitForCount(3));
}

TEST(InterfaceLimit, IsTheCommaSeparatedNamesWithoutBlanksOrEmptyOnes) {
  {
    ScopedVariable names(kInterfaceLimitVariable, "eth0, wlan0 ,,eth2");
    EXPECT_EQ(InterfaceLimitFromEnvironment(), (InterfaceLimit{"eth0", "wlan0", "eth2"}));
  }
  EXPECT_TRUE(InterfaceLimitFromEnvironment().empty());
  ScopedVariable none(kInterfaceLimitVariable, " , ");
  EXPECT_TRUE(InterfaceLimitFromEnvironment().empty()) << "no names is no limit";
}

}  // namespace
}  // namespace prowlnet
