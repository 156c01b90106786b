// Reading and changing device records: index and length edges, the XML forms, the address
// bookkeeping, and modifications on the wire to a camera simulated in namespace lan.
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "camsim/camera.h"
#include "camsim/simulator.h"
#include "engine/config_sections.h"
#include "engine/control_object.h"
#include "pal/host_kit.h"
#include "pal/oleauto.h"
#include "pal/winsock2.h"
#include "support/log_capture.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace prowlnet {
namespace {

using namespace test_support;
using namespace std::chrono_literals;
using pal::PumpFor;
using pal::PumpUntil;

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
std::string Narrow(BSTR text) { return std::string(text, text + SysStringLen(text)); }

IpcInfo MakeRecord(const std::string& serial, const std::string& address) {
  IpcInfo record{};
  std::strcpy(record.serialNumber, serial.c_str());
  std::strcpy(record.deviceType, "NVS-2210");
  std::strcpy(record.lan.macAddress, ("02:00:00:00:00:" + serial.substr(serial.size() - 2)).c_str());
  std::strcpy(record.lan.ipAddress, address.c_str());
  std::strcpy(record.lan.netmask, "255.255.255.0");
  std::strcpy(record.lan.gateway, "10.200.0.1");
  std::strcpy(record.lan.dns1, "10.200.0.3");
  record.lan.dhcp = 0;
  record.stream.videoPort = 554;
  return record;
}

/// A constructed control whose device table the test fills itself, as the intake would.
class OperationsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(control_.FinalConstruct(), S_OK); }

  void AddRecord(const IpcInfo& record) {
    SharedState& shared = control_.shared();
    CriticalSectionLock lock(shared.lock);
    shared.table.slots[static_cast<size_t>(shared.table.count++)] = std::make_unique<IpcInfo>(record);
  }
  IpcInfo Record(int index) {
    CriticalSectionLock lock(control_.shared().lock);
    return *control_.shared().table.slots.at(static_cast<size_t>(index));
  }
  LONG Modify(int index, IpcInfo record) {
    LONG result = 99;
    EXPECT_EQ(control_.ModifyIPC(index, reinterpret_cast<BYTE*>(&record), sizeof record, &result), S_OK);
    return result;
  }
  LONG ModifyXml(int index, const std::string& text) {
    const ATL::CComBSTR bstr(Wide(text).c_str());
    LONG result = 99;
    EXPECT_EQ(control_.ModifyIPCXML(index, bstr, &result), S_OK);
    return result;
  }
  std::string InfoXml(int index) {
    ATL::CComBSTR xml;
    EXPECT_EQ(control_.GetIPCInfoXML(index, &xml), S_OK);
    EXPECT_NE(xml.m_str, nullptr);
    return Narrow(xml);
  }
  bool Booked(const std::string& address) { return control_.assignedAddresses().Holds(ws2::inet_addr(address.c_str())); }

  TempPrefix prefix_;
  LogCapture log_{prefix_};
  CCProwlnet control_;
};

TEST_F(OperationsTest, GetIPCInfoChecksTheIndexThenTheLengthAndCopiesExactlyOneRecord) {
  for (const char* serial : {"SN01", "SN02", "SN03"}) AddRecord(MakeRecord(serial, "10.200.0.9"));
  std::vector<BYTE> buffer(5000, 0xAB);
  LONG result = 99;
  control_.GetIPCInfo(3, buffer.data(), 5000, &result);
  EXPECT_EQ(result, -1);
  control_.GetIPCInfo(-1, buffer.data(), 5000, &result);
  EXPECT_EQ(result, -1);
  control_.GetIPCInfo(2, buffer.data(), 4027, &result);
  EXPECT_EQ(result, -2);
  control_.GetIPCInfo(2, buffer.data(), -1, &result);
  EXPECT_EQ(result, 0) << "the length is taken as unsigned";
  control_.GetIPCInfo(2, nullptr, 4028, &result);
  EXPECT_EQ(result, -2);

  std::fill(buffer.begin(), buffer.end(), 0xAB);
  control_.GetIPCInfo(2, buffer.data(), 5000, &result);
  EXPECT_EQ(result, 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data()), "SN03");
  EXPECT_EQ(std::memcmp(buffer.data() + 32, "NVS-2210", 9), 0);
  for (size_t i = sizeof(IpcInfo); i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xAB) << "byte " << i;
}

