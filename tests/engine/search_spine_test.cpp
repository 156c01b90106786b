// The search run end to end: the control object in namespace `pc`, a peer listening on the
// device port in namespace `lan`, and the host thread's message loop pumped by the test.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "engine/control_object.h"
#include "engine/envelope.h"
#include "pal/host_kit.h"
#include "pal/kernel32.h"
#include "pal/user32.h"
#include "pal/winsock2.h"
#include "support/log_files.h"
#include "support/netns.h"
#include "support/temp_prefix.h"
#include "support/udp_peer.h"

namespace {

using namespace prowlnet;
using namespace test_support;
using namespace std::chrono_literals;
using pal::PumpFor;
using pal::PumpUntil;

const std::string kSearchRequestText =
    "<?xml version=\"1.0\" encoding=\"GB2312\" ?>\n<XML_MORVEK>\n<MESSAGE_HEADER\n"
    "Msg_type=\"SYSTEM_PROWLNET_MESSAGE\"\nMsg_code=\"1\"\nMsg_flag=\"0\"\n/>\n<MESSAGE_BODY>\n</MESSAGE_BODY>\n"
    "</XML_MORVEK>";

std::string Message(int code, const std::string& body = "") {
  return "<XML_MORVEK><MESSAGE_HEADER Msg_type=\"T\" Msg_code=\"" + std::to_string(code) +
         "\" Msg_flag=\"0\"/><MESSAGE_BODY>" + body + "</MESSAGE_BODY></XML_MORVEK>";
}

class SpineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.WriteDriveCFile("uc_dbg.cfg", "file=1;");
    ASSERT_EQ(control_->FinalConstruct(), S_OK);
  }

  LONG Start() {
    LONG result = 99;
    EXPECT_EQ(control_->StartSearch(&result), S_OK);
    return result;
  }
  LONG Stop() {
    LONG result = 99;
    EXPECT_EQ(control_->StopSearch(&result), S_OK);
    return result;
  }
  LONG Count() {
    LONG count = -99;
    control_->GetIPCCount(&count);
    return count;
  }
  std::string Log() const { return AllLogText(prefix_.DriveC()); }
  /// Pumps until the log holds `needle` at least `times` times.
  bool WaitForLog(const std::string& needle, size_t times = 1, std::chrono::milliseconds timeout = 8s) {
    return PumpUntil([&] { return Occurrences(Log(), needle) >= times; }, timeout);
  }
  bool WaitForDatagrams(size_t count, std::chrono::milliseconds timeout = 8s) {
    return PumpUntil([&] { return devices_.Count() >= count; }, timeout);
  }
  /// Sends from the device side to the control's port.
  void SendToControl(const std::string& bytes, std::uint16_t port = 3002) {
    devices_.SendTo(bytes, network_.PcAddress(), port);
  }

  TempPrefix prefix_;
  TestNetwork network_;
  UdpPeer devices_{network_.lan().name(), 3001};
  NamespaceScope scope_{network_.pc().name()};
  std::unique_ptr<CCProwlnet> control_ = std::make_unique<CCProwlnet>();
};

TEST_F(SpineTest, ARunBroadcastsTheSearchRequestEveryTwoSecondsFromPort3002) {
  EXPECT_EQ(Start(), 0);
  EXPECT_EQ(Count(), 0);
  ASSERT_TRUE(WaitForDatagrams(2));
  const auto received = devices_.Received();
  EXPECT_EQ(received[0].bytes, kSearchRequestText);
  EXPECT_EQ(received[0].fromAddress, network_.PcAddress());
  EXPECT_EQ(received[0].fromPort, 3002);
  EXPECT_GE(received[1].arrival - received[0].arrival, 1500ms) << "one request per tick";

  const std::string log = Log();
  const char* setup[] = {"ProwlnetThread(): enter main loop...\r\n", "ProwlnetThread(): socket() ok, sockfd=",
                         "ProwlnetThread(): setsockopt() ok!\r\n",
                         "ProwlnetThread(): set socket reuse address option ok!\r\n", "ProwlnetThread(): bind() ok!\r\n",
                         "ProwlnetThread(): enter send and recv loop...\r\n"};
  size_t at = 0;
  for (const char* line : setup) {
    at = log.find(line, at);
    ASSERT_NE(at, std::string::npos) << line;
  }
  EXPECT_EQ(Stop(), 0);
}

