// Route lookup: the main table's default routes by dump, the kernel's route choice by RTM_GETROUTE.
#include "routes.h"

#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "netlink.h"

namespace pal::iphlpapi {
namespace {

struct RouteDumpRequest {
  nlmsghdr header;
  rtmsg body;
};

struct RouteGetRequest {
  nlmsghdr header;
  rtmsg body;
  rtattr destinationAttribute;
  std::uint32_t destination;
};

bool ReadAddress(const rtattr* attribute, std::uint32_t* address) {
  if (RTA_PAYLOAD(attribute) != sizeof *address) return false;
  std::memcpy(address, RTA_DATA(attribute), sizeof *address);
  return true;
}

/// The next hops of an RTA_MULTIPATH attribute, in order.
void AddMultipathHops(const rtattr* multipath, std::vector<DefaultRoute>* routes) {
  auto* hop = static_cast<const rtnexthop*>(RTA_DATA(multipath));
  int left = static_cast<int>(RTA_PAYLOAD(multipath));
  while (left >= static_cast<int>(sizeof(rtnexthop)) && hop->rtnh_len >= sizeof(rtnexthop) &&
         static_cast<int>(hop->rtnh_len) <= left) {
    DefaultRoute route;
    route.interfaceIndex = static_cast<std::uint32_t>(hop->rtnh_ifindex);
    int attributesLeft = static_cast<int>(hop->rtnh_len - RTNH_LENGTH(0));
    for (const rtattr* attribute = RTNH_DATA(hop); RTA_OK(attribute, attributesLeft);
         attribute = RTA_NEXT(attribute, attributesLeft)) {
      if (attribute->rta_type == RTA_GATEWAY) ReadAddress(attribute, &route.gateway);
    }
    routes->push_back(route);
    left -= static_cast<int>(RTNH_ALIGN(hop->rtnh_len));
    hop = RTNH_NEXT(hop);
  }
}

void AddDefaultRoute(const nlmsghdr& message, std::vector<DefaultRoute>* routes) {
  if (message.nlmsg_type != RTM_NEWROUTE || message.nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) return;
  const auto* info = static_cast<const rtmsg*>(NLMSG_DATA(&message));
  if (info->rtm_family != AF_INET || info->rtm_dst_len != 0 || info->rtm_type != RTN_UNICAST) return;
  std::uint32_t table = info->rtm_table;
  DefaultRoute route;
  const rtattr* multipath = nullptr;
  int left = static_cast<int>(RTM_PAYLOAD(&message));
  for (const rtattr* attribute = RTM_RTA(info); RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left)) {
    switch (attribute->rta_type) {
      case RTA_TABLE:
        ReadAddress(attribute, &table);
        break;
      case RTA_OIF:
        ReadAddress(attribute, &route.interfaceIndex);
        break;
      case RTA_GATEWAY:
        ReadAddress(attribute, &route.gateway);
        break;
      case RTA_MULTIPATH:
        multipath = attribute;
        break;
      default:
        break;
    }
  }
  if (table != RT_TABLE_MAIN) return;
  if (multipath != nullptr) {
    AddMultipathHops(multipath, routes);
  } else {
    routes->push_back(route);
  }
}

}  // namespace

bool ListDefaultRoutes(std::vector<DefaultRoute>* routes) {
  RouteDumpRequest request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETROUTE;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.body.rtm_family = AF_INET;

  routes->clear();
  netlink::RouteSocket socket;
  return socket.Query(
      request.header, [&](const nlmsghdr& message) { AddDefaultRoute(message, routes); }, [&] { routes->clear(); });
}

bool RouteInterfaceToward(std::uint32_t destination, std::uint32_t* interfaceIndex) {
  RouteGetRequest request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETROUTE;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  request.body.rtm_family = AF_INET;
  request.body.rtm_dst_len = 32;
  request.destinationAttribute.rta_len = RTA_LENGTH(sizeof destination);
  request.destinationAttribute.rta_type = RTA_DST;
  request.destination = destination;

  bool found = false;
  netlink::RouteSocket socket;
  const bool answered = socket.Query(
      request.header,
      [&](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWROUTE || message.nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) return;
        const auto* info = static_cast<const rtmsg*>(NLMSG_DATA(&message));
        int left = static_cast<int>(RTM_PAYLOAD(&message));
        for (const rtattr* attribute = RTM_RTA(info); RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left)) {
          if (attribute->rta_type == RTA_OIF) found = ReadAddress(attribute, interfaceIndex);
        }
      },
      [&] { found = false; });
  if (answered && !found) errno = ENETUNREACH;
  return answered && found;
}

}  // namespace pal::iphlpapi
