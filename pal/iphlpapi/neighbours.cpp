// The neighbour table by a routing netlink dump.
#include "neighbours.h"

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cstring>

#include "netlink.h"

namespace pal::iphlpapi {
namespace {

struct NeighbourDumpRequest {
  nlmsghdr header;
  ndmsg body;
};

/// The first attribute after an entry's header (the kernel headers give no macro for it).
const rtattr* FirstAttribute(const ndmsg* info) {
  return reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(info) + NLMSG_ALIGN(sizeof(ndmsg)));
}

/// False for an entry without a destination address.
bool NeighbourOf(const nlmsghdr& message, HostNeighbour* result) {
  const auto* info = static_cast<const ndmsg*>(NLMSG_DATA(&message));
  if (info->ndm_family != AF_INET) return false;
  result->interfaceIndex = static_cast<std::uint32_t>(info->ndm_ifindex);
  result->state = info->ndm_state;
  bool haveAddress = false;
  int left = static_cast<int>(NLMSG_PAYLOAD(&message, sizeof(ndmsg)));
  for (const rtattr* attribute = FirstAttribute(info); RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left)) {
    const auto* data = static_cast<const std::uint8_t*>(RTA_DATA(attribute));
    const size_t size = RTA_PAYLOAD(attribute);
    if (attribute->rta_type == NDA_DST && size == sizeof result->address) {
      std::memcpy(&result->address, data, sizeof result->address);
      haveAddress = true;
    } else if (attribute->rta_type == NDA_LLADDR) {
      result->linkAddress.assign(data, data + size);
    }
  }
  return haveAddress;
}

}  // namespace

bool ListIpv4Neighbours(std::vector<HostNeighbour>* neighbours) {
  NeighbourDumpRequest request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETNEIGH;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.body.ndm_family = AF_INET;

  neighbours->clear();
  netlink::RouteSocket socket;
  return socket.Query(
      request.header,
      [&](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWNEIGH || message.nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg))) return;
        HostNeighbour neighbour;
        if (NeighbourOf(message, &neighbour)) neighbours->push_back(std::move(neighbour));
      },
      [&] { neighbours->clear(); });
}

}  // namespace pal::iphlpapi
