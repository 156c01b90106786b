// The camera simulator as the intake tests rely on it: one reply per camera to the address and
// port a search came from, modifications applied to the camera they name, generated cameras that
// are all distinct, cameras read from a file, and edge-case replies on demand.
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "camsim/camera.h"
#include "camsim/edge_cases.h"
#include "camsim/simulator.h"
#include "pal/host_kit.h"
#include "support/netns.h"
#include "support/udp_peer.h"

namespace camsim {
namespace {

using namespace std::chrono_literals;
using test_support::NamespaceScope;
using pal::PumpUntil;
using test_support::TestNetwork;
using test_support::UdpPeer;

constexpr std::uint16_t kControlPort = 3002;

class CamsimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NamespaceScope lan(network_.lan().name());
    simulator_ = std::make_unique<Simulator>();
    ASSERT_TRUE(simulator_->ok()) << simulator_->error();
  }

  /// Broadcasts a search request from the control's side, as the control does.
  void Search() { control_.SendTo(BuildMessage(kSearchRequest, ""), "255.255.255.255", 3001); }

  bool WaitForDatagrams(size_t count) {
    return PumpUntil([&] { return control_.Count() >= count; }, 5s);
  }

  std::string ReplyTo(size_t index) { return control_.Received().at(index).bytes; }

  TestNetwork network_;
  UdpPeer control_{network_.pc().name(), kControlPort};
  std::unique_ptr<Simulator> simulator_;
};

TEST_F(CamsimTest, AnswersEachSearchWithOneReplyPerCameraToWhereItCameFrom) {
  simulator_->AddCameras(GenerateCameras(3));
  Search();
  ASSERT_TRUE(WaitForDatagrams(3));
  const auto replies = control_.Received();
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(replies[i].fromAddress, network_.LanAddress());
    EXPECT_EQ(replies[i].fromPort, 3001);
    EXPECT_EQ(replies[i].bytes, BuildReply(GenerateCameras(1, static_cast<int>(i)).front()));
  }

  const auto received = simulator_->ReceivedDatagrams();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].fromAddress, network_.PcAddress());
  EXPECT_EQ(received[0].fromPort, kControlPort);
  EXPECT_EQ(received[0].request.code, kSearchRequest);
  EXPECT_EQ(simulator_->SearchRequests(), 1);
  EXPECT_EQ(simulator_->RepliesSent(), 3);
}

TEST_F(CamsimTest, ModificationChangesTheNextRepliesOfTheNamedCameraOnly) {
  simulator_->AddCameras(GenerateCameras(2));
  const std::string body =
      "<IPC_SERIALNUMBER\r\nSerialNumber=\"PN00000001\"\r\n/>\r\n"
      "<LANConfig\r\nMacAddress=\"02:77:00:00:00:01\"\r\nDHCP=\"1\"\r\nIPAddress=\"10.200.9.9\"\r\n/>\r\n";
  control_.SendTo(BuildMessage(kModifyRequest, body), "255.255.255.255", 3001);
  control_.SendTo(BuildMessage(kModifyRequest,
                               "<IPC_SERIALNUMBER SerialNumber=\"pn00000000\"/>"
                               "<LANConfig IPAddress=\"10.200.8.8\"/>"),
                  "255.255.255.255", 3001);
  ASSERT_TRUE(PumpUntil([&] { return simulator_->ReceivedDatagrams().size() == 2; }, 5s));

  const std::optional<Camera> changed = simulator_->CameraWithSerial("PN00000001");
  ASSERT_TRUE(changed && changed->lan);
  EXPECT_EQ(*Find(*changed->lan, "IPAddress"), "10.200.9.9");
  EXPECT_EQ(*Find(*changed->lan, "DHCP"), "1");
  EXPECT_EQ(*Find(*changed->lan, "Netmask"), "255.255.0.0");
  const std::optional<Camera> unchanged = simulator_->CameraWithSerial("PN00000000");
  EXPECT_EQ(*Find(*unchanged->lan, "IPAddress"), "10.200.0.2") << "serial numbers are compared exactly";

  Search();
  ASSERT_TRUE(WaitForDatagrams(2));
  EXPECT_EQ(ReplyTo(1), BuildReply(*changed));
  EXPECT_NE(ReplyTo(1).find("IPAddress=\"10.200.9.9\""), std::string::npos);
}

TEST_F(CamsimTest, AnswersOnlyAsManySearchesAsAllowed) {
  simulator_->AddCameras(GenerateCameras(2));
  simulator_->SetSearchesToAnswer(1);
  Search();
  ASSERT_TRUE(WaitForDatagrams(2));
  Search();
  ASSERT_TRUE(PumpUntil([&] { return simulator_->SearchRequests() == 2; }, 5s));
  simulator_->SetSearchesToAnswer(-1);
  Search();
  ASSERT_TRUE(WaitForDatagrams(4));
  EXPECT_EQ(simulator_->RepliesSent(), 4);
}

TEST_F(CamsimTest, SendsEdgeCasesOnDemandAndAfterEachSearch) {
  const Camera camera = GenerateCameras(1).front();
  ASSERT_TRUE(simulator_->SendTo(*EdgeCaseReply("oversize", camera), network_.PcAddress(), kControlPort));
  ASSERT_TRUE(simulator_->SendTo(*EdgeCaseReply("empty", camera), network_.PcAddress(), kControlPort));
  ASSERT_TRUE(WaitForDatagrams(2));
  EXPECT_EQ(ReplyTo(0).size(), 2049u);
  EXPECT_EQ(ReplyTo(1).size(), 0u);

  simulator_.reset();
  {
    NamespaceScope lan(network_.lan().name());
    Options options;
    options.edgeCases = {"no-stream", "not-nvs"};
    simulator_ = std::make_unique<Simulator>(options);
  }
  ASSERT_TRUE(simulator_->ok());
  simulator_->AddCamera(camera);
  Search();
  ASSERT_TRUE(WaitForDatagrams(5));
  EXPECT_EQ(ReplyTo(2), BuildReply(camera));
  EXPECT_EQ(ReplyTo(3), *EdgeCaseReply("no-stream", camera));
  EXPECT_EQ(ReplyTo(4), *EdgeCaseReply("not-nvs", camera));
}