TEST_F(OperationsTest, ModifyIPCRefusesBadIndexesLengthsAndNullBuffers) {
  AddRecord(MakeRecord("SN01", "10.200.0.9"));
  IpcInfo changed = MakeRecord("SN01", "10.200.0.50");
  LONG result = 99;
  EXPECT_EQ(Modify(1, changed), -1);
  control_.ModifyIPC(0, reinterpret_cast<BYTE*>(&changed), 4027, &result);
  EXPECT_EQ(result, -2);
  control_.ModifyIPC(0, nullptr, 4028, &result);
  EXPECT_EQ(result, -2);
  EXPECT_STREQ(Record(0).lan.ipAddress, "10.200.0.9");
  EXPECT_FALSE(Booked("10.200.0.50"));
}

TEST_F(OperationsTest, ARecordIsReplacedWholeAndTheAddressIsMovedInTheBook) {
  AddRecord(MakeRecord("SN01", "10.200.0.9"));
  IpcInfo toA = MakeRecord("SN01", "10.200.0.60");
  std::strcpy(toA.deviceType, "NVS-9000");
  EXPECT_EQ(Modify(0, toA), 0);
  EXPECT_STREQ(Record(0).deviceType, "NVS-9000");
  EXPECT_TRUE(Booked("10.200.0.60"));

  EXPECT_EQ(Modify(0, MakeRecord("SN01", "10.200.0.61")), 0);
  EXPECT_FALSE(Booked("10.200.0.60")) << "A is released";
  EXPECT_TRUE(Booked("10.200.0.61")) << "B is booked";
}

TEST_F(OperationsTest, ARecordWithoutTerminatorsIsKeptAsGivenAndNeverReadPastItsFields) {
  AddRecord(MakeRecord("SN01", "10.200.0.9"));
  IpcInfo raw;
  std::memset(&raw, 'A', sizeof raw);  // no text field ends
  raw.user.accountCount = 9999;
  raw.lan.dhcp = 1;
  EXPECT_EQ(Modify(0, raw), 0);
  std::vector<BYTE> back(sizeof(IpcInfo));
  LONG result = 99;
  control_.GetIPCInfo(0, back.data(), static_cast<LONG>(back.size()), &result);
  EXPECT_EQ(std::memcmp(back.data(), &raw, sizeof raw), 0) << "the bytes stay exactly as given";

  const std::string xml = InfoXml(0);
  EXPECT_NE(xml.find("SerialNumber=\"" + std::string(32, 'A') + "\""), std::string::npos);
  size_t accounts = 0;
  for (size_t at = xml.find("<Account\r\n"); at != std::string::npos; at = xml.find("<Account\r\n", at + 1)) ++accounts;
  EXPECT_LE(accounts, 20u) << "the count is clamped";
  EXPECT_LE(xml.size(), 3274u);
}

TEST_F(OperationsTest, GetIPCInfoXMLGivesTheDocumentOrAnEmptyString) {
  AddRecord(MakeRecord("SN01", "10.200.0.9"));
  EXPECT_EQ(InfoXml(1), "") << "an index equal to the count";
  EXPECT_EQ(InfoXml(-5), "");

  const std::string xml = InfoXml(0);
  EXPECT_EQ(xml.rfind("<IPC_INFO>\n<IPC_SERIALNUMBER\r\nSerialNumber=\"SN01\"\r\n/>\r\n<LANConfig\r\n", 0), 0u);
  EXPECT_NE(xml.find("IPAddress=\"10.200.0.9\"\r\n"), std::string::npos);
  EXPECT_NE(xml.find("\n<MediaStreamConfig>\r\n"), std::string::npos);
  const std::string tail = "<UserConfig>\r\n</UserConfig>\r\n</IPC_INFO>";
  EXPECT_EQ(xml.substr(xml.size() - tail.size()), tail) << "no accounts: the two UserConfig lines alone";

  EXPECT_EQ(control_.GetIPCInfoXML(0, nullptr), S_OK) << "no place for the result is no failure";
}

