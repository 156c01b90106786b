// The reply intake through real datagrams: the control searches in namespace pc, camsim answers
// from namespace lan, and the device table and the log show what was taken and what refused.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "camsim/camera.h"
#include "camsim/edge_cases.h"
#include "camsim/simulator.h"
#include "diag/debug_log.h"
#include "engine/control_object.h"
#include "engine/reply_intake.h"
#include "pal/host_kit.h"
#include "support/log_capture.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace prowlnet {
namespace {

using namespace std::chrono_literals;
using camsim::Camera;
using camsim::GenerateCameras;
using test_support::LogCapture;
using test_support::NamespaceScope;
using pal::PumpUntil;
using test_support::TempPrefix;
using test_support::TestNetwork;

/// The first search request goes out about 2 s after StartSearch; a round of a few replies
/// is read in well under a second.
constexpr auto kFewRepliesTimeout = 15s;

/// A generated camera (MAC and addresses of camera `number`) with another serial number.
Camera NamedCamera(const std::string& serialNumber, int number = 0) {
  Camera camera = GenerateCameras(1, number).front();
  camera.serialNumber = serialNumber;
  return camera;
}

std::string FoundLine(const Camera& camera) {
  return "found new entry, mac=[" + *camsim::Find(*camera.lan, "MacAddress") + "]\n";
}

class ReplyIntakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NamespaceScope lan(network_.lan().name());
    simulator_ = std::make_unique<camsim::Simulator>();
    ASSERT_TRUE(simulator_->ok()) << simulator_->error();
  }

  void TearDown() override {
    if (control_ != nullptr) {
      LONG result = 0;
      control_->StopSearch(&result);
      control_.reset();
    }
    pc_.reset();
  }

  /// Creates the control in namespace pc on this thread and starts a search.
  void StartSearch() {
    pc_.emplace(network_.pc().name());
    control_ = std::make_unique<CCProwlnet>();
    ASSERT_EQ(control_->FinalConstruct(), S_OK);
    LONG result = -1;
    control_->StartSearch(&result);
    ASSERT_EQ(result, 0);
  }

  int Count() {
    LONG count = 0;
    control_->GetIPCCount(&count);
    return count;
  }

  bool WaitForCount(int count, std::chrono::milliseconds timeout = kFewRepliesTimeout) {
    return PumpUntil([&] { return Count() >= count; }, timeout);
  }

  bool WaitForLogLine(const std::string& message, int times = 1) {
    return PumpUntil([&] { return log_.Count(message) >= times; }, kFewRepliesTimeout);
  }

  /// A copy of the record at `index`, taken under the lock.
  IpcInfo Record(int index) {
    CriticalSectionLock lock(control_->shared().lock);
    return *control_->shared().table.slots.at(static_cast<size_t>(index));
  }

  TestNetwork network_;
  TempPrefix prefix_;
  LogCapture log_{prefix_};
  std::unique_ptr<camsim::Simulator> simulator_;
  std::optional<NamespaceScope> pc_;
  std::unique_ptr<CCProwlnet> control_;
};

TEST_F(ReplyIntakeTest, NewCameraIsLoggedCountedAndRecorded) {
  const Camera camera = GenerateCameras(1).front();
  simulator_->AddCamera(camera);
  StartSearch();
  ASSERT_TRUE(WaitForCount(1));
  ASSERT_TRUE(WaitForLogLine(FoundLine(camera)));
  EXPECT_EQ(FoundLine(camera), "found new entry, mac=[02:77:00:00:00:00]\n");

  const IpcInfo record = Record(0);
  EXPECT_STREQ(record.serialNumber, "PN00000000");
  EXPECT_STREQ(record.deviceType, "NVS-2210");
  EXPECT_STREQ(record.lan.ipAddress, "10.200.0.2");
  EXPECT_STREQ(record.lan.dns2, "10.200.0.3");
  EXPECT_EQ(record.stream.videoPort, 554);
  EXPECT_EQ(record.stream.ptzPort, 6000);
  EXPECT_EQ(record.user.accountCount, 10);
  EXPECT_STREQ(record.user.accounts[9].username, "user9-PN00000000");
  EXPECT_STREQ(record.user.accounts[0].group, "administrators");
}