TEST_F(SpineTest, StoppingEndsTheThreadInOrderAndASecondStopIsRefused) {
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForLog("enter send and recv loop"));
  EXPECT_EQ(Stop(), 0);
  const std::string log = Log();
  const size_t leave = log.find("ProwlnetThread(): exit send and recv loop\r\n");
  const size_t end = log.find("ProwlnetThread(): exit main loop\r\n");
  ASSERT_NE(leave, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  EXPECT_LT(leave, end);
  EXPECT_EQ(log.find("TerminateThread"), std::string::npos);

  EXPECT_EQ(Stop(), -1);
  EXPECT_NE(Log().find("CCProwlnet::StopThread: ProwlnetThread hasn't run.\r\n"), std::string::npos);
  EXPECT_EQ(control_->PostDiscoveryMessage(kSearchRequest, nullptr), -1);
}

TEST_F(SpineTest, AStopWithinTwoSecondsSendsNothing) {
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForLog("enter send and recv loop"));
  EXPECT_EQ(Stop(), 0);
  PumpFor(2500ms);
  EXPECT_EQ(devices_.Count(), 0u);
}

TEST_F(SpineTest, ASecondStartIsRefusedAndLeavesOneThreadAndOneTimer) {
  ASSERT_EQ(Start(), 0);
  EXPECT_EQ(Start(), -1);
  ASSERT_TRUE(WaitForLog("CCProwlnet::StartThread: ProwlnetThread has run.\r\n"));
  ASSERT_TRUE(WaitForDatagrams(2));
  PumpFor(500ms);
  EXPECT_EQ(devices_.Count(), 2u) << "a second timer would have doubled the requests";
  EXPECT_EQ(Occurrences(Log(), "enter main loop"), 1u);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(SpineTest, ATimerMessageWithAnyIdentifierPostsOneRequestOnlyWhileSearching) {
  ASSERT_TRUE(PostMessageW(control_->window(), WM_TIMER, 999, 0));
  PumpFor(200ms);
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForLog("enter send and recv loop"));
  ASSERT_TRUE(PostMessageW(control_->window(), WM_TIMER, 999, 0));
  ASSERT_TRUE(WaitForDatagrams(1, 1500ms)) << "well before the first tick";
  EXPECT_EQ(Stop(), 0);
  ASSERT_TRUE(PostMessageW(control_->window(), WM_TIMER, 999, 0));
  PumpFor(300ms);
  EXPECT_EQ(devices_.Count(), 1u);
}

TEST_F(SpineTest, ABusyPortMovesTheThreadToTheNextOne) {
  ws2::SOCKET holder = ws2::socket(ws2::AF_INET, ws2::SOCK_DGRAM, 0);  // does not share its port
  ws2::sockaddr_in local{};
  local.sin_family = ws2::AF_INET;
  local.sin_port = ws2::htons(3002);
  ASSERT_EQ(ws2::bind(holder, reinterpret_cast<const ws2::sockaddr*>(&local), sizeof local), 0);

  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForDatagrams(1));
  EXPECT_EQ(devices_.Received()[0].fromPort, 3003);
  EXPECT_NE(Log().find("ProwlnetThread(): Can't bind socket to local port!, errno=10048\r\n"), std::string::npos);
  EXPECT_EQ(Stop(), 0);
  ws2::closesocket(holder);
}

