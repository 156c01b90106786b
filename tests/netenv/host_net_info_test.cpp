// The host network block: LoadHostNetInfo's choice of adapter entry, its log lines and results,
// GetNetworkParam under the load rule, and the search thread's refill, each on the kernel of a
// namespace made here with a resolv.conf of its own (the body runs in a child under
// `ip netns exec`). Nothing is sent: the tests only ask the kernel about its configuration.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "diag/debug_log.h"
#include "engine/control_object.h"
#include "engine/text_field.h"
#include "netenv/host_net_info.h"
#include "pal/host_kit.h"
#include "support/child_test.h"
#include "support/log_files.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace {

using namespace prowlnet;
using namespace test_support;
using namespace std::chrono_literals;
using pal::PumpFor;
using pal::PumpUntil;

struct LogLine {
  std::string thread;  // as the log writes it: eight hexadecimal digits
  std::string text;    // the message without its line end
};

/// A fresh emulated machine whose diagnostic log writes to a file, and what that file holds.
class LogFile {
 public:
  LogFile() { prefix_.WriteDriveCFile("uc_dbg.cfg", "file=1;network=0;level=10;"); }

  /// Each line is "PROWLNET: yyyy-mm-dd hh:mm:ss: tttttttt: message", ending in CR LF.
  std::vector<LogLine> Lines() const {
    constexpr size_t kThreadAt = 31;
    constexpr size_t kMessageAt = 41;
    std::vector<LogLine> lines;
    const std::string text = AllLogText(prefix_.DriveC());
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      const std::string line = text.substr(start, end - start);
      if (line.size() >= kMessageAt && line.rfind("PROWLNET: ", 0) == 0)
        lines.push_back({line.substr(kThreadAt, 8), line.substr(kMessageAt)});
    }
    return lines;
  }

  /// The messages, without the build banner that opening the log writes.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const LogLine& line : Lines()) {
      if (line.text.rfind("Build ", 0) != 0) texts.push_back(line.text);
    }
    return texts;
  }

 private:
  TempPrefix prefix_;
};

/// Keeps the log open for a test that calls LoadHostNetInfo without a control object.
class LogOpen {
 public:
  LogOpen() { DebugLogOpen(); }
  ~LogOpen() { DebugLogClose(); }
  LogOpen(const LogOpen&) = delete;
  LogOpen& operator=(const LogOpen&) = delete;
};

std::vector<std::string> Block(SharedState& shared) {
  std::vector<std::string> values;
  for (int i = 0; i < HostNetInfo::kCount; ++i) {
    char value[HostNetInfo::kSize];
    ReadHostNetEntry(shared.netInfo, shared.lock, i, value);
    values.emplace_back(value);
  }
  return values;
}

std::string ThisThreadInLog() {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", GetCurrentThreadId());
  return text;
}

/// A control object made as its host makes one, and torn down with the test.
class Control {
 public:
  Control() { EXPECT_EQ(object_.FinalConstruct(), S_OK); }
  CCProwlnet& operator*() { return object_; }
  CCProwlnet* operator->() { return &object_; }

 private:
  CCProwlnet object_;
};

/// GetNetworkParam's result: whether it returned S_OK with a string, and the string as UTF-8.
struct Param {
  HRESULT result;
  bool isNull;
  std::string text;
};

Param GetParam(CCProwlnet& control, ULONG index) {
  ATL::CComBSTR value;
  const HRESULT result = control.GetNetworkParam(index, &value);
  return Param{result, value.m_str == nullptr, pal::Utf8FromBstr(value)};
}

/// A namespace whose eth0 (one end of a veth pair kept inside it) is up with `addresses`, in
/// that order, and whose resolv.conf is `resolvConf`.
std::unique_ptr<Namespace> HostWith(const std::vector<std::string>& addresses, const std::string& resolvConf) {
  auto netns = std::make_unique<Namespace>("host");
  netns->Ip({"link", "add", "eth0", "type", "veth", "peer", "name", "eth1"});
  netns->Ip({"link", "set", "eth0", "up"});
  for (const std::string& address : addresses) netns->Ip({"addr", "add", address, "dev", "eth0"});
  netns->WriteResolvConf(resolvConf);
  return netns;
}