TEST_F(ReplyIntakeTest, KnownCameraIsRefreshedInPlaceWithoutALogLine) {
  const std::vector<Camera> cameras = GenerateCameras(2);
  simulator_->AddCameras(cameras);
  StartSearch();
  ASSERT_TRUE(WaitForCount(2));
  EXPECT_EQ(std::string(Record(0).lan.ipAddress), "10.200.0.2");

  simulator_->ChangeCamera("PN00000000", [](Camera& camera) { camsim::Set(*camera.lan, "IPAddress", "10.200.7.7"); });
  ASSERT_TRUE(PumpUntil([&] { return std::string(Record(0).lan.ipAddress) == "10.200.7.7"; }, kFewRepliesTimeout));
  EXPECT_GE(simulator_->SearchRequests(), 2);
  EXPECT_EQ(Count(), 2);
  EXPECT_STREQ(Record(0).serialNumber, "PN00000000");
  EXPECT_STREQ(Record(1).serialNumber, "PN00000001");
  EXPECT_EQ(log_.Count(FoundLine(cameras[0])), 1);
  EXPECT_EQ(log_.Count(FoundLine(cameras[1])), 1);
}

TEST_F(ReplyIntakeTest, ReplyWithoutDeviceTypeIsTakenAsTheDefaultModelAndAccepted) {
  Camera camera = GenerateCameras(1).front();
  camera.deviceType.reset();
  simulator_->AddCamera(camera);
  StartSearch();
  ASSERT_TRUE(WaitForCount(1));
  EXPECT_STREQ(Record(0).deviceType, "ROV-AD355");
  EXPECT_TRUE(WaitForLogLine(FoundLine(camera)));
}

TEST_F(ReplyIntakeTest, TypeWithoutUpperCaseNvsIsRefusedWithItsLine) {
  Camera lowerCase = NamedCamera("LOWER-1", 1);
  lowerCase.deviceType = "nvs-2210";
  Camera other = NamedCamera("OTHER-2", 2);
  other.deviceType = "DVR-16";
  const Camera accepted = NamedCamera("GOOD-3", 3);
  simulator_->AddCameras({lowerCase, other, accepted});
  StartSearch();
  ASSERT_TRUE(WaitForCount(1));
  ASSERT_TRUE(WaitForLogLine("Found one device not IPC, type=nvs-2210, sn=LOWER-1\n"));
  EXPECT_EQ(log_.Count("Found one device not IPC, type=DVR-16, sn=OTHER-2\n"), 1);
  EXPECT_EQ(Count(), 1);
  EXPECT_STREQ(Record(0).serialNumber, "GOOD-3");
}

TEST_F(ReplyIntakeTest, EmptySerialNumberIsRefusedWithBothLines) {
  const Camera empty = NamedCamera("", 1);
  simulator_->AddCameras({empty, NamedCamera("GOOD-2", 2)});
  StartSearch();
  ASSERT_TRUE(WaitForCount(1));
  const std::string refusal = "serial number not found\n, msg=" + camsim::BuildReply(empty);
  ASSERT_TRUE(WaitForLogLine(refusal));
  const int first = log_.IndexOf("SerialNumber not found.\n");
  ASSERT_GE(first, 0);
  EXPECT_EQ(log_.IndexOf(refusal), first + 1);
  EXPECT_EQ(Count(), 1);
}

TEST_F(ReplyIntakeTest, MissingStreamSectionIsRefusedAfterTheLanSectionWasRead) {
  Camera noStream = NamedCamera("NOSTREAM-1", 1);
  noStream.streams.reset();
  camsim::Set(*noStream.lan, "DNS2", "");  // the LAN reader logs the empty value as it reads it
  simulator_->AddCameras({noStream, NamedCamera("GOOD-2", 2)});
  StartSearch();
  ASSERT_TRUE(WaitForCount(1));
  ASSERT_TRUE(WaitForLogLine("stream config not found.\n"));
  const int lanRead = log_.IndexOf("source string is null\r\n");
  ASSERT_GE(lanRead, 0);
  EXPECT_EQ(log_.IndexOf("stream config not found.\n"), lanRead + 1);
  EXPECT_EQ(Count(), 1);
  EXPECT_STREQ(Record(0).serialNumber, "GOOD-2");
}

