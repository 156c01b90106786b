// The diagnostic log: configuration keys, the file output with its rotation, the UDP monitor,
// and several users of one process-wide log.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "diag/debug_log.h"
#include "pal/host_kit.h"
#include "pal/kernel32.h"
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

/// Whether `text` fits `pattern`, where '#' stands for a decimal digit and 'h' for a lower-case
/// hexadecimal digit.
bool Fits(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool digit = c >= '0' && c <= '9';
    if (pattern[i] == '#' ? !digit : pattern[i] == 'h' ? !(digit || (c >= 'a' && c <= 'f')) : c != pattern[i])
      return false;
  }
  return true;
}

struct Config {
  int file = -7;
  int network = -7;
  int level = -7;
  char monitor[kLogMonitorAddressSize] = "unchanged";
};

Config Parse(const char* text) {
  Config config;
  DebugLogParseConfig(text, &config.file, &config.network, &config.level, config.monitor);
  return config;
}

TEST(ParseConfig, ReadsEachKeyWhereverItStands) {
  const Config c = Parse("x\nlevel=3;\r\nmonitor_ip=192.168.0.8; network=1;file=1;");
  EXPECT_EQ(c.file, 1);
  EXPECT_EQ(c.network, 1);
  EXPECT_EQ(c.level, 3);
  EXPECT_STREQ(c.monitor, "192.168.0.8");

  // A key inside a longer word still counts: the search is a plain substring search.
  EXPECT_EQ(Parse("profile=5;").file, 5);
}

TEST(ParseConfig, AbsentKeysGiveZeroAndKeysWithoutSemicolonKeepTheirValue) {
  const Config absent = Parse("nothing here");
  EXPECT_EQ(absent.file, 0);
  EXPECT_EQ(absent.level, 0);
  EXPECT_STREQ(absent.monitor, "");

  const Config open = Parse("file=1 level=4 monitor_ip=1.2.3.4");
  EXPECT_EQ(open.file, -7);
  EXPECT_EQ(open.level, -7);
  EXPECT_STREQ(open.monitor, "unchanged");
}

TEST(ParseConfig, AValueRunsToTheNextSemicolon) {
  const Config c = Parse("file=1 network=1;");
  EXPECT_EQ(c.file, 1) << "\"1 network=1\" converts to 1";
  EXPECT_EQ(c.network, 1);
  EXPECT_EQ(Parse("file=x;").file, 0);
}

TEST(ParseConfig, OverlongValuesAreCutToTheirRoom) {
  const std::string longAddress = "monitor_ip=" + std::string(40, '9') + ";";
  EXPECT_STREQ(Parse(longAddress.c_str()).monitor, std::string(31, '9').c_str());
  // 255 characters are kept: a number padded with 250 spaces still reads.
  const std::string padded = "level=" + std::string(250, ' ') + "42;";
  EXPECT_EQ(Parse(padded.c_str()).level, 42);
  const std::string tooPadded = "level=" + std::string(260, ' ') + "42;";
  EXPECT_EQ(Parse(tooPadded.c_str()).level, 0);
}

/// A log opened on a fresh emulated machine with the given configuration (none if empty).
class LogTest : public ::testing::Test {
 protected:
  void Open(const std::string& config) {
    if (!config.empty()) prefix_.WriteDriveCFile("uc_dbg.cfg", config);
    ws2::WSADATA data;
    ws2::WSAStartup(MAKEWORD(2, 2), &data);
    DebugLogOpen();
    opened_ = true;
  }
  void TearDown() override {
    if (!opened_) return;
    DebugLogClose();
    ws2::WSACleanup();
  }
  std::string Text() const { return AllLogText(prefix_.DriveC()); }

  TempPrefix prefix_;
  bool opened_ = false;
};

TEST_F(LogTest, WithoutAConfigurationNothingIsWritten) {
  Open("");
  EXPECT_EQ(DebugLog("hello %d\n", 1), 0);
  EXPECT_TRUE(LogFileNames(prefix_.DriveC()).empty());
}

