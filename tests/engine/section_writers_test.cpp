// The writers of the configuration sections and the IPC_INFO document: their exact texts, their
// bounds, and the round trip of every section through writer and reader.
#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "diag/debug_log.h"
#include "engine/config_sections.h"
#include "engine/envelope.h"
#include "engine/xml_nodes.h"

namespace prowlnet {
namespace {

template <typename T>
bool SameBytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

template <size_t N>
void Set(char (&field)[N], const std::string& value) {
  std::memset(field, 0, N);
  std::memcpy(field, value.data(), std::min(value.size(), N - 1));
}

LANCfg SampleLan() {
  LANCfg lan{};
  Set(lan.macAddress, "00:1A:2B:3C:4D:5E");
  lan.dhcp = 1;
  Set(lan.ipAddress, "10.0.0.7");
  Set(lan.netmask, "255.255.255.0");
  Set(lan.gateway, "10.0.0.1");
  Set(lan.dns1, "8.8.8.8");
  Set(lan.dns2, "8.8.4.4");
  return lan;
}

UserAccount Account(const std::string& name, const std::string& password, const std::string& group,
                    const std::string& status) {
  UserAccount account{};
  Set(account.username, name);
  Set(account.password, password);
  Set(account.group, group);
  Set(account.status, status);
  return account;
}

SerialNumberField& SerialOf(IpcInfo& record, const std::string& serial) {
  Set(record.serialNumber, serial);
  return record.serialNumber;
}

TEST(SectionWriterTest, LanTextIsTheSerialElementThenTheLanElement) {
  IpcInfo record{};
  const OwnedText text = Network_buildLANCfgXml(SerialOf(record, "SN0001"), SampleLan());
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text.get(),
               "<IPC_SERIALNUMBER\r\nSerialNumber=\"SN0001\"\r\n/>\r\n"
               "<LANConfig\r\nMacAddress=\"00:1A:2B:3C:4D:5E\"\r\nDHCP=\"1\"\r\nIPAddress=\"10.0.0.7\"\r\n"
               "Netmask=\"255.255.255.0\"\r\nGateway=\"10.0.0.1\"\r\nDNS1=\"8.8.8.8\"\r\nDNS2=\"8.8.4.4\"\r\n/>\r\n");
}

TEST(SectionWriterTest, StreamTextHasOneStreamAccess) {
  const OwnedText text = BuildMediaStreamCfgXml(MediaStreamCfg{1, 554, 0, -6000, 80});
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text.get(),
               "<MediaStreamConfig>\r\n<StreamAccess\r\nAuth=\"1\"\r\nVideoPort=\"554\"\r\nRTPOverRTSP=\"0\"\r\n"
               "PTZPort=\"-6000\"\r\nWEBPort=\"80\"\r\n/>\r\n</MediaStreamConfig>\r\n");
}

TEST(SectionWriterTest, UserTextHasOneAccountPerCountedSlot) {
  UserCfg user{};
  user.accounts[0] = Account("admin", "secret", "1", "0");
  user.accounts[1] = Account("guest", "", "2", "1");
  user.accountCount = 1;
  OwnedText text = System_buildUserCfgXml(user);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(
      text.get(),
      "<UserConfig>\r\n<Account\r\nUsername=\"admin\"\r\nPassword=\"secret\"\r\nGroup=\"1\"\r\nStatus=\"0\"\r\n"
      "/>\r\n</UserConfig>\r\n");

  for (int count : {0, -3, INT_MIN}) {
    user.accountCount = count;
    text = System_buildUserCfgXml(user);
    EXPECT_STREQ(text.get(), "<UserConfig>\r\n</UserConfig>\r\n") << count;
  }
}

TEST(SectionWriterTest, UserTextNeverGoesPastTwentyAccounts) {
  UserCfg user{};
  for (int i = 0; i < kMaxAccounts; ++i) user.accounts[i] = Account("u" + std::to_string(i), "p", "g", "s");
  user.accountCount = 1000;
  const OwnedText text = System_buildUserCfgXml(user);
  ASSERT_NE(text, nullptr);
  const std::string written = text.get();
  size_t accounts = 0;
  for (size_t at = written.find("<Account"); at != std::string::npos; at = written.find("<Account", at + 1)) ++accounts;
  EXPECT_EQ(accounts, 20u);
  EXPECT_NE(written.find("Username=\"u19\""), std::string::npos);
  EXPECT_EQ(written.substr(written.size() - 15), "</UserConfig>\r\n");
}

