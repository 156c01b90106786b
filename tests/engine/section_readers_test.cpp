// The readers of the configuration sections, on the cases where a reader can go wrong: where
// the element stands, which of two is read, exact names, absent and empty values, atoi
// conversions, cuts to the field, and children that are not direct.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "diag/debug_log.h"
#include "engine/config_sections.h"
#include "support/log_capture.h"
#include "support/temp_prefix.h"

namespace prowlnet {
namespace {

using test_support::LogCapture;
using test_support::TempPrefix;

constexpr const char* kNullValue = "source string is null\r\n";

const char* kFullLan =
    "<LANConfig MacAddress=\"00:1A:2B:3C:4D:5E\" DHCP=\"1\" IPAddress=\"10.0.0.7\" Netmask=\"255.255.255.0\" "
    "Gateway=\"10.0.0.1\" DNS1=\"8.8.8.8\" DNS2=\"8.8.4.4\"/>";

class SectionReaderTest : public ::testing::Test {
 protected:
  SectionReaderTest() : log_(prefix_) { DebugLogOpen(); }
  ~SectionReaderTest() override { DebugLogClose(); }

  TempPrefix prefix_;
  LogCapture log_;
};

void ExpectFullLan(const LANCfg& lan) {
  EXPECT_STREQ(lan.macAddress, "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(lan.dhcp, 1);
  EXPECT_STREQ(lan.ipAddress, "10.0.0.7");
  EXPECT_STREQ(lan.netmask, "255.255.255.0");
  EXPECT_STREQ(lan.gateway, "10.0.0.1");
  EXPECT_STREQ(lan.dns1, "8.8.8.8");
  EXPECT_STREQ(lan.dns2, "8.8.4.4");
}

template <typename T>
bool SameBytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

/// A LAN section whose every field holds something, to see what a read leaves alone.
LANCfg PrefilledLan() {
  LANCfg lan{};
  std::strcpy(lan.macAddress, "old-mac");
  lan.dhcp = 9;
  std::strcpy(lan.ipAddress, "old-ip");
  std::strcpy(lan.netmask, "old-mask");
  std::strcpy(lan.gateway, "old-gw");
  std::strcpy(lan.dns1, "old-dns1");
  std::strcpy(lan.dns2, "old-dns2");
  return lan;
}

TEST_F(SectionReaderTest, LanSectionIsFoundWhereverItStands) {
  const std::string lan = kFullLan;
  const std::string texts[] = {
      lan,
      "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n<XML_MORVEK><MESSAGE_HEADER Msg_code=\"3\"/><MESSAGE_BODY>" + lan +
          "</MESSAGE_BODY></XML_MORVEK>",
      "<IPC_INFO>\n<IPC_SERIALNUMBER SerialNumber=\"A1\"/>" + lan + "\n</IPC_INFO>",
      "<a><b><c>" + lan + "</c></b></a>",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    LANCfg read{};
    ASSERT_EQ(Network_getLANCfgByXml(read, text.c_str()), 0);
    ExpectFullLan(read);
  }
}

TEST_F(SectionReaderTest, FirstOfTwoSectionsIsRead) {
  LANCfg lan{};
  ASSERT_EQ(Network_getLANCfgByXml(lan,
                                   "<r><x><LANConfig IPAddress=\"1.1.1.1\"/></x>"
                                   "<LANConfig IPAddress=\"2.2.2.2\" DNS1=\"9.9.9.9\"/></r>"),
            0);
  EXPECT_STREQ(lan.ipAddress, "1.1.1.1");
  EXPECT_STREQ(lan.dns1, "");

  MediaStreamCfg stream{};
  ASSERT_EQ(GetMediaStreamCfgByXml(stream,
                                   "<r><MediaStreamConfig><StreamAccess VideoPort=\"1\"/></MediaStreamConfig>"
                                   "<MediaStreamConfig><StreamAccess VideoPort=\"2\"/></MediaStreamConfig></r>"),
            0);
  EXPECT_EQ(stream.videoPort, 1);

  UserCfg user{};
  ASSERT_EQ(System_getUserCfgByXml(user,
                                   "<r><UserConfig><Account Username=\"first\"/></UserConfig>"
                                   "<UserConfig><Account Username=\"a\"/><Account Username=\"b\"/></UserConfig></r>"),
            0);
  EXPECT_EQ(user.accountCount, 1);
  EXPECT_STREQ(user.accounts[0].username, "first");
}

TEST_F(SectionReaderTest, NamesAreMatchedExactlyAndCaseSensitively) {
  LANCfg lan = PrefilledLan();
  ASSERT_EQ(Network_getLANCfgByXml(lan,
                                   "<LANConfig ipaddress=\"1.2.3.4\" DHCPX=\"1\" Dhcp=\"1\" IPAddress2=\"5.6.7.8\" "
                                   "MACADDRESS=\"m\" DNS=\"d\"/>"),
            0);
  EXPECT_TRUE(SameBytes(lan, PrefilledLan()));

  EXPECT_EQ(Network_getLANCfgByXml(lan, "<lanconfig IPAddress=\"1.2.3.4\"/>"), -1);
  EXPECT_EQ(Network_getLANCfgByXml(lan, "<LANConfigs IPAddress=\"1.2.3.4\"/>"), -1);
  EXPECT_STREQ(lan.ipAddress, "old-ip");

  MediaStreamCfg stream{};
  ASSERT_EQ(GetMediaStreamCfgByXml(stream,
                                   "<MediaStreamConfig><streamaccess VideoPort=\"1\"/>"
                                   "<StreamAccess videoport=\"2\" Webport=\"3\"/></MediaStreamConfig>"),
            0);
  EXPECT_EQ(stream.videoPort, 0);
  EXPECT_EQ(stream.webPort, 0);

  UserCfg user{};
  ASSERT_EQ(System_getUserCfgByXml(user, "<UserConfig><account Username=\"x\"/><Account username=\"y\"/></UserConfig>"),
            0);
  EXPECT_EQ(user.accountCount, 1);
  EXPECT_STREQ(user.accounts[0].username, "");
}

TEST_F(SectionReaderTest, AbsentAttributesLeaveFieldsAsTheyWere) {
  LANCfg lan = PrefilledLan();
  ASSERT_EQ(Network_getLANCfgByXml(lan, "<LANConfig IPAddress=\"10.1.1.1\"/>"), 0);
  EXPECT_STREQ(lan.ipAddress, "10.1.1.1");
  EXPECT_STREQ(lan.macAddress, "old-mac");
  EXPECT_EQ(lan.dhcp, 9);
  EXPECT_STREQ(lan.dns2, "old-dns2");

  UserCfg user{};
  std::strcpy(user.accounts[0].password, "kept");
  std::strcpy(user.accounts[0].status, "1");
  ASSERT_EQ(System_getUserCfgByXml(user, "<UserConfig><Account Username=\"admin\" Group=\"g\"/></UserConfig>"), 0);
  EXPECT_STREQ(user.accounts[0].username, "admin");
  EXPECT_STREQ(user.accounts[0].password, "kept");
  EXPECT_STREQ(user.accounts[0].group, "g");
  EXPECT_STREQ(user.accounts[0].status, "1");
  EXPECT_EQ(log_.Count(kNullValue), 0);
}

TEST_F(SectionReaderTest, EmptyValueEmptiesTextFieldWithLogLineAndGivesZeroSilently) {
  LANCfg lan = PrefilledLan();
  ASSERT_EQ(Network_getLANCfgByXml(lan, "<LANConfig DNS2=\"\" DHCP=\"\"/>"), 0);
  EXPECT_STREQ(lan.dns2, "");
  EXPECT_EQ(lan.dhcp, 0);
  EXPECT_EQ(log_.Count(kNullValue), 1);

  MediaStreamCfg stream{};
  ASSERT_EQ(GetMediaStreamCfgByXml(stream, "<MediaStreamConfig><StreamAccess Auth=\"\"/></MediaStreamConfig>"), 0);
  EXPECT_EQ(stream.auth, 0);
  EXPECT_EQ(log_.Count(kNullValue), 1);

  UserCfg user{};
  std::strcpy(user.accounts[0].password, "old");
  ASSERT_EQ(System_getUserCfgByXml(user, "<UserConfig><Account Username=\"u\" Password=\"\"/></UserConfig>"), 0);
  EXPECT_STREQ(user.accounts[0].password, "");
  EXPECT_EQ(log_.Count(kNullValue), 2);
}

TEST_F(SectionReaderTest, IntegersFollowAtoi) {
  struct Case {
    const char* value;
    int expected;
  };
  const Case cases[] = {{"554", 554}, {"554abc", 554}, {"word", 0}, {"  12", 12},
                        {"-3", -3},   {"+7", 7},       {"0x10", 0}, {"2147483647", 2147483647}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    LANCfg lan{};
    ASSERT_EQ(Network_getLANCfgByXml(lan, ("<LANConfig DHCP=\"" + std::string(c.value) + "\"/>").c_str()), 0);
    EXPECT_EQ(lan.dhcp, c.expected);
    MediaStreamCfg stream{};
    const std::string text =
        "<MediaStreamConfig><StreamAccess VideoPort=\"" + std::string(c.value) + "\"/></MediaStreamConfig>";
    ASSERT_EQ(GetMediaStreamCfgByXml(stream, text.c_str()), 0);
    EXPECT_EQ(stream.videoPort, c.expected);
  }
}

TEST_F(SectionReaderTest, TextValuesAreCutToTheirFieldAndNothingBeyondIsWritten) {
  // Every byte starts non-zero, so that a byte written past a field shows in its neighbour.
  UserCfg user;
  std::memset(&user, 'x', sizeof user);
  const std::string text = "<UserConfig><Account Username=\"" + std::string(50, 'u') + "\" Group=\"" +
                           std::string(32, 'g') + "\"/><Account Password=\"" + std::string(40, 'p') +
                           "\" Status=\"12345678\"/><Account Status=\"1234567\"/></UserConfig>";
  ASSERT_EQ(System_getUserCfgByXml(user, text.c_str()), 0);
  EXPECT_EQ(std::string(user.accounts[0].username), std::string(39, 'u'));
  EXPECT_EQ(user.accounts[0].password[0], 'x');
  EXPECT_EQ(std::string(user.accounts[0].group), std::string(31, 'g'));
  EXPECT_EQ(user.accounts[0].status[0], 'x');
  EXPECT_EQ(std::string(user.accounts[1].password), std::string(39, 'p'));
  EXPECT_EQ(user.accounts[1].group[0], 'x');
  EXPECT_STREQ(user.accounts[1].status, "1234567");
  EXPECT_EQ(user.accounts[2].username[0], 'x');
  EXPECT_STREQ(user.accounts[2].status, "1234567") << "seven characters fit exactly";
  EXPECT_EQ(user.accounts[3].username[0], 'x');

  LANCfg lan;
  std::memset(&lan, 'x', sizeof lan);
  ASSERT_EQ(Network_getLANCfgByXml(lan, ("<LANConfig MacAddress=\"" + std::string(300, 'm') + "\"/>").c_str()), 0);
  EXPECT_EQ(std::string(lan.macAddress), std::string(255, 'm'));
  int untouched;
  std::memset(&untouched, 'x', sizeof untouched);
  EXPECT_EQ(lan.dhcp, untouched) << "the field after the cut one is untouched";
}

TEST_F(SectionReaderTest, StreamSectionStartsFromZeros) {
  MediaStreamCfg stream{7, 7, 7, 7, 7};
  ASSERT_EQ(GetMediaStreamCfgByXml(stream, "<MediaStreamConfig><StreamAccess VideoPort=\"554\"/></MediaStreamConfig>"),
            0);
  EXPECT_EQ(stream.auth, 0);
  EXPECT_EQ(stream.videoPort, 554);
  EXPECT_EQ(stream.rtpOverRtsp, 0);
  EXPECT_EQ(stream.ptzPort, 0);
  EXPECT_EQ(stream.webPort, 0);

  stream = MediaStreamCfg{7, 7, 7, 7, 7};
  ASSERT_EQ(GetMediaStreamCfgByXml(stream, "<MediaStreamConfig/>"), 0);
  EXPECT_EQ(stream.auth, 0);
  EXPECT_EQ(stream.webPort, 0);
}

TEST_F(SectionReaderTest, LaterStreamAccessOverwritesTheValuesItCarries) {
  MediaStreamCfg stream{};
  ASSERT_EQ(GetMediaStreamCfgByXml(stream,
                                   "<MediaStreamConfig>"
                                   "<StreamAccess Auth=\"1\" VideoPort=\"554\" RTPOverRTSP=\"1\" PTZPort=\"6000\" "
                                   "WEBPort=\"80\"/>"
                                   "<Other VideoPort=\"1\"><StreamAccess WEBPort=\"2\"/></Other>"
                                   "<StreamAccess VideoPort=\"8554\"/></MediaStreamConfig>"),
            0);
  EXPECT_EQ(stream.auth, 1);
  EXPECT_EQ(stream.videoPort, 8554);
  EXPECT_EQ(stream.rtpOverRtsp, 1);
  EXPECT_EQ(stream.ptzPort, 6000);
  EXPECT_EQ(stream.webPort, 80);  // the nested StreamAccess is not a child of the section
}

TEST_F(SectionReaderTest, AccountsFillSlotsInDocumentOrderAndNestedOnesAreIgnored) {
  UserCfg user{};
  user.accountCount = 5;
  ASSERT_EQ(System_getUserCfgByXml(user, "<UserConfig/>"), 0);
  EXPECT_EQ(user.accountCount, 0);

  ASSERT_EQ(System_getUserCfgByXml(user,
                                   "<UserConfig>"
                                   "<Account Username=\"a\" Password=\"pa\" Group=\"1\" Status=\"0\"/>"
                                   "<Group><Account Username=\"nested\"/></Group>"
                                   "<Account Username=\"b\"><Account Username=\"inner\"/></Account>"
                                   "<Account Username=\"c\"/></UserConfig>"),
            0);
  EXPECT_EQ(user.accountCount, 3);
  EXPECT_STREQ(user.accounts[0].username, "a");
  EXPECT_STREQ(user.accounts[0].password, "pa");
  EXPECT_STREQ(user.accounts[1].username, "b");
  EXPECT_STREQ(user.accounts[2].username, "c");
}

TEST_F(SectionReaderTest, MoreThanTwentyAccountsKeepTheFirstTwenty) {
  IpcInfo record{};
  record.stream = MediaStreamCfg{11, 12, 13, 14, 15};
  std::string text = "<UserConfig>";
  for (int i = 0; i < 25; ++i) text += "<Account Username=\"user" + std::to_string(i) + "\"/>";
  text += "</UserConfig>";
  ASSERT_EQ(System_getUserCfgByXml(record.user, text.c_str()), 0);
  EXPECT_EQ(record.user.accountCount, 20);
  EXPECT_STREQ(record.user.accounts[0].username, "user0");
  EXPECT_STREQ(record.user.accounts[19].username, "user19");
  EXPECT_EQ(record.stream.auth, 11);  // nothing written past the user section
  EXPECT_EQ(record.stream.webPort, 15);
}

TEST_F(SectionReaderTest, UnparseableTextFailsWithTheReadersOwnLine) {
  for (const char* text : {"not xml at all", "", "<LANConfig IPAddress=\"1\">", static_cast<const char*>(nullptr)}) {
    SCOPED_TRACE(text == nullptr ? "null" : text);
    LANCfg lan = PrefilledLan();
    MediaStreamCfg stream{1, 2, 3, 4, 5};
    UserCfg user{};
    user.accountCount = 4;
    EXPECT_EQ(Network_getLANCfgByXml(lan, text), -1);
    EXPECT_EQ(GetMediaStreamCfgByXml(stream, text), -1);
    EXPECT_EQ(System_getUserCfgByXml(user, text), -1);
    EXPECT_TRUE(SameBytes(lan, PrefilledLan()));
    EXPECT_EQ(stream.videoPort, 2);
    EXPECT_EQ(user.accountCount, 4);
  }
  EXPECT_EQ(log_.Count("Network_getLANCfgByXml(): xml error\r\n"), 4);
  EXPECT_EQ(log_.Count("GetMediaStreamCfgByXml(): xml error\r\n"), 4);
  EXPECT_EQ(log_.Count("System_getUserCfgByXml(): xml error\r\n"), 4);
}

TEST_F(SectionReaderTest, MissingSectionFailsSilentlyAndChangesNothing) {
  const char* text = "<XML_MORVEK><MESSAGE_BODY><Other/></MESSAGE_BODY></XML_MORVEK>";
  const size_t messagesBefore = log_.Messages().size();
  LANCfg lan = PrefilledLan();
  MediaStreamCfg stream{1, 2, 3, 4, 5};
  UserCfg user{};
  user.accountCount = 4;
  EXPECT_EQ(Network_getLANCfgByXml(lan, text), -1);
  EXPECT_EQ(GetMediaStreamCfgByXml(stream, text), -1);
  EXPECT_EQ(System_getUserCfgByXml(user, text), -1);
  EXPECT_TRUE(SameBytes(lan, PrefilledLan()));
  EXPECT_EQ(stream.auth, 1);
  EXPECT_EQ(user.accountCount, 4);
  EXPECT_EQ(log_.Messages().size(), messagesBefore);
}

}  // namespace
}  // namespace prowlnet