TEST_F(LogTest, TheFirstFileIsNamedForTheDayAndTheTimeOfOpenAndStartsWithTheBanner) {
  SYSTEMTIME before;
  GetLocalTime(&before);
  Open("file=1;");
  DebugLog("first %s\n", "message");
  const auto names = LogFileNames(prefix_.DriveC());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(Fits(names[0], "PROWLNET_########_######_0.log")) << names[0];
  char day[16];
  std::snprintf(day, sizeof day, "%04d%02d%02d", before.wYear, before.wMonth, before.wDay);
  EXPECT_EQ(names[0].substr(9, 8), day);

  const std::string text = Text();
  EXPECT_TRUE(Fits(text.substr(0, 41), "PROWLNET: ####-##-## ##:##:##: hhhhhhhh: ")) << text.substr(0, 41);
  const size_t banner = text.find("Build ");
  const size_t first = text.find("first message\r\n");
  ASSERT_NE(banner, std::string::npos);
  ASSERT_NE(first, std::string::npos);
  EXPECT_LT(banner, first);
  EXPECT_EQ(text.rfind("PROWLNET: ", banner), 0u) << "the banner is the file's first line";
  char id[32];
  std::snprintf(id, sizeof id, ": %08x: first", GetCurrentThreadId());
  EXPECT_NE(text.find(id), std::string::npos);
}

TEST_F(LogTest, TheFileKeyWithoutSemicolonLeavesTheFileOff) {
  Open("file=1");
  DebugLog("x\n");
  EXPECT_TRUE(LogFileNames(prefix_.DriveC()).empty());
}

TEST_F(LogTest, The20001stMessageOpensTheSecondFile) {
  Open("file=1;");
  for (int i = 2; i <= kLogLinesPerFile + 1; ++i) DebugLog("message %d\n", i);  // the banner was message 1
  const auto names = LogFileNames(prefix_.DriveC());
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].substr(names[0].size() - 6), "_0.log");
  EXPECT_EQ(names[1].substr(names[1].size() - 6), "_1.log");
  const std::string first = ReadFile(prefix_.DriveC() + "/" + names[0]);
  const std::string second = ReadFile(prefix_.DriveC() + "/" + names[1]);
  EXPECT_EQ(Occurrences(first, "\r\n"), static_cast<size_t>(kLogLinesPerFile));
  EXPECT_NE(first.find("message 20000\r\n"), std::string::npos);
  EXPECT_EQ(second.find("message 20001\r\n") != std::string::npos && Occurrences(second, "\r\n") == 1, true);
}

TEST_F(LogTest, ANewDayStartsAgainAtIndexZero) {
  // 14 hours east and 12 hours west of UTC are always on different calendar days.
  setenv("TZ", "UTC-14", 1);
  Open("file=1;");
  for (int i = 0; i < 3; ++i) DebugLog("east %d\n", i);
  setenv("TZ", "UTC+12", 1);
  DebugLog("west\n");
  unsetenv("TZ");
  const auto names = LogFileNames(prefix_.DriveC());
  ASSERT_EQ(names.size(), 2u);
  EXPECT_NE(names[0].substr(9, 8), names[1].substr(9, 8));
  EXPECT_EQ(names[0].substr(names[0].size() - 6), "_0.log");
  EXPECT_EQ(names[1].substr(names[1].size() - 6), "_0.log");
  EXPECT_EQ(names[0].substr(18, 6), names[1].substr(18, 6)) << "both carry the time of open";
}

TEST_F(LogTest, LongMessagesAreCut) {
  Open("file=1;");
  DebugLog("%s", std::string(20000, 'z').c_str());
  const std::string text = Text();
  EXPECT_EQ(Occurrences(text, "z"), static_cast<size_t>(kLogMessageSize - 1));
}

