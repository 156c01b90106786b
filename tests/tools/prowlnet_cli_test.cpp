// The prowlnet program as a user runs it: in namespace pc, against camsim's cameras in namespace
// lan, with its output and exit status read back.
#include <signal.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "camsim/hostile_cameras.h"
#include "camsim/simulator.h"
#include "pal/host_kit.h"
#include "support/child_process.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace {

using namespace std::chrono_literals;
using test_support::ChildProcess;
using test_support::NamespaceScope;
using test_support::TestNetwork;

struct Outcome {
  int status;
  std::string output;
};

class ProwlnetCli : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      NamespaceScope lan(network_.lan().name());
      simulator_ = std::make_unique<camsim::Simulator>();
    }
    ASSERT_TRUE(simulator_->ok()) << simulator_->error();
    simulator_->AddCameras(camsim::GenerateCameras(3));
  }

  std::vector<std::string> Argv(const std::vector<std::string>& arguments, bool asNobody = false) {
    std::vector<std::string> argv = {"/usr/sbin/ip", "netns", "exec", network_.pc().name()};
    if (asNobody) argv.insert(argv.end(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    argv.push_back(PROWLNET_CLI_PATH);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
  }
  /// Runs prowlnet with `arguments` in namespace pc and waits for it; as the user nobody (no
  /// capability) when `asNobody`, with its stderr in `errors` when given.
  Outcome Prowlnet(const std::vector<std::string>& arguments, bool asNobody = false, std::string* errors = nullptr) {
    const std::string errorPath = errors != nullptr ? prefix_.root() + "/stderr.txt" : "";
    ChildProcess program(Argv(arguments, asNobody), errorPath);
    const int status = program.Wait(60s);
    if (errors != nullptr) *errors = test_support::ReadFile(errorPath);
    return {status, program.output()};
  }
  std::string CameraAddress(const std::string& serial) {
    const auto camera = simulator_->CameraWithSerial(serial);
    return camera && camera->lan ? *camsim::Find(*camera->lan, "IPAddress") : "";
  }
  int Modifications() {
    int count = 0;
    for (const auto& received : simulator_->ReceivedDatagrams()) count += received.request.code == camsim::kModifyRequest;
    return count;
  }
  std::string At(int last) const { return network_.prefix() + std::to_string(last); }

  test_support::TempPrefix prefix_;
  TestNetwork network_{{.subnet = 93}};
  std::unique_ptr<camsim::Simulator> simulator_;
};

TEST_F(ProwlnetCli, SearchListsTheCamerasAsATableAndAsJson) {
  const Outcome table = Prowlnet({"search", "--expect", "3", "--seconds", "15"});
  EXPECT_EQ(table.status, 0);
  for (const char* serial : {"PN00000000", "PN00000001", "PN00000002"})
    EXPECT_NE(table.output.find(serial), std::string::npos) << table.output;
  EXPECT_NE(table.output.find("10.200.0.2 !"), std::string::npos) << "not on this computer's subnet";

  const Outcome json = Prowlnet({"search", "--expect", "3", "--seconds", "15", "--format", "json"});
  ASSERT_EQ(json.status, 0);
  const nlohmann::json cameras = nlohmann::json::parse(json.output);
  ASSERT_EQ(cameras.size(), 3u);
  for (const auto& camera : cameras) {
    const std::string serial = camera["serialNumber"];
    EXPECT_EQ(camera["ipAddress"], CameraAddress(serial)) << serial;
    EXPECT_EQ(camera["deviceType"], "NVS-2210");
    EXPECT_EQ(camera["reachable"], false);
  }

  const Outcome tooFew = Prowlnet({"search", "--expect", "4", "--seconds", "3", "--format", "csv"});
  EXPECT_EQ(tooFew.status, 3);
  EXPECT_NE(tooFew.output.find("PN00000002"), std::string::npos) << "what answered is listed all the same";
}

TEST_F(ProwlnetCli, SetChangesOnlyWhatWasAskedAndWaitsForTheCamerasConfirmation) {
  // An empty DNS server clears it; the global option stands after the command as well.
  const Outcome set = Prowlnet({"set", "PN00000001", "--ip", At(77), "--mask", "255.255.255.0", "--dns2", "",
                                "--design-pacing"});
  EXPECT_EQ(set.status, 0) << set.output;
  EXPECT_NE(set.output.find("confirmed by the camera"), std::string::npos) << set.output;
  EXPECT_EQ(CameraAddress("PN00000001"), At(77));
  const auto camera = simulator_->CameraWithSerial("PN00000001");
  EXPECT_EQ(*camsim::Find(*camera->lan, "Netmask"), "255.255.255.0");
  EXPECT_EQ(*camsim::Find(*camera->lan, "DNS2"), "");
  EXPECT_EQ(*camsim::Find(*camera->lan, "Gateway"), "10.200.0.1") << "left as it was";
}

TEST_F(ProwlnetCli, BadInputIsRefusedBeforeAnythingIsSentAndASilentCameraTimesOut) {
  EXPECT_EQ(Prowlnet({"set", "PN00000001", "--ip", "10.77.93"}).status, 2);
  EXPECT_EQ(Prowlnet({"set", "PN00000001", "--ip", "192.168.001.064"}).status, 2) << "octal to some readers";
  for (const char* seconds : {"inf", "1e300", "nan", "0"})
    EXPECT_EQ(Prowlnet({"search", "--seconds", seconds}).status, 2) << seconds;
  EXPECT_EQ(Prowlnet({"set", "PN00000001", "--mask", "255.0.255.0"}).status, 2);
  EXPECT_EQ(Prowlnet({"set", "PN00000001", "--dhcp", "maybe"}).status, 2);
  EXPECT_EQ(Prowlnet({"set", "PN00000001"}).status, 2) << "nothing to change";
  EXPECT_EQ(Prowlnet({"assign", "--from", At(60), "--to", At(50)}).status, 2) << "backwards";
  EXPECT_EQ(Prowlnet({"assign", "--from", "10.99.0.1", "--to", "10.99.0.9"}).status, 2) << "not on this computer's subnet";
  EXPECT_EQ(Prowlnet({"assign", "--from", At(9), "--to", At(11), "--expect", "3"}).status, 2)
      << "only .9 and .11 to give (.10 is this computer's) for three cameras";
  EXPECT_EQ(Modifications(), 0);
  EXPECT_EQ(Prowlnet({"show", "NOSUCHCAMERA", "--seconds", "3"}).status, 3);

  const Outcome help = Prowlnet({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* command : {"search", "show", "set", "assign", "netparams", "free-ip"})
    EXPECT_NE(help.output.find(command), std::string::npos) << command;
}

TEST_F(ProwlnetCli, AssignGivesThirtyCamerasAtOneAddressTheirOwnAddressesPassingOverAHostThatAnswers) {
  const std::string factory = "192.168.1.64";
  simulator_->AddCameras(camsim::GenerateCameras(27, 3));
  for (const camsim::Camera& camera : simulator_->Cameras())
    simulator_->ChangeCamera(*camera.serialNumber, [&](camsim::Camera& c) { camsim::Set(*c.lan, "IPAddress", factory); });
  network_.lan().Ip({"addr", "add", At(41) + "/24", "dev", TestNetwork::kLanInterface});

  const Outcome dryRun = Prowlnet({"assign", "--from", At(41), "--to", At(80), "PN00000000", "PN00000002", "--dry-run"});
  ASSERT_EQ(dryRun.status, 0);
  EXPECT_NE(dryRun.output.find("PN00000000  " + factory + "  " + At(42) + "  planned"), std::string::npos) << dryRun.output;
  EXPECT_EQ(Modifications(), 0);

  const Outcome assign = Prowlnet({"assign", "--from", At(41), "--to", At(80), "--expect", "30", "--format", "json"});
  ASSERT_EQ(assign.status, 0) << assign.output;
  const nlohmann::json report = nlohmann::json::parse(assign.output);
  ASSERT_EQ(report.size(), 30u);
  std::set<std::string> given;
  for (const auto& camera : report) {
    const std::string serial = camera["serial"];
    EXPECT_EQ(camera["state"], "confirmed") << serial;
    EXPECT_EQ(camera["from"], factory);
    EXPECT_EQ(CameraAddress(serial), camera["to"]) << "the camera itself holds it";
    EXPECT_EQ(*camsim::Find(*simulator_->CameraWithSerial(serial)->lan, "Netmask"), "255.255.255.0") << "the subnet's";
    given.insert(camera["to"].get<std::string>());
  }
  EXPECT_EQ(given.size(), 30u) << "every camera its own address";
  EXPECT_EQ(given.count(At(41)), 0u) << "the host that answers pings is passed over";
  EXPECT_EQ(*given.begin(), At(42));
}

TEST_F(ProwlnetCli, WithoutTheRightToProbeTheProbingCommandsSayHowToGetItAndExitOne) {
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"free-ip"}, {"set", "PN00000001", "--free-ip"}, {"assign", "--from", At(41), "--to", At(80)}}) {
    std::string errors;
    EXPECT_EQ(Prowlnet(command, true, &errors).status, 1) << command.front();
    EXPECT_NE(errors.find("CAP_NET_RAW"), std::string::npos) << errors;
    EXPECT_NE(errors.find("net.ipv4.ping_group_range"), std::string::npos) << errors;
  }
  EXPECT_EQ(Modifications(), 0);
}

