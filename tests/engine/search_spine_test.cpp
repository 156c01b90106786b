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
#include "support/window_quota.h"

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
  /// Whether this thread has a message waiting (the pump dispatches all it finds).
  static bool HasWaitingMessage() {
    MSG message;
    return PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) != 0;
  }
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
  // A second run's first request comes 2 s after its start: a request of the first run, had it
  // left, would have come before it.
  const auto secondStart = std::chrono::steady_clock::now();
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForDatagrams(1));
  const auto received = devices_.Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_GE(received[0].arrival - secondStart, 1500ms);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(SpineTest, ASecondStartIsRefusedAndLeavesOneThreadAndOneTimer) {
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Start(), 0);
  PumpFor(1000ms);
  EXPECT_EQ(Start(), -1);
  ASSERT_TRUE(WaitForLog("CCProwlnet::StartThread: ProwlnetThread has run.\r\n"));
  ASSERT_TRUE(WaitForDatagrams(3, 10s));
  const auto received = devices_.Received();
  // The timer of the first start keeps its rhythm: a second timer, or the first set again by
  // the refused start, would move or double the requests.
  EXPECT_LT(received[0].arrival - start, 2600ms);
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_GE(received[i].arrival - received[i - 1].arrival, 1500ms) << i;
    EXPECT_LE(received[i].arrival - received[i - 1].arrival, 2500ms) << i;
  }
  EXPECT_EQ(Occurrences(Log(), "enter main loop"), 1u);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(SpineTest, ATimerMessageWithAnyIdentifierPostsOneRequestOnlyWhileSearching) {
  ASSERT_TRUE(PostMessageW(control_->window(), WM_TIMER, 999, 0));
  ASSERT_TRUE(PumpUntil([&] { return !HasWaitingMessage(); }, 1s));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForLog("enter send and recv loop"));
  ASSERT_TRUE(PostMessageW(control_->window(), WM_TIMER, 999, 0));
  ASSERT_TRUE(WaitForDatagrams(1));
  EXPECT_LT(devices_.Received()[0].arrival - start, 1500ms) << "well before the first tick";
  // The first real tick shows the run is live; the idle message had posted nothing before it.
  ASSERT_TRUE(WaitForDatagrams(2));
  EXPECT_GE(devices_.Received()[1].arrival - start, 1800ms);
  EXPECT_EQ(Stop(), 0);
  ASSERT_TRUE(PostMessageW(control_->window(), WM_TIMER, 999, 0));
  ASSERT_TRUE(PumpUntil([&] { return !HasWaitingMessage(); }, 1s));
  EXPECT_EQ(control_->PostDiscoveryMessage(kSearchRequest, nullptr), -1);
  EXPECT_EQ(devices_.Count(), 2u);
}

/// Holds a local UDP port without sharing it, so that the search thread cannot bind it.
class PortHolder {
 public:
  explicit PortHolder(std::uint16_t port) : socket_(ws2::socket(ws2::AF_INET, ws2::SOCK_DGRAM, 0)) {
    ws2::sockaddr_in local{};
    local.sin_family = ws2::AF_INET;
    local.sin_port = ws2::htons(port);
    bound_ = ws2::bind(socket_, reinterpret_cast<const ws2::sockaddr*>(&local), sizeof local) == 0;
  }
  ~PortHolder() { ws2::closesocket(socket_); }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;
  bool bound() const { return bound_; }

 private:
  ws2::SOCKET socket_;
  bool bound_ = false;
};

TEST_F(SpineTest, ABusyPortMovesTheThreadToTheNextOne) {
  const PortHolder holder(3002);
  ASSERT_TRUE(holder.bound());
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForDatagrams(1));
  EXPECT_EQ(devices_.Received()[0].fromPort, 3003);
  EXPECT_NE(Log().find("ProwlnetThread(): Can't bind socket to local port!, errno=10048\r\n"), std::string::npos);
  EXPECT_EQ(Stop(), 0);
}

TEST_F(SpineTest, EachFurtherBusyPortMovesTheThreadOneUp) {
  const PortHolder first(3002);
  const PortHolder second(3003);
  ASSERT_TRUE(first.bound() && second.bound());
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForDatagrams(1, 10s));
  EXPECT_EQ(devices_.Received()[0].fromPort, 3004);
  EXPECT_EQ(Occurrences(Log(), "Can't bind socket to local port!"), 2u);
  EXPECT_EQ(Stop(), 0);
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
  // Datagrams are read in order: once the last one is logged, the reply has been handled.
  SendToControl(Message(5, "last"));
  ASSERT_TRUE(WaitForLog("recv message: " + Message(5, "last")));
  const std::string log = Log();
  EXPECT_EQ(Occurrences(log, "recv message: "), 3u) << "the reply went to the intake";
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
  // A new run's first request comes 2 s after its start; a timer left by the destroyed object
  // would have sent one before it.
  control_ = std::make_unique<CCProwlnet>();
  ASSERT_EQ(control_->FinalConstruct(), S_OK);
  const auto secondStart = std::chrono::steady_clock::now();
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForDatagrams(1));
  EXPECT_EQ(devices_.Count(), 1u) << "no timer is left to tick";
  EXPECT_GE(devices_.Received()[0].arrival - secondStart, 1500ms);
  EXPECT_EQ(Stop(), 0);
}

TEST(ControlConstruction, AWindowThatCannotBeMadeFailsWithTheSystemError) {
  TempPrefix prefix;
  ASSERT_TRUE(test_support::UseUpWindowQuota());
  CCProwlnet control;
  EXPECT_EQ(control.FinalConstruct(), static_cast<HRESULT>(0x80070486));
}

}  // namespace
