// What the search thread and the log rely on from Winsock, stated on real sockets inside
// namespaces of the test's own.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pal/host_kit.h"
#include "pal/winsock2.h"
#include "support/netns.h"
#include "support/udp_peer.h"

namespace {

using namespace ws2;
using namespace test_support;
using namespace std::chrono_literals;
using pal::PumpFor;
using pal::PumpUntil;

sockaddr_in Endpoint(const std::string& address, u_short port) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(port);
  in.sin_addr.s_addr = AddressOf(address);
  return in;
}

/// A loopback-only namespace that the test thread works in, with the socket library started.
class LoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
  }
  void TearDown() override {
    for (SOCKET s : sockets_) closesocket(s);
    WSACleanup();
  }

  SOCKET Udp() {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    EXPECT_NE(s, INVALID_SOCKET);
    sockets_.push_back(s);
    return s;
  }
  SOCKET BoundUdp(u_short port) {
    SOCKET s = Udp();
    const sockaddr_in local = Endpoint("0.0.0.0", port);
    EXPECT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0) << WSAGetLastError();
    return s;
  }

  Namespace netns_{"ws2"};
  NamespaceScope scope_{netns_.name()};
  std::vector<SOCKET> sockets_;
};

int SendLoopback(SOCKET s, const std::string& bytes, u_short port) {
  const sockaddr_in to = Endpoint("127.0.0.1", port);
  return sendto(s, bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

TEST_F(LoopbackTest, AnOversizedDatagramFailsWithMsgSizeAndIsConsumed) {
  SOCKET receiver = BoundUdp(4000);
  SOCKET sender = Udp();
  ASSERT_EQ(SendLoopback(sender, std::string(2049, 'x'), 4000), 2049);
  ASSERT_EQ(SendLoopback(sender, "next", 4000), 4);

  char buffer[2049] = {};
  EXPECT_EQ(recvfrom(receiver, buffer, 2048, 0, nullptr, nullptr), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
  EXPECT_EQ(buffer[2047], 'x') << "the start of the datagram is delivered";
  EXPECT_EQ(buffer[2048], 0) << "nothing is written past the buffer";
  EXPECT_EQ(recvfrom(receiver, buffer, 2048, 0, nullptr, nullptr), 4) << "the rest of it is gone";
}

TEST_F(LoopbackTest, AFullSizedDatagramAndAnEmptyOneAreReceivedAsTheyAre) {
  SOCKET receiver = BoundUdp(4001);
  SOCKET sender = Udp();
  ASSERT_EQ(SendLoopback(sender, std::string(2048, 'y'), 4001), 2048);
  ASSERT_EQ(SendLoopback(sender, "", 4001), 0);

  char buffer[2048];
  sockaddr_in from{};
  int fromLength = sizeof from;
  EXPECT_EQ(recvfrom(receiver, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength), 2048);
  EXPECT_EQ(from.sin_addr.s_addr, AddressOf("127.0.0.1"));
  EXPECT_EQ(recvfrom(receiver, buffer, sizeof buffer, 0, nullptr, nullptr), 0);
}

TEST_F(LoopbackTest, SelectWorksForAnyDescriptorNumberAndKeepsOnlyReadySockets) {
  // Push the next descriptors far beyond the host's own FD_SETSIZE (1024).
  std::vector<int> filler;
  for (int i = 0; i < 1100; ++i) filler.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
  SOCKET quiet = BoundUdp(4002);
  SOCKET busy = BoundUdp(4003);
  EXPECT_GT(busy, 1024u);
  ASSERT_EQ(SendLoopback(Udp(), "ping", 4003), 4);

  ws2::fd_set readable;
  FD_ZERO(&readable);
  FD_SET(quiet, &readable);
  FD_SET(busy, &readable);
  FD_SET(busy, &readable);  // a socket enters a list once
  EXPECT_EQ(readable.fd_count, 2u);
  timeval wait{5, 0};
  EXPECT_EQ(select(0, &readable, nullptr, nullptr, &wait), 1);
  EXPECT_EQ(readable.fd_count, 1u);
  EXPECT_TRUE(FD_ISSET(busy, &readable));
  EXPECT_FALSE(FD_ISSET(quiet, &readable));

  // Readable and writable at once counts twice, as in Winsock.
  ws2::fd_set r, w;
  FD_ZERO(&r);
  FD_ZERO(&w);
  FD_SET(busy, &r);
  FD_SET(busy, &w);
  EXPECT_EQ(select(0, &r, &w, nullptr, &wait), 2);
  for (int fd : filler) close(fd);
}

TEST_F(LoopbackTest, SelectTimesOutAndRefusesEmptyLists) {
  SOCKET quiet = BoundUdp(4004);
  ws2::fd_set readable;
  FD_ZERO(&readable);
  FD_SET(quiet, &readable);
  timeval wait{0, 20000};
  EXPECT_EQ(select(0, &readable, nullptr, nullptr, &wait), 0);
  EXPECT_EQ(readable.fd_count, 0u);

  ws2::fd_set empty;
  FD_ZERO(&empty);
  EXPECT_EQ(select(0, &empty, nullptr, nullptr, &wait), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(LoopbackTest, ReuseAddressLetsSocketsShareAPortThatAskedToShare) {
  const int one = 1;
  SOCKET first = Udp();
  SOCKET second = Udp();
  ASSERT_EQ(setsockopt(first, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one), 0);
  ASSERT_EQ(setsockopt(second, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one), 0);
  const sockaddr_in local = Endpoint("0.0.0.0", 4005);
  EXPECT_EQ(bind(first, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
  EXPECT_EQ(bind(second, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);

  // A port held by a socket that would not share it stays closed to others.
  BoundUdp(4006);
  SOCKET third = Udp();
  ASSERT_EQ(setsockopt(third, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one), 0);
  const sockaddr_in taken = Endpoint("0.0.0.0", 4006);
  EXPECT_EQ(bind(third, reinterpret_cast<const sockaddr*>(&taken), sizeof taken), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
}

TEST_F(LoopbackTest, ReceiveBufferIsGrantedAsAsked) {
  SOCKET s = Udp();
  const int size = 4 << 20;  // far above the host's default ceiling
  ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size), 0);
  EXPECT_GE(HostReceiveBuffer(static_cast<int>(s)), size);
}

TEST_F(LoopbackTest, ErrorsAreWinsockNumbers) {
  SOCKET s = Udp();
  const sockaddr_in foreign = Endpoint("192.0.2.1", 4007);
  EXPECT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&foreign), sizeof foreign), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);
  EXPECT_EQ(closesocket(static_cast<SOCKET>(0)), SOCKET_ERROR) << "descriptor 0 is not one of ours";
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(LoopbackTest, CleanupOfTheLastUserClosesOpenSockets) {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_NE(s, INVALID_SOCKET);
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  ASSERT_EQ(WSACleanup(), 0);
  EXPECT_NE(fcntl(static_cast<int>(s), F_GETFD), -1) << "one user is left";
  ASSERT_EQ(WSACleanup(), 0);
  EXPECT_EQ(fcntl(static_cast<int>(s), F_GETFD), -1);
  EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, 0), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);  // for TearDown
}

TEST(Broadcast, NeedsTheOptionAndReachesTheFarSideOfTheLink) {
  TestNetwork network;
  UdpPeer peer(network.lan().name(), 3001);
  NamespaceScope scope(network.pc().name());
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in everyone = Endpoint("255.255.255.255", 3001);
  EXPECT_EQ(sendto(s, "hi", 2, 0, reinterpret_cast<const sockaddr*>(&everyone), sizeof everyone), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEACCES);

  const int one = 1;
  ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&one), sizeof one), 0);
  EXPECT_EQ(sendto(s, "hi", 2, 0, reinterpret_cast<const sockaddr*>(&everyone), sizeof everyone), 2);
  EXPECT_TRUE(PumpUntil([&] { return peer.Count() == 1; }, 5s));
  EXPECT_EQ(peer.Received().at(0).bytes, "hi");
  EXPECT_EQ(peer.Received().at(0).fromAddress, network.PcAddress());
  closesocket(s);
  WSACleanup();
}