TEST(LoadHostNetInfo, TakesTheAddressOnTheGatewaySubnetWithItsOwnMask) {
  if (!InTestChild()) {
    auto netns = HostWith({"10.77.50.10/24", "10.77.51.10/16", "10.77.52.10/24"}, "nameserver 10.77.50.53\n");
    netns->Ip({"route", "add", "default", "via", "10.77.51.1"});
    RunThisTestIn(*netns);
    return;
  }
  // The first address fails the test by its own /24 mask, though the second's /16 covers it.
  LogFile log;
  LogOpen open;
  SharedState shared;
  EXPECT_EQ(LoadHostNetInfo(shared.netInfo, shared.lock), 1);
  EXPECT_EQ(Block(shared),
            (std::vector<std::string>{"10.77.51.10", "255.255.0.0", "10.77.51.1", "10.77.50.53", ""}));
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{"GetNetworkParams OK.", "DNS1: 10.77.50.53", "DNS2: ",
                                                    "Gateway: 10.77.51.1", "IPAddress: 10.77.51.10",
                                                    "NetMask: 255.255.0.0"}));
}

TEST(LoadHostNetInfo, TakesTheFirstAddressWhenNoneIsOnTheGatewaySubnet) {
  if (!InTestChild()) {
    auto netns = HostWith({"10.77.53.10/24", "10.77.54.10/24"}, "nameserver 10.77.53.53\n");
    netns->Ip({"route", "add", "default", "via", "10.77.55.1", "dev", "eth0", "onlink"});
    RunThisTestIn(*netns);
    return;
  }
  SharedState shared;
  EXPECT_EQ(LoadHostNetInfo(shared.netInfo, shared.lock), 1);
  EXPECT_EQ(Block(shared),
            (std::vector<std::string>{"10.77.53.10", "255.255.255.0", "10.77.55.1", "10.77.53.53", ""}));
}

TEST(LoadHostNetInfo, WithoutADefaultRouteTakesTheFirstAdapterWithAnAddress) {
  if (!InTestChild()) {
    auto netns = HostWith({}, "nameserver 10.77.62.53\n");  // eth0 is up without an address
    netns->Ip({"link", "add", "eth3", "type", "veth", "peer", "name", "eth2"});  // the peer is made first
    netns->Ip({"addr", "add", "10.77.62.10/24", "dev", "eth2"});
    netns->Ip({"addr", "add", "10.77.63.10/24", "dev", "eth3"});
    netns->Ip({"link", "set", "eth2", "up"});
    netns->Ip({"link", "set", "eth3", "up"});
    RunThisTestIn(*netns);
    return;
  }
  LogFile log;
  LogOpen open;
  SharedState shared;
  EXPECT_EQ(LoadHostNetInfo(shared.netInfo, shared.lock), 1);
  EXPECT_EQ(Block(shared),
            (std::vector<std::string>{"10.77.62.10", "255.255.255.0", "0.0.0.0", "10.77.62.53", ""}));
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{"GetNetworkParams OK.", "DNS1: 10.77.62.53", "DNS2: ",
                                                    "Gateway: 0.0.0.0", "IPAddress: 10.77.62.10",
                                                    "NetMask: 255.255.255.0"}));
}

TEST(GetNetworkParam, HandsOutEachEntryWithBothDnsServersInFileOrder) {
  if (!InTestChild()) {
    TestNetwork network({.subnet = 56});
    network.pc().WriteResolvConf("nameserver 10.77.56.53\nnameserver fd00::53\nnameserver 10.77.56.54\n");
    RunThisTestIn(network.pc());
    return;
  }
  TempPrefix prefix;
  Control control;
  const std::vector<std::string> expected = {"10.77.56.10", "255.255.255.0", "10.77.56.1", "10.77.56.53",
                                             "10.77.56.54"};
  for (ULONG index = 0; index < expected.size(); ++index) {
    const Param param = GetParam(*control, index);
    EXPECT_EQ(param.result, S_OK);
    EXPECT_EQ(param.text, expected[index]) << "index " << index;
  }
}

