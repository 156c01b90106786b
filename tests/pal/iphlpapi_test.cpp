// What LoadHostNetInfo, the broadcast and the probe rely on from IP Helper, stated on the kernel
// of namespaces made here: the buffer protocol, the adapters and their address order, gateways
// from default routes, the kernel's route choice, the ARP cache, and the DNS servers of the
// namespace's own resolv.conf.
#include <arpa/inet.h>
#include <net/if.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pal/iphlpapi.h"
#include "support/child_test.h"
#include "support/netns.h"

namespace {

using namespace test_support;

/// A buffer of `size` bytes, aligned for the records IP Helper lays out in it.
struct Buffer {
  explicit Buffer(ULONG bytes) : size(bytes), storage(new std::max_align_t[bytes / sizeof(std::max_align_t) + 1]) {}
  template <typename T>
  T* As() {
    return reinterpret_cast<T*>(storage.get());
  }
  ULONG size;
  std::unique_ptr<std::max_align_t[]> storage;
};

struct Entry {
  std::string address;
  std::string mask;
  bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& entry) {
  return out << entry.address << "/" << entry.mask;
}

std::vector<Entry> EntriesOf(const IP_ADDR_STRING& first) {
  std::vector<Entry> entries;
  for (const IP_ADDR_STRING* entry = &first; entry != nullptr; entry = entry->Next)
    entries.push_back({entry->IpAddress.String, entry->IpMask.String});
  return entries;
}

/// The adapters of the calling thread's namespace, filled by the two-call protocol.
class AdapterList {
 public:
  AdapterList() {
    ULONG size = 0;
    result_ = GetAdaptersInfo(nullptr, &size);
    if (result_ != ERROR_BUFFER_OVERFLOW) return;
    buffer_ = std::make_unique<Buffer>(size);
    result_ = GetAdaptersInfo(buffer_->As<IP_ADAPTER_INFO>(), &size);
  }
  DWORD result() const { return result_; }
  std::vector<const IP_ADAPTER_INFO*> Adapters() const {
    std::vector<const IP_ADAPTER_INFO*> adapters;
    if (result_ != ERROR_SUCCESS) return adapters;
    for (const IP_ADAPTER_INFO* a = buffer_->As<IP_ADAPTER_INFO>(); a != nullptr; a = a->Next) adapters.push_back(a);
    return adapters;
  }
  const IP_ADAPTER_INFO* Named(const std::string& name) const {
    for (const IP_ADAPTER_INFO* adapter : Adapters()) {
      if (name == adapter->AdapterName) return adapter;
    }
    return nullptr;
  }

 private:
  DWORD result_ = ERROR_SUCCESS;
  std::unique_ptr<Buffer> buffer_;
};

/// One namespace with a veth pair of its own, both ends inside it: eth0 up, eth1 down. Nothing
/// is sent: the tests only ask the kernel about its configuration.
class IpHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    netns_.Ip({"link", "add", "eth0", "type", "veth", "peer", "name", "eth1"});
    netns_.Ip({"link", "set", "eth0", "up"});
  }

  Namespace netns_{"iph"};
};