/// Sends `bytes` to 255.255.255.255:3001 out of interface `index` alone, with an IN_PKTINFO of
/// `controlLength` bytes (WSA_CMSG_LEN of it is right).
int SendOutOf(SOCKET s, const std::string& bytes, ULONG index, SIZE_T controlLength, DWORD* sent) {
  sockaddr_in everyone = Endpoint("255.255.255.255", 3001);
  WSABUF payload{static_cast<ULONG>(bytes.size()), const_cast<char*>(bytes.data())};
  alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
  WSAMSG message{reinterpret_cast<sockaddr*>(&everyone), sizeof everyone, &payload, 1, {sizeof control, control}, 0};
  WSACMSGHDR* header = WSA_CMSG_FIRSTHDR(&message);
  header->cmsg_len = controlLength;
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  const IN_PKTINFO info{{INADDR_ANY}, index};
  std::memcpy(WSA_CMSG_DATA(header), &info, sizeof info);
  return WSASendMsg(s, &message, 0, sent, nullptr, nullptr);
}

TEST(SendMsg, PacketInfoPicksTheInterfaceOfEachDatagramWhereNoRouteLeads) {
  TestNetwork network({.defaultRoute = false});
  ExtraLan second(network.pc(), 2, "eth2");
  UdpPeer first(network.lan().name(), 3001);
  UdpPeer other(second.lan().name(), 3001);
  NamespaceScope scope(network.pc().name());
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  const int one = 1;
  ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&one), sizeof one), 0);
  const sockaddr_in everyone = Endpoint("255.255.255.255", 3001);
  EXPECT_EQ(sendto(s, "x", 1, 0, reinterpret_cast<const sockaddr*>(&everyone), sizeof everyone), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENETUNREACH) << "no route covers the limited broadcast";

  const SIZE_T length = WSA_CMSG_LEN(sizeof(IN_PKTINFO));
  DWORD sent = 0;
  ASSERT_EQ(SendOutOf(s, "to the second", InterfaceIndex("eth2"), length, &sent), 0) << WSAGetLastError();
  EXPECT_EQ(sent, 13u);
  ASSERT_EQ(SendOutOf(s, "to the first", InterfaceIndex(TestNetwork::kPcInterface), length, &sent), 0);
  ASSERT_TRUE(PumpUntil([&] { return first.Count() == 1 && other.Count() == 1; }, 5s));
  EXPECT_EQ(first.Received().at(0).bytes, "to the first");
  EXPECT_EQ(first.Received().at(0).fromAddress, network.PcAddress());
  EXPECT_EQ(other.Received().at(0).bytes, "to the second");
  EXPECT_EQ(other.Received().at(0).fromAddress, second.PcAddress()) << "from the interface's own address";

  EXPECT_EQ(SendOutOf(s, "x", InterfaceIndex("eth2"), length + 1, &sent), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  second.lan().Ip({"link", "set", TestNetwork::kLanInterface, "down"});
  network.pc().Ip({"link", "set", "eth2", "down"});
  EXPECT_EQ(SendOutOf(s, "x", InterfaceIndex("eth2"), length, &sent), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENETUNREACH) << "an interface that is down";
  closesocket(s);
  WSACleanup();
}

