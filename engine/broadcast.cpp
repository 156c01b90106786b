#include "engine/broadcast.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "netenv/adapter_list.h"

namespace prowlnet {
namespace {

/// A name with the blanks around it dropped.
std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool HasIpv4Address(const IP_ADAPTER_INFO& adapter) {
  return ws2::inet_addr(adapter.IpAddressList.IpAddress.String) != ws2::INADDR_ANY;
}

bool WithinLimit(const IP_ADAPTER_INFO& adapter, const InterfaceLimit& limit) {
  return limit.empty() || std::find(limit.begin(), limit.end(), adapter.AdapterName) != limit.end();
}

/// The indexes of the interfaces a broadcast goes out of, in the platform's order. The adapter
/// list holds only interfaces that are up, loopback excepted.
std::vector<DWORD> BroadcastInterfaces(const InterfaceLimit& limit) {
  const AdapterList adapters = AdapterList::Read();
  std::vector<DWORD> indexes;
  for (const IP_ADAPTER_INFO* adapter = adapters.first(); adapter != nullptr; adapter = adapter->Next) {
    if (adapter->Type == MIB_IF_TYPE_ETHERNET && HasIpv4Address(*adapter) && WithinLimit(*adapter, limit))
      indexes.push_back(adapter->Index);
  }
  return indexes;
}

/// One datagram to everyone on the link of interface `index`, from that interface's own address.
bool SendOutOf(ws2::SOCKET socket, const char* data, int length, ws2::u_short port, DWORD index) {
  ws2::sockaddr_in everyone{};
  everyone.sin_family = ws2::AF_INET;
  everyone.sin_port = ws2::htons(port);
  everyone.sin_addr.s_addr = ws2::INADDR_BROADCAST;
  ws2::WSABUF payload{static_cast<ULONG>(length), const_cast<char*>(data)};

  alignas(ws2::WSACMSGHDR) char control[ws2::WSA_CMSG_SPACE(sizeof(ws2::IN_PKTINFO))] = {};
  ws2::WSAMSG message{reinterpret_cast<ws2::sockaddr*>(&everyone), sizeof everyone, &payload, 1,
                      ws2::WSABUF{sizeof control, control}, 0};
  ws2::WSACMSGHDR* header = ws2::WSA_CMSG_FIRSTHDR(&message);
  header->cmsg_len = ws2::WSA_CMSG_LEN(sizeof(ws2::IN_PKTINFO));
  header->cmsg_level = ws2::IPPROTO_IP;
  header->cmsg_type = ws2::IP_PKTINFO;
  ws2::IN_PKTINFO info{};
  info.ipi_addr.s_addr = ws2::INADDR_ANY;
  info.ipi_ifindex = index;
  std::memcpy(ws2::WSA_CMSG_DATA(header), &info, sizeof info);

  DWORD sent = 0;
  return ws2::WSASendMsg(socket, &message, 0, &sent, nullptr, nullptr) == 0 && sent == static_cast<DWORD>(length);
}

}  // namespace

InterfaceLimit InterfaceLimitFromEnvironment() {
  InterfaceLimit limit;
  const char* value = std::getenv(kInterfaceLimitVariable);
  if (value == nullptr) return limit;
  const std::string names = value;
  for (size_t start = 0; start <= names.size();) {
    const size_t comma = std::min(names.find(',', start), names.size());
    const std::string name = Trimmed(names.substr(start, comma - start));
    if (!name.empty()) limit.push_back(name);
    start = comma + 1;
  }
  return limit;
}

int BroadcastFromEveryInterface(ws2::SOCKET socket, const char* data, int length, ws2::u_short port,
                                const InterfaceLimit& limit) {
  const std::vector<DWORD> interfaces = BroadcastInterfaces(limit);
  if (interfaces.empty()) {
    ws2::WSASetLastError(ws2::WSAENETUNREACH);
    return 0;
  }
  int left = 0;
  for (DWORD index : interfaces) left += SendOutOf(socket, data, length, port, index) ? 1 : 0;
  return left;
}

}  // namespace prowlnet