TEST_F(LogTest, TwoThreadsProduceWholeSeparateLines) {
  Open("file=1;");
  auto writer = [](char tag) {
    const std::string payload(200, tag);
    for (int i = 0; i < 2000; ++i) DebugLog("%s\n", payload.c_str());
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  const std::string text = Text();
  EXPECT_EQ(Occurrences(text, std::string(200, 'a') + "\r\n"), 2000u);
  EXPECT_EQ(Occurrences(text, std::string(200, 'b') + "\r\n"), 2000u);
}

TEST_F(LogTest, EverySecondUserKeepsTheLogOpen) {
  Open("file=1;");
  DebugLogOpen();  // a second control object
  DebugLogClose();  // the first goes away
  DebugLog("still here\n");
  EXPECT_NE(Text().find("still here"), std::string::npos);
  EXPECT_EQ(Occurrences(Text(), "Build "), 1u) << "the second open does not start the log again";
  DebugLogClose();
  DebugLog("gone\n");
  EXPECT_EQ(Text().find("gone"), std::string::npos);
  DebugLogOpen();  // balance TearDown's close
}

TEST(LogBeforeOpen, FormatsAndWritesNothing) {
  TempPrefix prefix;
  prefix.WriteDriveCFile("uc_dbg.cfg", "file=1;");
  EXPECT_EQ(DebugLog("early\n"), 0);
  EXPECT_TRUE(LogFileNames(prefix.DriveC()).empty());
}

TEST_F(LogTest, TheMonitorGetsOneDatagramPerLineWithoutTerminator) {
  Namespace netns("log");
  UdpPeer monitor(netns.name(), kLogMonitorPort);
  NamespaceScope scope(netns.name());
  Open("network=1;");
  EXPECT_EQ(DebugLog("to the monitor\n"), 0);
  ASSERT_TRUE(PumpUntil([&] { return monitor.Count() == 2; }, 5s));
  const auto received = monitor.Received();
  EXPECT_NE(received[0].bytes.find("Build "), std::string::npos);
  EXPECT_EQ(received[1].fromAddress, "127.0.0.1");
  const std::string& line = received[1].bytes;
  EXPECT_EQ(line.rfind("PROWLNET: ", 0), 0u);
  EXPECT_EQ(line.substr(line.size() - 15), "to the monitor\n") << "no NUL and no CR in the datagram";
  EXPECT_TRUE(LogFileNames(prefix_.DriveC()).empty());
  DebugLogClose();
  opened_ = false;
  ws2::WSACleanup();
}

TEST_F(LogTest, TheMonitorAddressComesFromTheConfiguration) {
  TestNetwork network;
  UdpPeer monitor(network.lan().name(), kLogMonitorPort);
  NamespaceScope scope(network.pc().name());
  Open("network=1;monitor_ip=" + network.LanAddress() + ";");
  DebugLog("far\n");
  ASSERT_TRUE(PumpUntil([&] { return monitor.Count() == 2; }, 5s));
  EXPECT_EQ(monitor.Received()[1].fromAddress, network.PcAddress());
  DebugLogClose();
  opened_ = false;
  ws2::WSACleanup();
}

/// The sockets this process holds open.
int OpenSockets() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (target.rfind("socket:", 0) == 0) ++count;
  }
  return count;
}

TEST_F(LogTest, AFailedMonitorSendDropsItsSocketAndTheNextMessageMakesANewOne) {
  Namespace netns("log");
  UdpPeer monitor(netns.name(), kLogMonitorPort);
  NamespaceScope scope(netns.name());
  // Nothing routes to the monitor yet, so every send fails.
  Open("network=1;monitor_ip=10.77.250.1;");
  const int sockets = OpenSockets();
  EXPECT_EQ(DebugLog("refused\n"), -1);
  EXPECT_EQ(OpenSockets(), sockets) << "the failed socket is closed";
  netns.Ip({"addr", "add", "10.77.250.1/32", "dev", "lo"});
  EXPECT_EQ(DebugLog("heard\n"), 0);
  EXPECT_EQ(OpenSockets(), sockets + 1) << "a new socket was made";
  ASSERT_TRUE(PumpUntil([&] { return monitor.Count() == 1; }, 5s));
  EXPECT_NE(monitor.Received()[0].bytes.find("heard\n"), std::string::npos);
  DebugLogClose();
  opened_ = false;
  ws2::WSACleanup();
}

}  // namespace