TEST_F(IpHelperTest, AdapterBufferProtocolReportsTheSizeThenFills) {
  netns_.Ip({"addr", "add", "10.77.30.10/24", "dev", "eth0"});
  netns_.Ip({"addr", "add", "10.77.31.10/24", "dev", "eth0"});
  RunInNamespace(netns_.name(), [] {
    EXPECT_EQ(GetAdaptersInfo(nullptr, nullptr), ERROR_INVALID_PARAMETER);
    ULONG size = 12345;
    EXPECT_EQ(GetAdaptersInfo(nullptr, &size), ERROR_BUFFER_OVERFLOW) << "a null buffer asks for the size";
    const ULONG needed = sizeof(IP_ADAPTER_INFO) + sizeof(IP_ADDR_STRING);
    EXPECT_EQ(size, needed) << "one record and one more address entry";

    Buffer oneRecord(sizeof(IP_ADAPTER_INFO));
    size = oneRecord.size;
    EXPECT_EQ(GetAdaptersInfo(oneRecord.As<IP_ADAPTER_INFO>(), &size), ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(size, needed);

    Buffer exact(needed);
    size = exact.size;
    ASSERT_EQ(GetAdaptersInfo(exact.As<IP_ADAPTER_INFO>(), &size), ERROR_SUCCESS);
    const IP_ADAPTER_INFO* adapter = exact.As<IP_ADAPTER_INFO>();
    EXPECT_EQ(adapter->Next, nullptr);
    const IP_ADDR_STRING* second = adapter->IpAddressList.Next;
    ASSERT_NE(second, nullptr);
    EXPECT_GE(reinterpret_cast<const char*>(second), reinterpret_cast<const char*>(adapter + 1))
        << "the chain stays inside the caller's buffer";
    EXPECT_LE(reinterpret_cast<const char*>(second + 1), reinterpret_cast<const char*>(adapter) + needed);
  });
}

TEST_F(IpHelperTest, AddressesComeWithTheirOwnMasksInTheKernelsOrder) {
  // Primaries stay in the order they were added; a second address on a subnet already present
  // is a secondary, which the kernel lists after the primaries.
  for (const char* address : {"10.77.32.10/16", "10.77.31.10/24", "10.77.33.10/25", "10.77.31.11/24"})
    netns_.Ip({"addr", "add", address, "dev", "eth0"});
  RunInNamespace(netns_.name(), [] {
    AdapterList list;
    ASSERT_EQ(list.result(), ERROR_SUCCESS);
    const IP_ADAPTER_INFO* eth0 = list.Named("eth0");
    ASSERT_NE(eth0, nullptr);
    const std::vector<Entry> expected = {{"10.77.32.10", "255.255.0.0"},
                                         {"10.77.31.10", "255.255.255.0"},
                                         {"10.77.33.10", "255.255.255.128"},
                                         {"10.77.31.11", "255.255.255.0"}};
    EXPECT_EQ(EntriesOf(eth0->IpAddressList), expected);
  });
}

TEST_F(IpHelperTest, IndexIsTheKernelsAndGatewaysComeFromDefaultRoutesThroughTheAdapter) {
  netns_.Ip({"link", "add", "eth2", "type", "veth", "peer", "name", "eth3"});
  netns_.Ip({"link", "set", "eth2", "up"});
  netns_.Ip({"addr", "add", "10.77.34.10/24", "dev", "eth0"});
  netns_.Ip({"addr", "add", "10.77.35.10/24", "dev", "eth2"});
  netns_.Ip({"route", "add", "default", "via", "10.77.34.2", "metric", "20"});
  netns_.Ip({"route", "add", "default", "via", "10.77.34.1", "metric", "10"});
  RunInNamespace(netns_.name(), [] {
    AdapterList list;
    ASSERT_EQ(list.result(), ERROR_SUCCESS);
    const IP_ADAPTER_INFO* eth0 = list.Named("eth0");
    const IP_ADAPTER_INFO* eth2 = list.Named("eth2");
    ASSERT_NE(eth0, nullptr);
    ASSERT_NE(eth2, nullptr);
    EXPECT_EQ(eth0->Index, if_nametoindex("eth0"));
    EXPECT_EQ(eth2->Index, if_nametoindex("eth2"));
    const std::vector<Entry> gateways = {{"10.77.34.1", "255.255.255.255"}, {"10.77.34.2", "255.255.255.255"}};
    EXPECT_EQ(EntriesOf(eth0->GatewayList), gateways) << "lowest metric first";
    const std::vector<Entry> none = {{"0.0.0.0", "255.255.255.255"}};
    EXPECT_EQ(EntriesOf(eth2->GatewayList), none) << "no default route through eth2";
  });
}

TEST_F(IpHelperTest, ListsAdaptersThatAreUpLoopbackExceptedWithOrWithoutIpv4) {
  netns_.Ip({"link", "add", "bare0", "type", "veth", "peer", "name", "bare1"});
  netns_.Ip({"link", "set", "bare0", "up"});
  netns_.Ip({"addr", "add", "10.77.36.10/24", "dev", "eth0"});
  netns_.Ip({"addr", "add", "10.77.37.10/24", "dev", "eth1"});  // eth1 stays down
  RunInNamespace(netns_.name(), [] {
    AdapterList list;
    ASSERT_EQ(list.result(), ERROR_SUCCESS);
    std::vector<std::string> names;
    for (const IP_ADAPTER_INFO* adapter : list.Adapters()) names.push_back(adapter->AdapterName);
    EXPECT_EQ(names, (std::vector<std::string>{"eth0", "bare0"}));

    const IP_ADAPTER_INFO* bare = list.Named("bare0");
    ASSERT_NE(bare, nullptr);
    const std::vector<Entry> unnumbered = {{"0.0.0.0", "0.0.0.0"}};
    EXPECT_EQ(EntriesOf(bare->IpAddressList), unnumbered);
    EXPECT_EQ(bare->Type, MIB_IF_TYPE_ETHERNET);
    EXPECT_EQ(bare->AddressLength, 6u);
    EXPECT_EQ(bare->ComboIndex, bare->Index);
  });
}

TEST_F(IpHelperTest, NoAdapterIsNoData) {
  netns_.Ip({"link", "set", "eth0", "down"});
  RunInNamespace(netns_.name(), [] {
    ULONG size = 0;
    EXPECT_EQ(GetAdaptersInfo(nullptr, &size), ERROR_NO_DATA);
  });
}

TEST_F(IpHelperTest, BestInterfaceIsTheOneOfTheRouteTheKernelWouldTake) {
  netns_.Ip({"link", "add", "eth2", "type", "veth", "peer", "name", "eth3"});
  netns_.Ip({"link", "set", "eth2", "up"});
  netns_.Ip({"addr", "add", "10.77.38.10/24", "dev", "eth0"});
  netns_.Ip({"addr", "add", "10.77.39.10/24", "dev", "eth2"});
  netns_.Ip({"route", "add", "default", "via", "10.77.38.1"});
  netns_.Ip({"route", "add", "198.51.100.0/24", "via", "10.77.39.1"});
  RunInNamespace(netns_.name(), [] {
    DWORD index = 0;
    ASSERT_EQ(GetBestInterface(AddressOf("203.0.113.9"), &index), ERROR_SUCCESS);
    EXPECT_EQ(index, if_nametoindex("eth0")) << "the default route";
    ASSERT_EQ(GetBestInterface(AddressOf("198.51.100.9"), &index), ERROR_SUCCESS);
    EXPECT_EQ(index, if_nametoindex("eth2")) << "the more specific route";
    EXPECT_EQ(GetBestInterface(AddressOf("203.0.113.9"), nullptr), ERROR_INVALID_PARAMETER);
  });
}

TEST_F(IpHelperTest, NoRouteCannotCompleteAndLeavesTheIndex) {
  netns_.Ip({"addr", "add", "10.77.40.10/24", "dev", "eth0"});
  RunInNamespace(netns_.name(), [] {
    DWORD index = 4242;
    EXPECT_EQ(GetBestInterface(AddressOf("203.0.113.9"), &index), ERROR_CAN_NOT_COMPLETE);
    EXPECT_EQ(index, 4242u);
  });
}

/// Entry .n of the ARP cache test is made in state n - 1; the first four with a link-layer address.
constexpr const char* kNeighbourStates[] = {"reachable", "stale", "delay", "permanent", "incomplete", "failed"};

TEST_F(IpHelperTest, ArpCacheRowsAreTypedByWhatTheKernelLearntOfEachEntry) {
  netns_.Ip({"addr", "add", "10.77.43.10/24", "dev", "eth0"});
  RunInNamespace(netns_.name(), [] {
    ULONG size = 0;
    EXPECT_EQ(GetIpNetTable(nullptr, &size, FALSE), ERROR_NO_DATA) << "an empty cache";
    EXPECT_EQ(GetIpNetTable(nullptr, nullptr, FALSE), ERROR_INVALID_PARAMETER);
  });
  for (int i = 0; i < 6; ++i) {
    std::vector<std::string> entry = {"neigh", "add", "10.77.43." + std::to_string(i + 1), "dev", "eth0"};
    if (i < 4) entry.insert(entry.end(), {"lladdr", "02:77:00:00:00:0" + std::to_string(i + 1)});
    entry.insert(entry.end(), {"nud", kNeighbourStates[i]});
    netns_.Ip(entry);
  }
  RunInNamespace(netns_.name(), [] {
    ULONG size = 0;
    ASSERT_EQ(GetIpNetTable(nullptr, &size, FALSE), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, sizeof(DWORD) + 6 * sizeof(MIB_IPNETROW));
    Buffer buffer(size);
    ASSERT_EQ(GetIpNetTable(buffer.As<MIB_IPNETTABLE>(), &size, FALSE), ERROR_SUCCESS);
    const MIB_IPNETTABLE& table = *buffer.As<MIB_IPNETTABLE>();
    ASSERT_EQ(table.dwNumEntries, 6u);
    const DWORD expected[] = {MIB_IPNET_TYPE_DYNAMIC, MIB_IPNET_TYPE_DYNAMIC, MIB_IPNET_TYPE_DYNAMIC,
                              MIB_IPNET_TYPE_STATIC,  MIB_IPNET_TYPE_INVALID, MIB_IPNET_TYPE_INVALID};
    const MIB_IPNETROW* rows = table.table;
    for (const MIB_IPNETROW* row = rows; row != rows + 6; ++row) {
      const int i = static_cast<int>(ntohl(row->dwAddr) & 0xFF) - 1;
      ASSERT_GE(i, 0);
      ASSERT_LT(i, 6);
      EXPECT_EQ(row->dwType, expected[i]) << kNeighbourStates[i];
      EXPECT_EQ(row->dwIndex, if_nametoindex("eth0"));
      EXPECT_EQ(row->dwPhysAddrLen, i < 4 ? 6u : 0u) << kNeighbourStates[i];
      EXPECT_EQ(row->bPhysAddr[5], i < 4 ? i + 1 : 0) << "the address learnt, or none";
    }
  });
}

std::vector<std::string> DnsServersOf(const FIXED_INFO& info) {
  std::vector<std::string> servers;
  for (const IP_ADDR_STRING* entry = &info.DnsServerList; entry != nullptr; entry = entry->Next)
    servers.push_back(entry->IpAddress.String);
  return servers;
}

TEST(NetworkParams, ListIpv4ServersInFileOrderByTheBufferProtocol) {
  if (!InTestChild()) {
    Namespace netns("dns");
    netns.WriteResolvConf(
        "# generated for a test\n"
        "search lan.example other.example\n"
        "nameserver 10.77.41.53\n"
        "nameserver fd00::53\n"
        "; comment\n"
        "nameserver 10.77.41.54\n"
        "nameserver   10.77.41.55  \n");
    RunThisTestIn(netns);
    return;
  }
  EXPECT_EQ(GetNetworkParams(nullptr, nullptr), ERROR_INVALID_PARAMETER);
  ULONG size = 0;
  ASSERT_EQ(GetNetworkParams(nullptr, &size), ERROR_BUFFER_OVERFLOW);
  const ULONG needed = sizeof(FIXED_INFO) + 2 * sizeof(IP_ADDR_STRING);
  EXPECT_EQ(size, needed);

  Buffer oneRecord(sizeof(FIXED_INFO));
  size = oneRecord.size;
  EXPECT_EQ(GetNetworkParams(oneRecord.As<FIXED_INFO>(), &size), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, needed);

  Buffer exact(needed);
  ASSERT_EQ(GetNetworkParams(exact.As<FIXED_INFO>(), &size), ERROR_SUCCESS);
  const FIXED_INFO& info = *exact.As<FIXED_INFO>();
  EXPECT_EQ(DnsServersOf(info), (std::vector<std::string>{"10.77.41.53", "10.77.41.54", "10.77.41.55"}));
  EXPECT_STREQ(info.DomainName, "lan.example");
}

TEST(NetworkParams, NoServerIsOneEmptyEntryAndTheFileIsReadAtEveryCall) {
  if (!InTestChild()) {
    Namespace netns("dns");
    netns.WriteResolvConf("options ndots:1\n");
    RunThisTestIn(netns);
    return;
  }
  ULONG size = sizeof(FIXED_INFO);
  Buffer buffer(size);
  ASSERT_EQ(GetNetworkParams(buffer.As<FIXED_INFO>(), &size), ERROR_SUCCESS);
  EXPECT_EQ(DnsServersOf(*buffer.As<FIXED_INFO>()), (std::vector<std::string>{""}));

  std::ofstream("/etc/resolv.conf", std::ios::trunc) << "nameserver 10.77.42.53\n";
  ASSERT_EQ(GetNetworkParams(buffer.As<FIXED_INFO>(), &size), ERROR_SUCCESS);
  EXPECT_EQ(DnsServersOf(*buffer.As<FIXED_INFO>()), (std::vector<std::string>{"10.77.42.53"}));
}

}  // namespace
