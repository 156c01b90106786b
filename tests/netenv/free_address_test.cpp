// The free address finder against real hosts: the lan namespace holds the gateway and answers
// pings for the addresses a test gives it; everything else on the subnet stays silent.
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "engine/control_object.h"
#include "pal/host_kit.h"
#include "support/log_capture.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace prowlnet {
namespace {

using namespace test_support;

class FinderTest : public ::testing::Test {
 protected:
  void Construct() { ASSERT_EQ(control_->FinalConstruct(), S_OK); }

  std::string OneAddress() {
    ATL::CComBSTR text;
    EXPECT_EQ(control_->GetOneIPAddress(&text), S_OK);
    EXPECT_NE(text.m_str, nullptr);
    return pal::Utf8FromBstr(text);
  }
  std::string NetworkParam(ULONG index) {
    ATL::CComBSTR text;
    control_->GetNetworkParam(index, &text);
    return pal::Utf8FromBstr(text);
  }
  /// Makes the lan namespace answer for `address` as well.
  void Answer(const std::string& address) {
    network_.lan().Ip({"addr", "add", address + "/32", "dev", TestNetwork::kLanInterface});
  }
  void AddCameraAt(const std::string& address) {
    IpcInfo record{};
    std::snprintf(record.serialNumber, sizeof record.serialNumber, "SN%s", address.c_str());
    std::strcpy(record.lan.ipAddress, address.c_str());
    SharedState& shared = control_->shared();
    CriticalSectionLock lock(shared.lock);
    shared.table.slots[static_cast<size_t>(shared.table.count++)] = std::make_unique<IpcInfo>(record);
  }
  std::string At(int last) const { return network_.prefix() + std::to_string(last); }
  /// The first candidate probed, from the log.
  std::string FirstProbed() const {
    for (const std::string& message : log_.Messages()) {
      for (const char* head : {"PintTest(): no replay recv, ip ", "got replay from ip: "}) {
        if (message.rfind(head, 0) == 0) return message.substr(std::strlen(head), message.find_first_of(" \n", std::strlen(head)) - std::strlen(head));
      }
    }
    return "";
  }

  TestNetwork network_;
  TempPrefix prefix_;
  LogCapture log_{prefix_};
  NamespaceScope pc_{network_.pc().name()};
  std::unique_ptr<CCProwlnet> control_ = std::make_unique<CCProwlnet>();
};

TEST_F(FinderTest, OnASilentSubnetTheAnswerIsDot254) {
  Construct();
  EXPECT_EQ(OneAddress(), At(254));
  EXPECT_EQ(log_.Count("got one ip: " + At(254) + "\n"), 1);
}

TEST_F(FinderTest, KnownAddressesCostNoProbe) {
  Construct();
  AddCameraAt(At(254));
  // A camera that was given .253 and whose next reply still shows its old address.
  AddCameraAt(At(100));
  IpcInfo changed;
  LONG result = 99;
  control_->GetIPCInfo(1, reinterpret_cast<BYTE*>(&changed), sizeof changed, &result);
  std::strcpy(changed.lan.ipAddress, At(253).c_str());
  control_->ModifyIPC(1, reinterpret_cast<BYTE*>(&changed), sizeof changed, &result);
  ASSERT_EQ(result, 0);
  {
    CriticalSectionLock lock(control_->shared().lock);
    std::strcpy(control_->shared().table.slots[1]->lan.ipAddress, At(100).c_str());
  }
  EXPECT_EQ(OneAddress(), At(252));
  EXPECT_EQ(FirstProbed(), At(252));
}

TEST_F(FinderTest, AnAnsweringAddressIsPassedOver) {
  Answer(At(254));
  Answer(At(253));
  Construct();
  EXPECT_EQ(OneAddress(), At(252));
  EXPECT_EQ(log_.Count("got replay from ip: " + At(254) + "\n"), 1);
}

TEST_F(FinderTest, AnAddressThatDropsPingsButAnswersArpIsPassedOver) {
  Answer(At(254));
  RunInNamespace(network_.lan().name(),
                 [] { RunProgram({"sysctl", "-q", "-w", "net.ipv4.icmp_echo_ignore_all=1"}); });
  Construct();
  EXPECT_EQ(OneAddress(), At(253)) << "an address that nothing holds";
  EXPECT_EQ(log_.Count("PintTest(): no replay recv, but ip " + At(254) + " answered ARP.\n"), 1);
  EXPECT_EQ(log_.Count("PintTest(): no replay recv, ip " + At(253) + " is usable.\n"), 1);
}

TEST_F(FinderTest, WhenEveryCandidateIsTakenTheAnswerIsTheHostsOwnAddress) {
  // The lan namespace takes every address of the subnet but the host's own, .10.
  for (const char* range : {"0/29", "8/31", "11/32", "12/30", "16/28", "32/27", "64/26", "128/25"})
    network_.lan().Ip({"route", "add", "local", network_.prefix() + range, "dev", "lo"});
  Construct();
  EXPECT_EQ(OneAddress(), NetworkParam(0));
  EXPECT_EQ(NetworkParam(0), network_.PcAddress());
  EXPECT_EQ(log_.Count("got replay from ip: " + At(2) + "\n"), 1);
  // The host itself and the gateway both answer pings, yet neither is ever probed.
  EXPECT_EQ(log_.Count("got replay from ip: " + network_.PcAddress() + "\n"), 0);
  EXPECT_EQ(log_.Count("got replay from ip: " + network_.LanAddress() + "\n"), 0);
}

TEST_F(FinderTest, WiderAndNarrowerSubnetsStayWithinTheFirstThreeOctets) {
  for (const char* prefixLength : {"/16", "/28"}) {
    network_.pc().Ip({"addr", "flush", "dev", TestNetwork::kPcInterface});
    network_.pc().Ip({"addr", "add", network_.PcAddress() + prefixLength, "dev", TestNetwork::kPcInterface});
    network_.pc().Ip({"route", "replace", "default", "via", network_.LanAddress()});
    control_ = std::make_unique<CCProwlnet>();
    Construct();
    EXPECT_EQ(NetworkParam(0), network_.PcAddress());
    EXPECT_EQ(OneAddress(), At(254)) << prefixLength;
  }
}

TEST_F(FinderTest, WithoutAHostAddressNothingIsProbed) {
  network_.pc().Ip({"addr", "flush", "dev", TestNetwork::kPcInterface});
  Construct();
  EXPECT_EQ(OneAddress(), "");
  EXPECT_EQ(FirstProbed(), "");
}

TEST_F(FinderTest, NoPlaceForTheResultStillRunsTheSearch) {
  Construct();
  EXPECT_EQ(control_->GetOneIPAddress(nullptr), S_OK);
  EXPECT_EQ(log_.Count("got one ip: " + At(254) + "\n"), 1);
}

}  // namespace
}  // namespace prowlnet
