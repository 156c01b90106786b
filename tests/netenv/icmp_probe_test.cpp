// ICMP echo probing against real hosts: the lan namespace's kernel answers pings for its own
// addresses; foreign and malformed ICMP messages come from a raw socket there. The probe runs as
// root (a raw socket) and as the user nobody (a datagram socket where ping_group_range admits it).
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "diag/debug_log.h"
#include "netenv/address_sweep.h"
#include "netenv/icmp_probe.h"
#include "pal/kernel32.h"
#include "pal/winsock2.h"
#include "support/child_process.h"
#include "support/icmp_sender.h"
#include "support/log_files.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace {

using namespace prowlnet;
using namespace test_support;
using namespace std::chrono_literals;

std::uint16_t Checksum(std::initializer_list<std::uint8_t> bytes) {
  const std::basic_string<std::uint8_t> data(bytes);
  return IcmpChecksum(data.data(), static_cast<int>(data.size()));
}

/// The two bytes as they land in the packet.
std::string Stored(std::uint16_t checksum) {
  char bytes[2];
  std::memcpy(bytes, &checksum, 2);
  char text[8];
  std::snprintf(text, sizeof text, "%02x %02x", static_cast<unsigned char>(bytes[0]), static_cast<unsigned char>(bytes[1]));
  return text;
}

TEST(IcmpChecksum, MatchesTheInternetChecksumOnTheWire) {
  EXPECT_EQ(Stored(Checksum({0x08, 0, 0, 0, 0, 0, 0, 0})), "f7 ff") << "an empty echo request";
  EXPECT_EQ(Stored(Checksum({0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7})), "22 0d") << "the RFC 1071 example: sum dd f2";
  EXPECT_EQ(Stored(Checksum({0x01})), "fe ff") << "an odd byte counts as the high byte on the wire";
  EXPECT_EQ(Stored(Checksum({0xff, 0xff, 0xff})), "00 ff") << "carries fold back in";
  const std::uint8_t nothing[1] = {};
  EXPECT_EQ(IcmpChecksum(nothing, 0), 0xFFFF);
}

TEST(IcmpChecksum, APacketWithItsChecksumSumsToZero) {
  std::uint8_t packet[12] = {8, 0, 0, 0, 3, 0, 3, 0, 0x12, 0x34, 0x56, 0x78};
  const std::uint16_t checksum = IcmpChecksum(packet, sizeof packet);
  std::memcpy(packet + 2, &checksum, 2);
  EXPECT_EQ(IcmpChecksum(packet, sizeof packet), 0);
}

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.WriteDriveCFile("uc_dbg.cfg", "file=1;");
    ws2::WSADATA data;
    ws2::WSAStartup(MAKEWORD(2, 2), &data);
    DebugLogOpen();
  }
  void TearDown() override {
    DebugLogClose();
    ws2::WSACleanup();
  }
  std::uint32_t Address(int last) const { return AddressOf(network_.prefix() + std::to_string(last)); }
  std::string Log() const { return AllLogText(prefix_.DriveC()); }

  TempPrefix prefix_;
  TestNetwork network_;
  NamespaceScope scope_{network_.pc().name()};
};

TEST_F(ProbeTest, TheEchoRequestIsTwelveBytesInThisMachinesByteOrder) {
  EchoRequestCapture capture(network_.lan().name(), 5s);
  const DWORD before = GetTickCount();
  EXPECT_EQ(PintTest(Address(1)), 0);
  const std::string packet = capture.Take();
  ASSERT_FALSE(packet.empty());
  const size_t header = (static_cast<unsigned char>(packet[0]) & 0x0F) * 4;
  ASSERT_EQ(packet.size(), header + 12) << "the IP header, then the 12-byte message";
  const auto* icmp = reinterpret_cast<const std::uint8_t*>(packet.data() + header);
  EXPECT_EQ(icmp[0], 8);
  EXPECT_EQ(icmp[1], 0);
  EXPECT_EQ(IcmpChecksum(icmp, 12), 0) << "a correct checksum sums to zero";
  std::uint16_t identifier;
  std::uint16_t sequence;
  std::uint32_t tick;
  std::memcpy(&identifier, icmp + 4, 2);
  std::memcpy(&sequence, icmp + 6, 2);
  std::memcpy(&tick, icmp + 8, 4);
  EXPECT_EQ(identifier, 0) << "attempt 0";
  EXPECT_EQ(sequence, 0);
  EXPECT_GE(tick, before);
  EXPECT_LE(tick - before, 1000u);
}

TEST_F(ProbeTest, AHostThatAnswersIsInUse) {
  EXPECT_EQ(PintTest(Address(1)), 0);
  EXPECT_NE(Log().find("got replay from ip: " + network_.LanAddress() + "\r\n"), std::string::npos);
}

TEST_F(ProbeTest, ASilentAddressIsUsableAfterFiveAttempts) {
  EXPECT_EQ(PintTest(Address(200)), 1);
  EXPECT_NE(Log().find("PintTest(): no replay recv, ip " + network_.prefix() + "200 is usable.\r\n"), std::string::npos);
}

