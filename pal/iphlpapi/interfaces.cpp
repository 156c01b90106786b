// Interface enumeration over routing netlink dumps of links and IPv4 addresses.
#include "interfaces.h"

#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cstring>

#include "netlink.h"

namespace pal::iphlpapi {
namespace {

struct LinkDumpRequest {
  nlmsghdr header;
  ifinfomsg body;
  rtattr filterAttribute;
  std::uint32_t filter;
};

struct AddressDumpRequest {
  nlmsghdr header;
  ifaddrmsg body;
};

HostInterface InterfaceOf(const nlmsghdr& message) {
  HostInterface result;
  const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(&message));
  result.index = static_cast<std::uint32_t>(info->ifi_index);
  result.flags = info->ifi_flags;
  result.type = info->ifi_type;
  int left = static_cast<int>(IFLA_PAYLOAD(&message));
  for (const rtattr* attribute = IFLA_RTA(info); RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left)) {
    const auto* data = static_cast<const char*>(RTA_DATA(attribute));
    const size_t size = RTA_PAYLOAD(attribute);
    if (attribute->rta_type == IFLA_IFNAME) {
      result.name.assign(data, strnlen(data, size));
    } else if (attribute->rta_type == IFLA_ADDRESS) {
      result.hardwareAddress.assign(data, data + size);
    }
  }
  return result;
}

/// The interface's own address: IFA_LOCAL where the kernel gives one (on a point-to-point link
/// IFA_ADDRESS is the peer), IFA_ADDRESS otherwise.
bool AddressOf(const nlmsghdr& message, HostIpv4Address* result) {
  const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(&message));
  if (info->ifa_family != AF_INET) return false;
  result->interfaceIndex = info->ifa_index;
  result->prefixLength = info->ifa_prefixlen;
  bool haveLocal = false;
  bool haveAny = false;
  int left = static_cast<int>(IFA_PAYLOAD(&message));
  for (const rtattr* attribute = IFA_RTA(info); RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left)) {
    if (RTA_PAYLOAD(attribute) != sizeof(std::uint32_t)) continue;
    if (attribute->rta_type == IFA_LOCAL || (attribute->rta_type == IFA_ADDRESS && !haveLocal)) {
      std::memcpy(&result->address, RTA_DATA(attribute), sizeof result->address);
      haveLocal = haveLocal || attribute->rta_type == IFA_LOCAL;
      haveAny = true;
    }
  }
  return haveAny;
}

}  // namespace

bool ListInterfaces(std::vector<HostInterface>* interfaces) {
  LinkDumpRequest request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETLINK;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.body.ifi_family = AF_UNSPEC;
  // Statistics are not needed and make up most of a link message.
  request.filterAttribute.rta_len = RTA_LENGTH(sizeof request.filter);
  request.filterAttribute.rta_type = IFLA_EXT_MASK;
  request.filter = RTEXT_FILTER_SKIP_STATS;

  interfaces->clear();
  netlink::RouteSocket socket;
  return socket.Query(
      request.header,
      [&](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWLINK || message.nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) return;
        interfaces->push_back(InterfaceOf(message));
      },
      [&] { interfaces->clear(); });
}

bool ListIpv4Addresses(std::vector<HostIpv4Address>* addresses) {
  AddressDumpRequest request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETADDR;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.body.ifa_family = AF_INET;

  addresses->clear();
  netlink::RouteSocket socket;
  return socket.Query(
      request.header,
      [&](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWADDR || message.nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg))) return;
        HostIpv4Address address;
        if (AddressOf(message, &address)) addresses->push_back(address);
      },
      [&] { addresses->clear(); });
}

}  // namespace pal::iphlpapi
