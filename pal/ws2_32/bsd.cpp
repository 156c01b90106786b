#include "bsd.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace pal::bsd {
namespace {

int LevelOf(Option) { return SOL_SOCKET; }

int NameOf(Option option) {
  switch (option) {
    case Option::Broadcast:
      return SO_BROADCAST;
    case Option::ReuseAddress:
      return SO_REUSEADDR;
    case Option::ReceiveBuffer:
      return SO_RCVBUF;
  }
  return -1;
}

sockaddr_in AddressOf(std::uint32_t address, std::uint16_t port) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = port;
  in.sin_addr.s_addr = address;
  return in;
}

}  // namespace

int Socket(int family, int type, int protocol) { return ::socket(family, type | SOCK_CLOEXEC, protocol); }

int SetIntOption(int fd, Option option, int value) {
  if (option == Option::ReceiveBuffer) {
    // Winsock grants what is asked; the host caps SO_RCVBUF at rmem_max unless forced.
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &value, sizeof value) == 0) return 0;
  }
  return ::setsockopt(fd, LevelOf(option), NameOf(option), &value, sizeof value);
}

int Bind(int fd, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in in = AddressOf(address, port);
  return ::bind(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in);
}

ssize_t ReceiveFrom(int fd, void* buffer, size_t size, std::uint32_t* address, std::uint16_t* port) {
  sockaddr_in from{};
  socklen_t length = sizeof from;
  ssize_t received;
  do {
    received = ::recvfrom(fd, buffer, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &length);
  } while (received < 0 && errno == EINTR);
  if (received >= 0) {
    *address = from.sin_addr.s_addr;
    *port = from.sin_port;
  }
  return received;
}

ssize_t SendTo(int fd, const void* data, size_t size, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in to = AddressOf(address, port);
  ssize_t sent;
  do {
    sent = ::sendto(fd, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  } while (sent < 0 && errno == EINTR);
  return sent;
}

ssize_t SendMessage(int fd, const iovec* parts, size_t count, std::uint32_t address, std::uint16_t port,
                    const PacketInfo* info) {
  sockaddr_in to = AddressOf(address, port);
  msghdr message{};
  message.msg_name = &to;
  message.msg_namelen = sizeof to;
  message.msg_iov = const_cast<iovec*>(parts);
  message.msg_iovlen = count;
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  if (info != nullptr) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo packetInfo{};
    packetInfo.ipi_ifindex = static_cast<int>(info->interfaceIndex);
    packetInfo.ipi_spec_dst.s_addr = info->source;  // on a send, the source address
    std::memcpy(CMSG_DATA(header), &packetInfo, sizeof packetInfo);
  }
  ssize_t sent;
  do {
    sent = ::sendmsg(fd, &message, 0);
  } while (sent < 0 && errno == EINTR);
  return sent;
}

}  // namespace pal::bsd