TEST(CamsimEdgeCaseTest, EveryEdgeCaseIsWhatItsNameSays) {
  const Camera camera = GenerateCameras(1).front();
  for (const EdgeCase& edgeCase : EdgeCases()) {
    const std::optional<std::string> reply = EdgeCaseReply(edgeCase.name, camera);
    ASSERT_TRUE(reply) << edgeCase.name;
    EXPECT_NE(*reply, BuildReply(camera)) << edgeCase.name;
  }
  EXPECT_EQ(EdgeCaseReply("exactly-2048", camera)->size(), 2048u);
  EXPECT_FALSE(ParseRequest(*EdgeCaseReply("ill-formed", camera)).wellFormed);
  EXPECT_FALSE(ParseRequest(*EdgeCaseReply("gb2312", camera)).wellFormed);
  EXPECT_EQ(ParseRequest(*EdgeCaseReply("code-4", camera)).code, 4);
  EXPECT_EQ(EdgeCaseReply("no-stream", camera)->find("MediaStreamConfig"), std::string::npos);
  EXPECT_FALSE(EdgeCaseReply("no-such-case", camera));
}

TEST(CamsimCameraTest, GeneratedCamerasAreDistinctAndRepliesAreAboutOneAndAHalfKilobytes) {
  const std::vector<Camera> cameras = GenerateCameras(1001);
  std::set<std::string> serials;
  std::set<std::string> macs;
  std::set<std::string> addresses;
  for (const Camera& camera : cameras) {
    serials.insert(*camera.serialNumber);
    macs.insert(*Find(*camera.lan, "MacAddress"));
    addresses.insert(*Find(*camera.lan, "IPAddress"));
    const size_t size = BuildReply(camera).size();
    EXPECT_GE(size, 1400u);
    EXPECT_LE(size, 1600u);
  }
  EXPECT_EQ(serials.size(), 1001u);
  EXPECT_EQ(macs.size(), 1001u);
  EXPECT_EQ(addresses.size(), 1001u);
}

TEST(CamsimCameraTest, CamerasAreReadFromAFileOfReplyDescriptions) {
  const std::string path = std::filesystem::temp_directory_path() / ("camsim-" + std::to_string(getpid()) + ".xml");
  std::ofstream(path) << "<CAMERAS>\n"
                         "<CAMERA><IPC_SERIALNUMBER SerialNumber=\"A&amp;1\"/><DEVICE_TYPE DeviceType=\"NVS-1\"/>"
                         "<LANConfig MacAddress=\"m1\" IPAddress=\"10.0.0.1\" dhcp=\"odd\"/>"
                         "<MediaStreamConfig><StreamAccess VideoPort=\"554\"/><StreamAccess WEBPort=\"80\"/>"
                         "</MediaStreamConfig><UserConfig><Account Username=\"admin\" Password=\"&lt;pw&quot;\"/>"
                         "</UserConfig></CAMERA>\n"
                         "<CAMERA><IPC_SERIALNUMBER SerialNumber=\"B2\"/><LANConfig MacAddress=\"m2\"/></CAMERA>\n"
                         "</CAMERAS>\n";
  std::string error;
  const std::vector<Camera> cameras = LoadCameras(path, &error);
  std::filesystem::remove(path);
  ASSERT_EQ(cameras.size(), 2u) << error;

  EXPECT_EQ(cameras[0].serialNumber, "A&1");
  EXPECT_EQ(cameras[0].deviceType, "NVS-1");
  EXPECT_EQ(*cameras[0].lan, (Attributes{{"MacAddress", "m1"}, {"IPAddress", "10.0.0.1"}, {"dhcp", "odd"}}));
  EXPECT_EQ(cameras[0].streams->size(), 2u);
  EXPECT_EQ(*Find(cameras[0].accounts->at(0), "Password"), "<pw\"");
  EXPECT_FALSE(cameras[1].deviceType);
  EXPECT_FALSE(cameras[1].streams);
  EXPECT_FALSE(cameras[1].accounts);

  // A camera's own reply body describes it again, values escaped as needed.
  for (const Camera& camera : cameras) {
    const std::vector<Camera> again = ParseCameras("<CAMERA>" + BuildReplyBody(camera) + "</CAMERA>", &error);
    ASSERT_EQ(again.size(), 1u) << error;
    EXPECT_EQ(again[0].serialNumber, camera.serialNumber);
    EXPECT_EQ(again[0].lan, camera.lan);
    EXPECT_EQ(again[0].accounts, camera.accounts);
  }

  EXPECT_TRUE(LoadCameras(path, &error).empty());
  EXPECT_TRUE(ParseCameras("<CAMERAS><CAMERA>", &error).empty());
}

TEST(CamsimSafetyTest, RefusesToRunOutsideANamedNetworkNamespace) {
  Simulator simulator;
  EXPECT_FALSE(simulator.ok());
  EXPECT_NE(simulator.error().find("namespace"), std::string::npos);
}

}  // namespace
}  // namespace camsim