TEST_F(ProwlnetCli, HostileCameraTextIsShownNeverObeyed) {
  const std::vector<camsim::Camera> hostile = camsim::HostileCameras();
  simulator_->AddCameras(hostile);
  const std::string expect = std::to_string(3 + hostile.size());
  const Outcome table = Prowlnet({"search", "--expect", expect, "--seconds", "15"});
  ASSERT_EQ(table.status, 0) << table.output;
  // The header, a row a camera, and the note on the cameras out of reach: no forged rows.
  EXPECT_EQ(std::count(table.output.begin(), table.output.end(), '\n'), static_cast<long>(3 + hostile.size() + 2))
      << table.output;
  for (const char* shown : {"NVS\\n1  FORGED", "NVS\\rFORGED-ROW", "NVS\\u009b2J\\u009b31mRED\\x7f", "\\u202eEVIL\\t"})
    EXPECT_NE(table.output.find(shown), std::string::npos) << shown << " in\n" << table.output;
  const auto raw = [](const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
      const unsigned char c = text[i];
      if ((c < 0x20 && c != '\n') || c == 0x7F) return true;
      if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F) return true;  // C1
      if (text.compare(i, 3, "\u202e") == 0) return true;
    }
    return false;
  };
  EXPECT_FALSE(raw(table.output)) << table.output;

  const Outcome csv = Prowlnet({"search", "--expect", expect, "--seconds", "15", "--format", "csv"});
  ASSERT_EQ(csv.status, 0);
  EXPECT_NE(csv.output.find(",\"'=HYPERLINK(\"\"http://x\"\",\"\"NVS\"\")\","), std::string::npos) << csv.output;
  EXPECT_NE(csv.output.find(",'-2+3,"), std::string::npos) << csv.output;
  EXPECT_NE(csv.output.find(",\"NVS\rFORGED-ROW\","), std::string::npos) << "exact, and quoted";

  const Outcome show = Prowlnet({"show", "HOSTILE-CSI"});
  ASSERT_EQ(show.status, 0) << show.output;
  EXPECT_FALSE(raw(show.output)) << show.output;
  EXPECT_NE(show.output.find("admin\\u009d0;owned\\u009c  password ********"), std::string::npos) << show.output;
  const Outcome xml = Prowlnet({"show", "HOSTILE-CSI", "--xml"});
  EXPECT_EQ(xml.output.find("cret"), std::string::npos) << "a password holding a quote is masked whole";

  const Outcome json = Prowlnet({"show", "HOSTILE-CSI", "--json"});
  ASSERT_EQ(json.status, 0) << json.output;
  const nlohmann::json camera = nlohmann::json::parse(json.output);
  EXPECT_EQ(camera["deviceType"], *hostile[8].deviceType) << "JSON is exact";
  ASSERT_EQ(camera["accounts"].size(), 10u);
  for (const auto& account : camera["accounts"]) EXPECT_EQ(account["password"], "********");

  camsim::Camera forger = camsim::GenerateCameras(1, 9100).front();
  forger.serialNumber = "HOSTILE-SERIAL\u009b31m\n1  FORGED";
  simulator_->AddCameras({forger});
  const Outcome plan = Prowlnet({"assign", "--from", At(100), "--to", At(200), "--expect", std::to_string(3 + hostile.size() + 1),
                                 "--dry-run"});
  ASSERT_EQ(plan.status, 0) << plan.output;
  EXPECT_EQ(std::count(plan.output.begin(), plan.output.end(), '\n'), static_cast<long>(1 + 3 + hostile.size() + 1)) << plan.output;
  EXPECT_NE(plan.output.find("HOSTILE-SERIAL\\u009b31m\\n1  FORGED  "), std::string::npos) << plan.output;
  EXPECT_FALSE(raw(plan.output)) << plan.output;
}

TEST_F(ProwlnetCli, CtrlCWhileAChangeIsPendingStopsTheSearchAndExits130) {
  simulator_->SetSearchesToAnswer(1);  // the camera is found, and then never confirms
  ChildProcess set(Argv({"set", "PN00000001", "--ip", At(78), "--seconds", "120"}));
  ASSERT_TRUE(pal::PumpUntil([&] { return Modifications() > 0; }, 20s));
  ASSERT_TRUE(set.Signal(SIGINT));
  const auto interrupted = std::chrono::steady_clock::now();
  EXPECT_EQ(set.Wait(10s), 130) << set.output();
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 2s);
}

}  // namespace