TEST(SectionWriterTest, WritersNeverReadPastAnUnterminatedField) {
  IpcInfo record{};
  std::memset(record.serialNumber, 'S', sizeof record.serialNumber);
  std::memset(record.lan.macAddress, 'M', sizeof record.lan.macAddress);
  record.lan.dhcp = 0x41414141;  // would read as more text if the writer ran on
  const OwnedText lan = Network_buildLANCfgXml(record.serialNumber, record.lan);
  ASSERT_NE(lan, nullptr);
  EXPECT_NE(std::strstr(lan.get(), ("SerialNumber=\"" + std::string(32, 'S') + "\"\r\n").c_str()), nullptr);
  EXPECT_NE(std::strstr(lan.get(), ("MacAddress=\"" + std::string(256, 'M') + "\"\r\nDHCP=").c_str()), nullptr);

  record.user.accountCount = 2;
  std::memset(record.user.accounts[0].status, '7', sizeof record.user.accounts[0].status);
  Set(record.user.accounts[1].username, "next");
  const OwnedText user = System_buildUserCfgXml(record.user);
  ASSERT_NE(user, nullptr);
  EXPECT_NE(std::strstr(user.get(), "Status=\"77777777\"\r\n"), nullptr);
}

TEST(SectionWriterTest, OnlyAmpersandLessThanAndQuoteAreEscaped) {
  UserCfg user{};
  user.accountCount = 1;
  user.accounts[0] = Account("a&b<c\"d>e'f", "tab\there", "", "&&");
  const OwnedText text = System_buildUserCfgXml(user);
  ASSERT_NE(text, nullptr);
  EXPECT_NE(std::strstr(text.get(), "Username=\"a&amp;b&lt;c&quot;d>e'f\"\r\n"), nullptr);
  EXPECT_NE(std::strstr(text.get(), "Password=\"tab\there\"\r\n"), nullptr);
  EXPECT_NE(std::strstr(text.get(), "Group=\"\"\r\n"), nullptr);
  EXPECT_NE(std::strstr(text.get(), "Status=\"&amp;&amp;\"\r\n"), nullptr);
}

TEST(SectionWriterTest, FullFieldsAreCutAtTheBufferAndStayTerminated) {
  IpcInfo record{};
  std::string expected = "<IPC_SERIALNUMBER\r\nSerialNumber=\"" + std::string(31, 's') + "\"\r\n/>\r\n<LANConfig\r\n";
  Set(record.serialNumber, std::string(31, 's'));
  for (char* field : {record.lan.macAddress, record.lan.ipAddress, record.lan.netmask, record.lan.gateway,
                      record.lan.dns1, record.lan.dns2}) {
    std::memset(field, '&', 255);  // each written as five characters
  }
  const OwnedText lan = Network_buildLANCfgXml(record.serialNumber, record.lan);
  ASSERT_NE(lan, nullptr);
  EXPECT_EQ(std::strlen(lan.get()), kLanTextSize - 1);
  expected += "MacAddress=\"";
  EXPECT_EQ(std::string(lan.get()).substr(0, expected.size()), expected);

  for (int i = 0; i < kMaxAccounts; ++i) {
    record.user.accounts[i] = Account(std::string(39, 'u'), std::string(39, 'p'), std::string(31, 'g'), "1234567");
  }
  record.user.accountCount = kMaxAccounts;
  const OwnedText user = System_buildUserCfgXml(record.user);
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(std::strlen(user.get()), kUserTextSize - 1);
}

class RoundTripTest : public ::testing::Test {
 protected:
  RoundTripTest() { DebugLogOpen(); }
  ~RoundTripTest() override { DebugLogClose(); }
};

/// Values that the readers must get back as they were written: the three escaped characters,
/// the characters written as they are, line breaks and UTF-8.
const char* const kAwkwardValues[] = {"a&b",      "<tag>",         "say \"hi\"",  "&amp;",
                                      "it's > 3", "line\r\nbreak", "caf\xc3\xa9", "&lt;&quot;"};