TEST_F(SpineTest, OversizedAndEmptyDatagramsRebuildTheSocketOnTheSamePort) {
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForLog("enter send and recv loop"));
  SendToControl(std::string(2049, 'x'));
  ASSERT_TRUE(WaitForLog("ProwlnetThread(): recvfrom failed, error=10040\r\n"));
  ASSERT_TRUE(WaitForLog("ProwlnetThread(): bind() ok!\r\n", 2, 4s));
  SendToControl("");
  ASSERT_TRUE(WaitForLog("ProwlnetThread(): recvfrom failed, error=", 2));
  ASSERT_TRUE(WaitForLog("ProwlnetThread(): bind() ok!\r\n", 3, 4s));
  EXPECT_EQ(Occurrences(Log(), "Can't bind"), 0u);
  ASSERT_TRUE(WaitForDatagrams(1));
  EXPECT_EQ(devices_.Received().back().fromPort, 3002);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(SpineTest, RequestsPostedDuringRecoveryWaitAndGoOutOldestFirst) {
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForLog("enter send and recv loop"));
  SendToControl(std::string(3000, 'x'));
  ASSERT_TRUE(WaitForLog("recvfrom failed"));
  for (const char* body : {"<a/>", "<b/>", "<c/>"}) EXPECT_EQ(control_->PostDiscoveryMessage(kModifyRequest, body), 0);
  ASSERT_TRUE(WaitForDatagrams(3));
  const auto received = devices_.Received();
  EXPECT_NE(received[0].bytes.find("<MESSAGE_BODY>\n<a/>\n"), std::string::npos);
  EXPECT_NE(received[1].bytes.find("<MESSAGE_BODY>\n<b/>\n"), std::string::npos);
  EXPECT_NE(received[2].bytes.find("<MESSAGE_BODY>\n<c/>\n"), std::string::npos);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(SpineTest, OnlyCompleteRepliesReachTheIntake) {
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForLog("enter send and recv loop"));
  SendToControl(Message(3));
  SendToControl(Message(4, "four"));
  SendToControl("<XML_MORVEK><MESSAGE_BODY>headless</MESSAGE_BODY></XML_MORVEK>");
  ASSERT_TRUE(WaitForLog("recv message: ", 2));
  PumpFor(200ms);
  const std::string log = Log();
  EXPECT_EQ(Occurrences(log, "recv message: "), 2u) << "the reply went to the intake";
  EXPECT_NE(log.find("recv message: " + Message(4, "four") + "\r\n"), std::string::npos);
  EXPECT_NE(log.find("headless"), std::string::npos);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(SpineTest, AFullSizedDatagramIsReceivedWhole) {
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForLog("enter send and recv loop"));
  std::string text = Message(4, "");
  text.insert(text.size() - std::string("</MESSAGE_BODY></XML_MORVEK>").size(), 2048 - text.size(), 'p');
  ASSERT_EQ(text.size(), 2048u);
  SendToControl(text);
  ASSERT_TRUE(WaitForLog("recv message: " + text + "\r\n"));
  EXPECT_EQ(Occurrences(Log(), "recvfrom failed"), 0u);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(SpineTest, DestroyingTheObjectDuringARunEndsTheThread) {
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForLog("enter send and recv loop"));
  const HWND window = control_->window();
  control_.reset();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_NE(AllLogText(prefix_.DriveC()).find("exit main loop"), std::string::npos);
  PumpFor(2500ms);
  EXPECT_EQ(devices_.Count(), 0u) << "no timer is left to tick";
}

TEST(ControlConstruction, AWindowThatCannotBeMadeFailsWithTheSystemError) {
  TempPrefix prefix;
  WNDCLASSEXW filler{};
  filler.cbSize = sizeof filler;
  filler.lpfnWndProc = DefWindowProcW;
  filler.lpszClassName = u"Filler";
  ASSERT_NE(RegisterClassExW(&filler), 0);
  while (CreateWindowExW(0, u"Filler", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr) != nullptr) {
  }
  CCProwlnet control;
  EXPECT_EQ(control.FinalConstruct(), static_cast<HRESULT>(0x80070486));
}

}  // namespace