TEST_F(OperationsTest, ModifyIPCXMLRefusesTextWithoutReadableLanSettings) {
  AddRecord(MakeRecord("SN01", "10.200.0.9"));
  EXPECT_EQ(ModifyXml(0, "this is not xml"), -2);
  EXPECT_EQ(log_.Count("Network_getLANCfgByXml(): xml error\r\n"), 1);
  EXPECT_EQ(log_.Count("bad xml str: this is not xml\n"), 1);

  EXPECT_EQ(ModifyXml(0, "<IPC_INFO><Other/></IPC_INFO>"), -2);
  EXPECT_EQ(log_.Count("Network_getLANCfgByXml(): xml error\r\n"), 1) << "it parsed: no reader line";
  EXPECT_EQ(log_.Count("bad xml str: <IPC_INFO><Other/></IPC_INFO>\n"), 1);
  EXPECT_STREQ(Record(0).lan.ipAddress, "10.200.0.9");

  EXPECT_EQ(ModifyXml(1, "<LANConfig IPAddress=\"10.200.0.70\"/>"), -1);
  LONG result = 99;
  control_.ModifyIPCXML(0, nullptr, &result);
  EXPECT_EQ(result, 99) << "a null text ends the call at once";
}

TEST_F(OperationsTest, ModifyIPCXMLChangesOnlyTheLanSettingsItNames) {
  AddRecord(MakeRecord("SN01", "10.200.0.9"));
  EXPECT_EQ(ModifyXml(0, "<LANConfig IPAddress=\"10.200.0.70\"/>"), 0);
  const IpcInfo record = Record(0);
  EXPECT_STREQ(record.lan.ipAddress, "10.200.0.70");
  EXPECT_STREQ(record.lan.netmask, "255.255.255.0") << "left out: the current value stays";
  EXPECT_STREQ(record.lan.macAddress, "02:00:00:00:00:01");
  EXPECT_EQ(record.stream.videoPort, 554);
  EXPECT_TRUE(Booked("10.200.0.70"));

  // The IPC_INFO document comes back unchanged: the record stays as it was.
  const std::string xml = InfoXml(0);
  EXPECT_EQ(ModifyXml(0, xml), 0);
  const IpcInfo again = Record(0);
  EXPECT_EQ(std::memcmp(&again, &record, sizeof record), 0);
}

TEST_F(OperationsTest, NoPlaceForTheOutcomeIsNoCrash) {
  AddRecord(MakeRecord("SN01", "10.200.0.9"));
  IpcInfo record = MakeRecord("SN01", "10.200.0.9");
  EXPECT_EQ(control_.GetIPCInfo(0, reinterpret_cast<BYTE*>(&record), sizeof record, nullptr), S_OK);
  EXPECT_EQ(control_.ModifyIPC(0, reinterpret_cast<BYTE*>(&record), sizeof record, nullptr), S_OK);
  EXPECT_EQ(control_.GetIPCCount(nullptr), S_OK);
  EXPECT_EQ(control_.StopSearch(nullptr), S_OK);
}

/// A search in namespace pc with camsim answering from namespace lan.
class WireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      NamespaceScope lan(network_.lan().name());
      simulator_ = std::make_unique<camsim::Simulator>();
    }
    ASSERT_TRUE(simulator_->ok()) << simulator_->error();
    camera_ = camsim::GenerateCameras(1).front();
    simulator_->AddCamera(camera_);
    ASSERT_EQ(control_->FinalConstruct(), S_OK);
    LONG result = 99;
    control_->StartSearch(&result);
    ASSERT_EQ(result, 0);
    ASSERT_TRUE(PumpUntil([&] { return Count() == 1; }, 15s));
  }
  void TearDown() override {
    control_.reset();
    simulator_.reset();
  }

  LONG Count() {
    LONG count = 0;
    control_->GetIPCCount(&count);
    return count;
  }
  IpcInfo Record() {
    IpcInfo record;
    LONG result = 99;
    control_->GetIPCInfo(0, reinterpret_cast<BYTE*>(&record), sizeof record, &result);
    EXPECT_EQ(result, 0);
    return record;
  }
  /// Search requests that camsim received after the first modification.
  int SearchRequestsAfterTheFirstModification() {
    int count = -1;
    for (const auto& received : simulator_->ReceivedDatagrams()) {
      if (count < 0 && received.request.code == camsim::kModifyRequest) count = 0;
      if (count >= 0 && received.request.code == camsim::kSearchRequest) ++count;
    }
    return count;
  }
  std::vector<camsim::Received> Modifications() {
    std::vector<camsim::Received> found;
    for (const auto& received : simulator_->ReceivedDatagrams())
      if (received.request.code == camsim::kModifyRequest) found.push_back(received);
    return found;
  }

  TestNetwork network_;
  TempPrefix prefix_;
  LogCapture log_{prefix_};
  std::unique_ptr<camsim::Simulator> simulator_;
  camsim::Camera camera_;
  NamespaceScope pc_{network_.pc().name()};
  std::unique_ptr<CCProwlnet> control_ = std::make_unique<CCProwlnet>();
};