TEST(GetNetworkParam, OneDnsServerLeavesTheSecondAnEmptyStringNotANullOne) {
  if (!InTestChild()) {
    TestNetwork network({.subnet = 57});
    network.pc().WriteResolvConf("nameserver 10.77.57.53\n");
    RunThisTestIn(network.pc());
    return;
  }
  TempPrefix prefix;
  Control control;
  const Param second = GetParam(*control, 4);
  EXPECT_EQ(second.result, S_OK);
  EXPECT_FALSE(second.isNull);
  EXPECT_EQ(second.text, "");
  EXPECT_EQ(GetParam(*control, 3).text, "10.77.57.53");
}

TEST(GetNetworkParam, BadIndexIsOneLogLineAndAnEmptyString) {
  LogFile log;
  Control control;
  for (ULONG index : {5u, 0xFFFFFFFFu}) {
    const Param param = GetParam(*control, index);
    EXPECT_EQ(param.result, S_OK);
    EXPECT_FALSE(param.isNull);
    EXPECT_EQ(param.text, "");
  }
  EXPECT_EQ(log.Texts(),
            (std::vector<std::string>{"GetNetworkParam(): bad index: 5", "GetNetworkParam(): bad index: -1"}))
      << "a bad index loads nothing";
}

TEST(GetNetworkParam, ANullOutPointerStillLoadsTheBlock) {
  if (!InTestChild()) {
    TestNetwork network({.subnet = 58});
    network.pc().WriteResolvConf("nameserver 10.77.58.53\n");
    RunThisTestIn(network.pc());
    return;
  }
  TempPrefix prefix;
  Control control;
  EXPECT_EQ(control->GetNetworkParam(0, nullptr), S_OK);
  EXPECT_TRUE(HostNetInfoLoaded(control->shared().netInfo, control->shared().lock));
  EXPECT_EQ(Block(control->shared())[HostNetInfo::kAddress], "10.77.58.10");
}

TEST(GetNetworkParam, WithoutAnAddressTheBlockNeverCountsAsLoaded) {
  if (!InTestChild()) {
    TestNetwork network({.subnet = 59, .defaultRoute = false});
    network.pc().Ip({"addr", "flush", "dev", TestNetwork::kPcInterface});
    network.pc().WriteResolvConf("nameserver 10.77.59.53\n");
    RunThisTestIn(network.pc());
    return;
  }
  LogFile log;
  Control control;
  SharedState& shared = control->shared();
  {
    CriticalSectionLock lock(shared.lock);
    CopyCutToField(shared.netInfo.values[HostNetInfo::kNetmask], "255.0.0.0");
  }
  EXPECT_EQ(LoadHostNetInfo(shared.netInfo, shared.lock), -1);
  EXPECT_EQ(GetParam(*control, 0).text, "");
  EXPECT_EQ(GetParam(*control, 3).text, "10.77.59.53");
  EXPECT_EQ(Block(shared), (std::vector<std::string>{"", "255.0.0.0", "", "10.77.59.53", ""}))
      << "address, netmask and gateway stay as they were";
  const std::vector<std::string> oneLoad = {"GetNetworkParams OK.", "DNS1: 10.77.59.53", "DNS2: "};
  std::vector<std::string> threeLoads;
  for (int i = 0; i < 3; ++i) threeLoads.insert(threeLoads.end(), oneLoad.begin(), oneLoad.end());
  EXPECT_EQ(log.Texts(), threeLoads) << "every read repeats the queries, and logs nothing more";
}