TEST_F(RoundTripTest, LanSectionReadsBackAsWritten) {
  for (const char* value : kAwkwardValues) {
    SCOPED_TRACE(value);
    IpcInfo record{};
    LANCfg written = SampleLan();
    Set(written.macAddress, value);
    Set(written.dns2, std::string(value) + value);
    written.dhcp = INT_MIN;
    const OwnedText text = Network_buildLANCfgXml(SerialOf(record, "SN"), written);
    ASSERT_NE(text, nullptr);
    LANCfg read{};
    ASSERT_EQ(Network_getLANCfgByXml(read, text.get()), -1)
        << "the bare text has two top-level elements, which the parser refuses";
    const std::string document = "<r>" + std::string(text.get()) + "</r>";
    ASSERT_EQ(Network_getLANCfgByXml(read, document.c_str()), 0);
    EXPECT_TRUE(SameBytes(read, written));
  }
}

TEST_F(RoundTripTest, StreamSectionReadsBackAsWritten) {
  for (const MediaStreamCfg& written :
       {MediaStreamCfg{1, 554, 1, 6000, 80}, MediaStreamCfg{INT_MIN, INT_MAX, -1, 0, 65535}}) {
    const OwnedText text = BuildMediaStreamCfgXml(written);
    ASSERT_NE(text, nullptr);
    MediaStreamCfg read{9, 9, 9, 9, 9};
    ASSERT_EQ(GetMediaStreamCfgByXml(read, text.get()), 0);
    EXPECT_TRUE(SameBytes(read, written));
  }
}

TEST_F(RoundTripTest, UserSectionReadsBackAsWritten) {
  UserCfg written{};
  written.accounts[0] = Account("admin", "p&ss<word\"", "1", "0");
  written.accounts[1] = Account("caf\xc3\xa9", "it's", "&", "<");
  written.accountCount = 2;
  OwnedText text = System_buildUserCfgXml(written);
  ASSERT_NE(text, nullptr);
  UserCfg read{};
  ASSERT_EQ(System_getUserCfgByXml(read, text.get()), 0);
  EXPECT_TRUE(SameBytes(read, written));

  for (int i = 0; i < kMaxAccounts; ++i) {
    written.accounts[i] = Account("user" + std::to_string(i), kAwkwardValues[i % 8], "g", std::to_string(i));
  }
  written.accountCount = kMaxAccounts;
  text = System_buildUserCfgXml(written);
  ASSERT_NE(text, nullptr);
  read = UserCfg{};
  ASSERT_EQ(System_getUserCfgByXml(read, text.get()), 0);
  EXPECT_TRUE(SameBytes(read, written));
}

TEST_F(RoundTripTest, IpcInfoDocumentJoinsTheThreeSectionsAndReadsBack) {
  IpcInfo record{};
  Set(record.serialNumber, "SN&<\"1");
  Set(record.deviceType, "NVS-100");
  record.lan = SampleLan();
  Set(record.lan.gateway, "gw & \"co\"");
  record.stream = MediaStreamCfg{1, 554, 1, 6000, 80};
  record.user.accounts[0] = Account("admin", "<secret>", "1", "0");
  record.user.accountCount = 1;

  const OwnedText document = BuildIpcInfoXml(record);
  ASSERT_NE(document, nullptr);
  const OwnedText lan = Network_buildLANCfgXml(record.serialNumber, record.lan);
  const OwnedText stream = BuildMediaStreamCfgXml(record.stream);
  const OwnedText user = System_buildUserCfgXml(record.user);
  EXPECT_EQ(std::string(document.get()),
            "<IPC_INFO>\n" + std::string(lan.get()) + "\n" + stream.get() + "\n" + user.get() + "</IPC_INFO>");
  EXPECT_EQ(std::strstr(document.get(), "NVS-100"), nullptr) << "the device type is not part of it";

  IpcInfo read{};
  ASSERT_EQ(Network_getLANCfgByXml(read.lan, document.get()), 0);
  ASSERT_EQ(GetMediaStreamCfgByXml(read.stream, document.get()), 0);
  ASSERT_EQ(System_getUserCfgByXml(read.user, document.get()), 0);
  EXPECT_TRUE(SameBytes(read.lan, record.lan));
  EXPECT_TRUE(SameBytes(read.stream, record.stream));
  EXPECT_TRUE(SameBytes(read.user, record.user));

  const OwnedDocument parsed = ParseDocument(document.get());
  ASSERT_NE(parsed, nullptr);
  IXML_Node* serial = FirstElementNamed(parsed.get(), "IPC_SERIALNUMBER");
  ASSERT_NE(serial, nullptr);
  EXPECT_STREQ(AttributeValue(serial->firstAttr), "SN&<\"1");
}

}  // namespace
}  // namespace prowlnet