TEST_F(ProbeTest, AnEchoReplyFromAnotherHostOnlyUsesUpAttempts) {
  network_.lan().Ip({"addr", "add", network_.prefix() + "60/24", "dev", TestNetwork::kLanInterface});
  IcmpSender foreign(network_.lan().name(), network_.prefix() + "60", network_.PcAddress(), IcmpSender::Message(0, 8));
  EXPECT_EQ(PintTest(Address(50)), 1);
  const std::string log = Log();
  EXPECT_GE(Occurrences(log, "PintTest(): recv packet not from dest ip, but from: " + network_.prefix() + "60\r\n"), 1u);
  EXPECT_EQ(log.find("got replay"), std::string::npos);
}

TEST_F(ProbeTest, OtherMessagesFromTheTargetAreNoEchoReplyButItsArpAnswerMarksItInUse) {
  // The target exists but does not answer pings; it sends other ICMP messages instead.
  network_.lan().Ip({"addr", "add", network_.prefix() + "50/24", "dev", TestNetwork::kLanInterface});
  RunInNamespace(network_.lan().name(),
                 [] { RunProgram({"sysctl", "-q", "-w", "net.ipv4.icmp_echo_ignore_all=1"}); });
  {
    IcmpSender unreachable(network_.lan().name(), network_.prefix() + "50", network_.PcAddress(),
                           IcmpSender::Message(3, 28));
    EXPECT_EQ(PintTest(Address(50)), 0);
  }
  const std::string log = Log();
  EXPECT_GE(Occurrences(log, "recv not icmp packet.\r\n"), 1u);
  EXPECT_EQ(log.find("got replay"), std::string::npos);
  EXPECT_EQ(Occurrences(log, "PintTest(): no replay recv, but ip " + network_.prefix() + "50 answered ARP.\r\n"), 1u);
}

/// Sets net.ipv4.ping_group_range in namespace `netns`: which groups may open a datagram ICMP socket.
void SetPingGroupRange(const Namespace& netns, const std::string& range) {
  ASSERT_EQ(RunProgram({"ip", "netns", "exec", netns.name(), "sysctl", "-q", "-w", "net.ipv4.ping_group_range=" + range}), 0);
}

TEST_F(ProbeTest, ProbesOnARawSocketAsRootOnADatagramSocketWhereTheUserMayPingAndOtherwiseCannotProbe) {
  // An address behind the gateway: only its echo replies can mark it in use, its ARP entry is the gateway's.
  network_.lan().Ip({"addr", "add", "10.99.0.1/32", "dev", "lo"});
  const std::uint32_t behindGateway = AddressOf("10.99.0.1");
  const std::vector<std::uint32_t> targets = {behindGateway, Address(200)};
  const std::vector<std::uint32_t> answering = {behindGateway};

  EXPECT_EQ(IcmpSocket::Open()->kind(), IcmpSocketKind::kRaw) << "root";
  EXPECT_EQ(AddressesInUse(targets), answering);

  // The checks of a child, by number: 0 when all held.
  const int closed = RunAsNobody(
      [&] {
        if (CanProbe()) return 1;
        if (PintTest(Address(1)) != -1) return 2;
        if (AddressInUse(Address(1))) return 3;
        if (AddressesInUse(targets)) return 4;
        return 0;
      },
      10s);
  EXPECT_EQ(closed, 0) << "an ordinary user outside ping_group_range cannot probe at all: check " << closed;

  SetPingGroupRange(network_.pc(), "0 2147483647");
  const int open = RunAsNobody(
      [&] {
        if (!CanProbe() || IcmpSocket::Open()->kind() != IcmpSocketKind::kDatagram) return 1;
        if (PintTest(behindGateway) != 0) return 2;
        if (AddressInUse(Address(200)) != false) return 3;
        if (AddressesInUse(targets) != answering) return 4;
        return 0;
      },
      10s);
  EXPECT_EQ(open, 0) << "an ordinary user within ping_group_range probes on a datagram socket: check " << open;
  EXPECT_NE(Log().find("got replay from ip: 10.99.0.1\r\n"), std::string::npos)
      << "the reply without an IP header, its sender from recvfrom";
}

TEST_F(ProbeTest, ASweepCountsAnAddressThatAnswersOnlyArpAsInUse) {
  network_.lan().Ip({"addr", "add", network_.prefix() + "50/24", "dev", TestNetwork::kLanInterface});
  RunInNamespace(network_.lan().name(),
                 [] { RunProgram({"sysctl", "-q", "-w", "net.ipv4.icmp_echo_ignore_all=1"}); });
  std::vector<std::uint32_t> targets;
  for (int last = 40; last < 60; ++last) targets.push_back(Address(last));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(AddressesInUse(targets), std::vector<std::uint32_t>{Address(50)});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "twenty addresses probed together, not one after another";
}

}  // namespace