TEST_F(WireTest, AModificationGoesOutOnceAndTheCamerasNextReplyShowsIt) {
  IpcInfo record = Record();
  std::strcpy(record.lan.ipAddress, "10.200.0.77");
  LONG result = 99;
  control_->ModifyIPC(0, reinterpret_cast<BYTE*>(&record), sizeof record, &result);
  ASSERT_EQ(result, 0);

  ASSERT_TRUE(PumpUntil([&] { return Modifications().size() == 1; }, 5s));
  const camsim::Received modification = Modifications().front();
  EXPECT_EQ(modification.fromAddress, network_.PcAddress());
  // The whole datagram, byte for byte: the envelope's lines end in LF, the body's in CR LF, and
  // the envelope adds one LF of its own after the body.
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n<XML_MORVEK>\n<MESSAGE_HEADER\n"
      "Msg_type=\"SYSTEM_PROWLNET_MESSAGE\"\nMsg_code=\"2\"\nMsg_flag=\"0\"\n/>\n<MESSAGE_BODY>\n"
      "<IPC_SERIALNUMBER\r\nSerialNumber=\"PN00000000\"\r\n/>\r\n"
      "<LANConfig\r\nMacAddress=\"02:77:00:00:00:00\"\r\nDHCP=\"0\"\r\nIPAddress=\"10.200.0.77\"\r\n"
      "Netmask=\"255.255.0.0\"\r\nGateway=\"10.200.0.1\"\r\nDNS1=\"10.200.0.2\"\r\nDNS2=\"10.200.0.3\"\r\n/>\r\n"
      "\n</MESSAGE_BODY>\n</XML_MORVEK>";
  EXPECT_EQ(modification.bytes, expected);

  ASSERT_TRUE(PumpUntil([&] { return simulator_->CameraWithSerial(*camera_.serialNumber)->lan.has_value() &&
                                     *camsim::Find(*simulator_->CameraWithSerial(*camera_.serialNumber)->lan,
                                                   "IPAddress") == "10.200.0.77"; },
                        5s));
  // Forget the change locally: the camera's next reply brings it back.
  {
    CriticalSectionLock lock(control_->shared().lock);
    std::strcpy(control_->shared().table.slots[0]->lan.ipAddress, "0.0.0.0");
  }
  ASSERT_TRUE(PumpUntil([&] { return std::strcmp(Record().lan.ipAddress, "10.200.0.77") == 0; }, 10s));
  // Two more search requests after it show the queue has moved on past the modification.
  ASSERT_TRUE(PumpUntil([&] { return SearchRequestsAfterTheFirstModification() >= 2; }, 10s));
  EXPECT_EQ(Modifications().size(), 1u) << "one datagram per call";
}

TEST_F(WireTest, AfterTheStopNoRecordIsLeftToModifyButTheBookedAddressStaysTaken) {
  IpcInfo changed = Record();
  std::strcpy(changed.lan.ipAddress, "10.200.0.88");
  LONG result = 99;
  control_->ModifyIPC(0, reinterpret_cast<BYTE*>(&changed), sizeof changed, &result);
  ASSERT_EQ(result, 0);
  control_->StopSearch(&result);
  ASSERT_EQ(result, 0);
  control_->ModifyIPC(0, reinterpret_cast<BYTE*>(&changed), sizeof changed, &result);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Count(), 0);
  EXPECT_TRUE(control_->assignedAddresses().Holds(ws2::inet_addr("10.200.0.88")));
}

TEST_F(WireTest, TheUnchangedDocumentSendsTheCurrentSettingsAndLeavesTheRecord) {
  const IpcInfo before = Record();
  ATL::CComBSTR xml;
  ASSERT_EQ(control_->GetIPCInfoXML(0, &xml), S_OK);
  LONG result = 99;
  control_->ModifyIPCXML(0, xml, &result);
  ASSERT_EQ(result, 0);
  const IpcInfo after = Record();
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  ASSERT_TRUE(PumpUntil([&] { return Modifications().size() == 1; }, 5s));
  EXPECT_NE(Modifications().front().bytes.find(std::string("IPAddress=\"") + before.lan.ipAddress + "\"\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace prowlnet