TEST_F(ReplyIntakeTest, AStopEmptiesTheTableAndTheNextRunStartsEmpty) {
  simulator_->AddCameras(GenerateCameras(2));
  StartSearch();
  ASSERT_TRUE(WaitForCount(2));
  LONG result = -1;
  control_->StopSearch(&result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(Count(), 0);
  control_->StartSearch(&result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(Count(), 0);
  ASSERT_TRUE(WaitForCount(2));
  EXPECT_STREQ(Record(0).serialNumber, "PN00000000");
}

TEST_F(ReplyIntakeTest, SerialNumbersDifferingOnlyInCaseMakeTwoEntries) {
  const Camera lower = NamedCamera("nvscam-a", 1);
  const Camera upper = NamedCamera("NVSCAM-A", 2);
  simulator_->AddCameras({lower, upper});
  StartSearch();
  ASSERT_TRUE(WaitForCount(2));
  EXPECT_STREQ(Record(0).serialNumber, "nvscam-a");
  EXPECT_STREQ(Record(1).serialNumber, "NVSCAM-A");
  EXPECT_TRUE(WaitForLogLine(FoundLine(upper)));
}

TEST_F(ReplyIntakeTest, TableHoldsAThousandAndKnownCamerasStillRefresh) {
  std::vector<Camera> cameras = GenerateCameras(1001);
  simulator_->AddCameras(cameras);
  simulator_->SetSearchesToAnswer(1);  // one round; later datagrams are sent by hand
  StartSearch();
  // The search thread reads about 100 datagrams a second.
  ASSERT_TRUE(WaitForCount(1000, 60s)) << Count();
  ASSERT_TRUE(WaitForLogLine("found new entry, but ipc count exceed 1000\n"));
  EXPECT_EQ(Count(), 1000);
  EXPECT_EQ(log_.Count(FoundLine(cameras[999])), 1);
  EXPECT_EQ(log_.Count(FoundLine(cameras[1000])), 0);

  const camsim::Received search = simulator_->ReceivedDatagrams().front();
  for (int index : {0, 999, 1000}) {
    camsim::Set(*cameras[index].lan, "IPAddress", "10.201.0." + std::to_string(index % 250));
    ASSERT_TRUE(simulator_->SendTo(camsim::BuildReply(cameras[index]), search.fromAddress, search.fromPort));
  }
  ASSERT_TRUE(WaitForLogLine("found new entry, but ipc count exceed 1000\n", 2));
  EXPECT_STREQ(Record(0).lan.ipAddress, "10.201.0.0");
  EXPECT_STREQ(Record(999).lan.ipAddress, "10.201.0.249");
  EXPECT_STREQ(Record(999).serialNumber, "PN00000999");
  EXPECT_EQ(Count(), 1000);
}

/// Sets an environment variable for the life of a test, or unsets it for a null value.
class EnvironmentSetting {
 public:
  EnvironmentSetting(const char* name, const char* value) : name_(name) {
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvironmentSetting() { unsetenv(name_); }
  EnvironmentSetting(const EnvironmentSetting&) = delete;
  EnvironmentSetting& operator=(const EnvironmentSetting&) = delete;

 private:
  const char* name_;
};

TEST_F(ReplyIntakeTest, AGb2312CameraIsFoundAndShownInTheRightCharactersThroughCodePage936) {
  const EnvironmentSetting chineseWindows("PROWLNET_ACP", "936");
  Camera camera = NamedCamera("GB-1", 1);
  camera.deviceType = "NVS-\xCD\xF8\xC2\xE7\xC9\xE3\xCF\xF1\xBB\xFA";  // NVS-网络摄像机
  (*camera.accounts)[0] = {{"Username", "\xB9\xDC\xC0\xED\xD4\xB1"}, {"Password", "p"}};  // 管理员
  simulator_->AddCamera(camera);
  StartSearch();
  ASSERT_TRUE(WaitForCount(1));
  const IpcInfo record = Record(0);
  EXPECT_EQ(std::string(record.deviceType), *camera.deviceType) << "the bytes the camera wrote";
  EXPECT_STREQ(record.user.accounts[0].username, "\xB9\xDC\xC0\xED\xD4\xB1");

  ATL::CComBSTR document;
  ASSERT_EQ(control_->GetIPCInfoXML(0, &document), S_OK);
  EXPECT_NE(pal::Utf8FromBstr(document).find("Username=\"管理员\""), std::string::npos);
  LONG result = 99;
  control_->ModifyIPCXML(0, document, &result);
  EXPECT_EQ(result, 0) << "the document is accepted back";
}

TEST_F(ReplyIntakeTest, FastSearchAsksAtOnceAndTakesABurstBeforeTheFirstTick) {
  const EnvironmentSetting fast("PROWLNET_FAST_SEARCH", "1");
  simulator_->AddCameras(GenerateCameras(200));
  const auto start = std::chrono::steady_clock::now();
  const auto firstTick = start + std::chrono::milliseconds(kSearchTimerPeriod);
  StartSearch();
  ASSERT_TRUE(PumpUntil([&] { return simulator_->SearchRequests() > 0; }, 1s)) << "well before the first tick";
  const auto untilTick =
      std::chrono::duration_cast<std::chrono::milliseconds>(firstTick - std::chrono::steady_clock::now());
  EXPECT_TRUE(WaitForCount(200, untilTick)) << Count();
}

TEST_F(ReplyIntakeTest, WithoutFastSearchTheFirstRequestWaitsForTheFirstTick) {
  const EnvironmentSetting design("PROWLNET_FAST_SEARCH", nullptr);
  const auto start = std::chrono::steady_clock::now();
  StartSearch();
  ASSERT_TRUE(PumpUntil([&] { return simulator_->SearchRequests() > 0; }, 5s));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1900ms);
}

/// The intake called directly, for what needs no network: cuts, defaults and fresh records.
class DirectIntakeTest : public ::testing::Test {
 protected:
  DirectIntakeTest() : log_(prefix_) { DebugLogOpen(); }
  ~DirectIntakeTest() override { DebugLogClose(); }

  void Take(const Camera& camera) {
    const std::string reply = camsim::BuildReply(camera);
    HandleSearchReply(shared_, reply.c_str(), static_cast<int>(reply.size()));
  }

  TempPrefix prefix_;
  LogCapture log_;
  SharedState shared_;
};

TEST_F(DirectIntakeTest, ParseSerialAndTypeResults) {
  char serial[32];
  char type[32];
  EXPECT_EQ(ParseSerialAndType(serial, type, "<XML_MORVEK><IPC_SERIALNUMBER SerialNumber=\"S\"/>"), -1);
  EXPECT_EQ(ParseSerialAndType(serial, type, "<XML_MORVEK></XML_MORVEK>"), -2);
  EXPECT_EQ(ParseSerialAndType(serial, type, "<XML_MORVEK><IPC_SERIALNUMBER Serial=\"S\"/></XML_MORVEK>"), -3);
  EXPECT_STREQ(serial, "");

  ASSERT_EQ(ParseSerialAndType(serial, type,
                               "<XML_MORVEK><DEVICE_TYPE DeviceType=\"\"/><IPC_SERIALNUMBER SerialNumber=\"S1\"/>"
                               "</XML_MORVEK>"),
            0);
  EXPECT_STREQ(serial, "S1");
  EXPECT_STREQ(type, "ROV-AD355") << "an empty DeviceType leaves the default";

  const std::string text = "<XML_MORVEK><IPC_SERIALNUMBER SerialNumber=\"" + std::string(40, 's') +
                           "\"/><DEVICE_TYPE DeviceType=\"NVS" + std::string(40, 't') + "\"/></XML_MORVEK>";
  ASSERT_EQ(ParseSerialAndType(serial, type, text.c_str()), 0);
  EXPECT_EQ(std::string(serial), std::string(31, 's'));
  EXPECT_EQ(std::string(type), "NVS" + std::string(28, 't'));
}

TEST_F(DirectIntakeTest, AReplyWithoutSerialNumberElementLogsOnlyTheRefusal) {
  Camera nameless = GenerateCameras(1).front();
  nameless.serialNumber.reset();
  const size_t before = log_.Messages().size();
  Take(nameless);
  const std::vector<std::string> messages = log_.Messages();
  ASSERT_EQ(messages.size(), before + 1);
  EXPECT_EQ(messages.back(), "serial number not found\n, msg=" + camsim::BuildReply(nameless));
  EXPECT_EQ(shared_.table.count, 0);
}

TEST_F(DirectIntakeTest, AnUnreadableLanOrUserSectionRefusesTheReplyWithItsLine) {
  Camera noLan = GenerateCameras(1).front();
  noLan.lan.reset();
  Take(noLan);
  EXPECT_EQ(log_.Count("lan config not found.\n"), 1);
  Camera noUser = GenerateCameras(1, 1).front();
  noUser.accounts.reset();
  Take(noUser);
  EXPECT_EQ(log_.Count("user config not found.\n"), 1);
  EXPECT_EQ(log_.Count("stream config not found.\n"), 0);
  EXPECT_EQ(shared_.table.count, 0);
}

TEST_F(DirectIntakeTest, LongSerialNumbersAreCutAndKeyedByWhatIsKept) {
  Take(NamedCamera(std::string(31, '7') + "A", 1));
  Take(NamedCamera(std::string(31, '7') + "B", 2));
  ASSERT_EQ(shared_.table.count, 1);
  EXPECT_EQ(std::string(shared_.table.slots[0]->serialNumber), std::string(31, '7'));
  EXPECT_STREQ(shared_.table.slots[0]->lan.macAddress, "02:77:00:00:00:02") << "refreshed by the second";
}

TEST_F(DirectIntakeTest, EachRecordStartsZeroFilledAndARefreshReplacesEveryField) {
  Camera sparse = NamedCamera("SPARSE-1");
  sparse.lan = camsim::Attributes{{"MacAddress", "m"}};
  sparse.accounts = std::vector<camsim::Attributes>{{{"Username", "only"}}};
  Take(sparse);
  ASSERT_EQ(shared_.table.count, 1);
  const IpcInfo& record = *shared_.table.slots[0];
  EXPECT_STREQ(record.lan.ipAddress, "");
  EXPECT_EQ(record.lan.dhcp, 0);
  EXPECT_STREQ(record.user.accounts[0].password, "");
  const IpcInfo zero{};
  EXPECT_EQ(std::memcmp(&record.user.accounts[1], &zero.user.accounts[1], sizeof(UserAccount) * 19), 0);

  Take(NamedCamera("SPARSE-1"));
  Take(sparse);
  EXPECT_STREQ(record.lan.ipAddress, "") << "the earlier full reply left nothing behind";
  EXPECT_EQ(record.user.accountCount, 1);
  EXPECT_STREQ(record.user.accounts[1].username, "");
}

TEST_F(DirectIntakeTest, MoreThanTwentyAccountsAreAcceptedWithTheFirstTwenty) {
  Take(NamedCamera("MANY-1"));
  const std::string reply = *camsim::EdgeCaseReply("many-accounts", NamedCamera("MANY-2", 2));
  HandleSearchReply(shared_, reply.c_str(), static_cast<int>(reply.size()));
  ASSERT_EQ(shared_.table.count, 2);
  EXPECT_EQ(shared_.table.slots[1]->user.accountCount, 20);
  EXPECT_STREQ(shared_.table.slots[1]->user.accounts[19].username, "u19");
  EXPECT_EQ(shared_.table.slots[1]->stream.videoPort, 554);
}

TEST_F(DirectIntakeTest, TheDefaultModelIsACameraWhetherNamedOrTakenByDefault) {
  Camera named = NamedCamera("NAMED-1", 1);
  named.deviceType = "ROV-AD355";
  Camera longer = NamedCamera("LONGER-2", 2);
  longer.deviceType = "ROV-AD3550";
  Take(named);
  Take(longer);
  ASSERT_EQ(shared_.table.count, 1);
  EXPECT_STREQ(shared_.table.slots[0]->serialNumber, "NAMED-1");
  EXPECT_EQ(log_.Count("Found one device not IPC, type=ROV-AD3550, sn=LONGER-2\n"), 1);
}

TEST_F(DirectIntakeTest, NoTextOrANegativeLengthIsIgnored) {
  HandleSearchReply(shared_, nullptr, 10);
  const std::string reply = camsim::BuildReply(NamedCamera("X-1"));
  HandleSearchReply(shared_, reply.c_str(), -1);
  EXPECT_EQ(shared_.table.count, 0);
  EXPECT_EQ(log_.IndexOf("serial number not found\n, msg="), -1);
}

}  // namespace
}  // namespace prowlnet
