// The discovery envelope: the exact text sent, and the checks a received text must pass.
#include <string>

#include <gtest/gtest.h>

#include "diag/debug_log.h"
#include "engine/envelope.h"
#include "engine/text_field.h"
#include "pal/winsock2.h"
#include "support/log_files.h"
#include "support/temp_prefix.h"

namespace {

using namespace prowlnet;
using namespace test_support;

std::string Envelope(int code, const char* body) {
  char buffer[kEnvelopeBufferSize];
  const int length = BuildEnvelope(buffer, sizeof buffer, code, body);
  return length < 0 ? "<refused>" : std::string(buffer, static_cast<size_t>(length));
}

TEST(BuildEnvelope, ASearchRequestIsTheTenLineText) {
  EXPECT_EQ(Envelope(1, nullptr),
            "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n"
            "<XML_MORVEK>\n"
            "<MESSAGE_HEADER\n"
            "Msg_type=\"SYSTEM_PROWLNET_MESSAGE\"\n"
            "Msg_code=\"1\"\n"
            "Msg_flag=\"0\"\n"
            "/>\n"
            "<MESSAGE_BODY>\n"
            "</MESSAGE_BODY>\n"
            "</XML_MORVEK>");
}

TEST(BuildEnvelope, ABodyIsFollowedByTheEnvelopesOwnLineFeed) {
  const std::string text = Envelope(2, "<LANConfig\r\n/>\r\n");
  EXPECT_NE(text.find("Msg_code=\"2\"\n"), std::string::npos);
  EXPECT_NE(text.find("<MESSAGE_BODY>\n<LANConfig\r\n/>\r\n\n</MESSAGE_BODY>\n</XML_MORVEK>"), std::string::npos);
}

TEST(BuildEnvelope, ABodyThatWouldNotFitIsRefusedRatherThanCut) {
  EXPECT_EQ(Envelope(2, std::string(1900, 'b').c_str()), "<refused>");
  EXPECT_NE(Envelope(2, std::string(1023, 'b').c_str()), "<refused>");
}

/// Parses with a log open on a fresh machine, so that the lines written can be checked.
class HeaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.WriteDriveCFile("uc_dbg.cfg", "file=1;");
    DebugLogOpen();
  }
  void TearDown() override { DebugLogClose(); }

  int Parse(const std::string& text) { return ParseMessageHeader(text.c_str(), type_, code_, flag_); }
  std::string Log() const { return AllLogText(prefix_.DriveC()); }

  static std::string WithHeader(const std::string& attributes) {
    return "<XML_MORVEK><MESSAGE_HEADER " + attributes + "/><MESSAGE_BODY/></XML_MORVEK>";
  }

  TempPrefix prefix_;
  char type_[kHeaderFieldSize];
  char code_[kHeaderFieldSize];
  char flag_[kHeaderFieldSize];
};

TEST_F(HeaderTest, ACompleteHeaderFillsTheThreeFields) {
  EXPECT_EQ(Parse(Envelope(3, nullptr)), 0);
  EXPECT_STREQ(type_, "SYSTEM_PROWLNET_MESSAGE");
  EXPECT_STREQ(code_, "3");
  EXPECT_STREQ(flag_, "0");
}

TEST_F(HeaderTest, TheCodeReadsAsADecimalPrefix) {
  for (const char* code : {" 3", "3x", "03"}) {
    ASSERT_EQ(Parse(WithHeader(std::string("Msg_type=\"t\" Msg_code=\"") + code + "\" Msg_flag=\"0\"")), 0);
    EXPECT_EQ(AtoiValue(code_), kSearchReply) << code;
  }
  ASSERT_EQ(Parse(WithHeader("Msg_type=\"t\" Msg_code=\"4\" Msg_flag=\"0\"")), 0);
  EXPECT_NE(AtoiValue(code_), kSearchReply);
}

TEST_F(HeaderTest, MissingOrEmptyAttributesGiveTheirOwnResults) {
  EXPECT_EQ(Parse(WithHeader("Msg_code=\"3\" Msg_flag=\"0\"")), -3);
  EXPECT_EQ(Parse(WithHeader("Msg_type=\"t\" Msg_code=\"\" Msg_flag=\"0\"")), -4);
  EXPECT_EQ(Parse(WithHeader("Msg_type=\"t\" Msg_code=\"3\"")), -5);
  EXPECT_EQ(Parse("<XML_MORVEK><OTHER/></XML_MORVEK>"), -2);
  EXPECT_EQ(Parse(WithHeader("msg_type=\"t\" Msg_code=\"3\" Msg_flag=\"0\"")), -3) << "names are case-sensitive";
}

TEST_F(HeaderTest, EnvelopeFailuresAreLoggedWithTheText) {
  EXPECT_EQ(Parse("no markers"), -1);
  EXPECT_EQ(Parse("<XML_MORVEK> but no end"), -1);
  EXPECT_EQ(Parse("<XML_MORVEK><a></XML_MORVEK>"), -1);
  const std::string log = Log();
  EXPECT_NE(log.find("Invalid message, <XML_MORVEK> not found:\r\nno markers\r\n"), std::string::npos);
  EXPECT_NE(log.find("Invalid message, </XML_MORVEK> not found:\r\n<XML_MORVEK> but no end\r\n"), std::string::npos);
  EXPECT_NE(log.find("Invalid message, xml format error:\r\n<XML_MORVEK><a></XML_MORVEK>\r\n"), std::string::npos);
}

TEST_F(HeaderTest, TheMarkersNeedNotBeTheRoot) {
  EXPECT_EQ(Parse("<wrap><!-- <XML_MORVEK> </XML_MORVEK> --><MESSAGE_HEADER Msg_type=\"a\" Msg_code=\"3\" "
                  "Msg_flag=\"0\"/></wrap>"),
            0);
}

TEST_F(HeaderTest, LongValuesAreCutToTheirField) {
  ASSERT_EQ(Parse(WithHeader("Msg_type=\"" + std::string(300, 't') + "\" Msg_code=\"3\" Msg_flag=\"0\"")), 0);
  EXPECT_EQ(std::string(type_), std::string(kHeaderFieldSize - 1, 't'));
}

}  // namespace