TEST(Startup, EverythingFailsBeforeIt) {
  EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, 0), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  WSADATA data;
  EXPECT_EQ(WSAStartup(MAKEWORD(0, 0), &data), WSAVERNOTSUPPORTED);
}

}  // namespace

namespace {

TEST(RawIcmp, ReceivesWholeIPv4Packets) {
  TestNetwork network;
  NamespaceScope scope(network.pc().name());
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  SOCKET raw = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
  ASSERT_NE(raw, INVALID_SOCKET);
  // An echo request with identifier and sequence 0 and no data; its checksum is 0xF7FF.
  const unsigned char request[8] = {8, 0, 0xF7, 0xFF, 0, 0, 0, 0};
  const sockaddr_in gateway = Endpoint(network.LanAddress(), 0);
  ASSERT_EQ(sendto(raw, reinterpret_cast<const char*>(request), sizeof request, 0,
                   reinterpret_cast<const sockaddr*>(&gateway), sizeof gateway),
            8);
  ws2::fd_set readable;
  FD_ZERO(&readable);
  FD_SET(raw, &readable);
  timeval wait{5, 0};
  ASSERT_EQ(select(0, &readable, nullptr, nullptr, &wait), 1);
  unsigned char packet[256] = {};
  const int received = recvfrom(raw, reinterpret_cast<char*>(packet), sizeof packet, 0, nullptr, nullptr);
  ASSERT_EQ(received, 20 + 8) << "IP header and the echo reply";
  EXPECT_EQ(packet[0], 0x45) << "IPv4, header of 5 words";
  ws2::u_long sender;
  std::memcpy(&sender, packet + 12, sizeof sender);
  EXPECT_EQ(sender, AddressOf(network.LanAddress()));
  EXPECT_EQ(packet[20], 0) << "echo reply";
  closesocket(raw);
  WSACleanup();
}

}  // namespace