TEST(GetNetworkParam, ReadersSeeWholeEntriesWhileTheSearchThreadKeepsReloading) {
  if (!InTestChild()) {
    TestNetwork network({.subnet = 60, .defaultRoute = false});
    network.pc().Ip({"addr", "flush", "dev", TestNetwork::kPcInterface});
    network.pc().WriteResolvConf("nameserver 10.77.60.53\n");
    RunThisTestIn(network.pc());
    return;
  }
  LogFile log;
  Control control;
  LONG started = -1;
  ASSERT_EQ(control->StartSearch(&started), S_OK);
  ASSERT_EQ(started, 0);
  const std::string self = ThisThreadInLog();
  auto searchThreadLoads = [&] {
    int loads = 0;
    for (const LogLine& line : log.Lines()) loads += line.thread != self && line.text == "GetNetworkParams OK.";
    return loads;
  };
  bool onlyWholeValues = true;
  const bool reloaded = PumpUntil(
      [&] {
        const std::string dns = GetParam(*control, 3).text;
        onlyWholeValues = onlyWholeValues && (dns.empty() || dns == "10.77.60.53");
        return searchThreadLoads() >= 3;
      },
      10s);
  EXPECT_TRUE(reloaded) << "the search thread reloads at every pass while there is no address";
  EXPECT_TRUE(onlyWholeValues);
  LONG stopped = -1;
  EXPECT_EQ(control->StopSearch(&stopped), S_OK);
  EXPECT_EQ(stopped, 0);
}

TEST(GetNetworkParam, StartSearchEmptiesTheBlockAndTheSearchThreadRefillsIt) {
  if (!InTestChild()) {
    TestNetwork network({.subnet = 61});
    network.pc().WriteResolvConf("nameserver 10.77.61.53\n");
    RunThisTestIn(network.pc());
    return;
  }
  LogFile log;
  Control control;
  SharedState& shared = control->shared();
  EXPECT_EQ(GetParam(*control, 3).text, "10.77.61.53");
  std::ofstream("/etc/resolv.conf", std::ios::trunc) << "nameserver 10.77.61.54\n";
  EXPECT_EQ(GetParam(*control, 3).text, "10.77.61.53") << "a loaded block stays cached";

  {
    // Holding the lock keeps the new search thread from refilling the block before it is seen.
    CriticalSectionLock lock(shared.lock);
    LONG started = -1;
    ASSERT_EQ(control->StartSearch(&started), S_OK);
    ASSERT_EQ(started, 0);
    EXPECT_EQ(Block(shared), std::vector<std::string>(HostNetInfo::kCount, ""));
  }
  EXPECT_TRUE(PumpUntil([&] { return HostNetInfoLoaded(shared.netInfo, shared.lock); }, 10s));
  EXPECT_EQ(Block(shared),
            (std::vector<std::string>{"10.77.61.10", "255.255.255.0", "10.77.61.1", "10.77.61.54", ""}));
  const std::string self = ThisThreadInLog();
  bool refilledByTheSearchThread = false;
  for (const LogLine& line : log.Lines())
    refilledByTheSearchThread = refilledByTheSearchThread || (line.thread != self && line.text == "DNS1: 10.77.61.54");
  EXPECT_TRUE(refilledByTheSearchThread);
  LONG stopped = -1;
  EXPECT_EQ(control->StopSearch(&stopped), S_OK);
}

int OpenDescriptors() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST(LoadHostNetInfo, RepeatedLoadsKeepNoDescriptors) {
  TestNetwork network({.subnet = 62});
  RunInNamespace(network.pc().name(), [] {
    SharedState shared;
    EXPECT_EQ(LoadHostNetInfo(shared.netInfo, shared.lock), 1);
    const int before = OpenDescriptors();
    for (int i = 0; i < 2000; ++i) LoadHostNetInfo(shared.netInfo, shared.lock);
    EXPECT_EQ(OpenDescriptors(), before);
  });
}

}  // namespace
