// Winsock calls over the host's sockets. A SOCKET is the host's descriptor number.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <vector>

#include "bsd.h"
#include "internal/loud.h"
#include "pal/kernel32.h"
#include "pal/winsock2.h"

namespace ws2 {
namespace {

/// The start-up count and the sockets opened through this library. When the count drops to
/// zero, the sockets still open are closed, as Winsock's WSACleanup does.
struct Library {
  std::mutex mutex;
  int startupCount = 0;
  std::unordered_set<int> sockets;
};

Library& TheLibrary() {
  static auto* library = new Library;  // threads may outlast main
  return *library;
}

int WsaErrorOf(int error) {
  switch (error) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSAEINVAL;
  }
}

int Fail(int wsaError) {
  WSASetLastError(wsaError);
  return SOCKET_ERROR;
}

int FailFromErrno() { return Fail(WsaErrorOf(errno)); }

bool Started() {
  Library& library = TheLibrary();
  std::lock_guard lock(library.mutex);
  if (library.startupCount > 0) return true;
  WSASetLastError(WSANOTINITIALISED);
  return false;
}

/// The descriptor of an open socket of this library, or -1 with the error set.
int DescriptorOf(SOCKET s) {
  Library& library = TheLibrary();
  std::lock_guard lock(library.mutex);
  if (library.startupCount == 0) {
    WSASetLastError(WSANOTINITIALISED);
    return -1;
  }
  if (s > static_cast<SOCKET>(INT32_MAX) || !library.sockets.contains(static_cast<int>(s))) {
    WSASetLastError(WSAENOTSOCK);
    return -1;
  }
  return static_cast<int>(s);
}

bool ReadIPv4(const sockaddr* name, int length, std::uint32_t* address, std::uint16_t* port) {
  if (name == nullptr || length < static_cast<int>(sizeof(sockaddr_in))) {
    WSASetLastError(WSAEFAULT);
    return false;
  }
  sockaddr_in in;
  std::memcpy(&in, name, sizeof in);
  if (in.sin_family != AF_INET) {
    WSASetLastError(WSAEAFNOSUPPORT);
    return false;
  }
  *address = in.sin_addr.s_addr;
  *port = in.sin_port;
  return true;
}

}  // namespace

int WSAStartup(WORD versionRequested, LPWSADATA data) {
  if (data == nullptr) return WSAEFAULT;
  if (LOBYTE(versionRequested) < 1) return WSAVERNOTSUPPORTED;
  const bool above22 = LOBYTE(versionRequested) > 2 || (LOBYTE(versionRequested) == 2 && HIBYTE(versionRequested) >= 2);
  std::memset(data, 0, sizeof *data);
  data->wVersion = above22 ? MAKEWORD(2, 2) : versionRequested;
  data->wHighVersion = MAKEWORD(2, 2);
  std::strcpy(data->szDescription, "WinSock 2.0");
  std::strcpy(data->szSystemStatus, "Running");
  Library& library = TheLibrary();
  std::lock_guard lock(library.mutex);
  ++library.startupCount;
  return 0;
}

int WSACleanup() {
  Library& library = TheLibrary();
  std::lock_guard lock(library.mutex);
  if (library.startupCount == 0) return Fail(WSANOTINITIALISED);
  if (--library.startupCount == 0) {
    for (int fd : library.sockets) ::close(fd);
    library.sockets.clear();
  }
  return 0;
}

int WSAGetLastError() { return static_cast<int>(GetLastError()); }
void WSASetLastError(int error) { SetLastError(static_cast<DWORD>(error)); }

SOCKET socket(int af, int type, int protocol) {
  if (af != AF_INET) {
    WSASetLastError(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  if (type != SOCK_DGRAM && type != SOCK_RAW && type != SOCK_STREAM) {
    WSASetLastError(WSAESOCKTNOSUPPORT);
    return INVALID_SOCKET;
  }
  // AF_INET, the socket types and the IP protocol numbers have the same values on both sides.
  Library& library = TheLibrary();
  std::lock_guard lock(library.mutex);
  if (library.startupCount == 0) {
    WSASetLastError(WSANOTINITIALISED);
    return INVALID_SOCKET;
  }
  const int fd = pal::bsd::Socket(af, type, protocol);
  if (fd < 0) {
    FailFromErrno();
    return INVALID_SOCKET;
  }
  library.sockets.insert(fd);
  return static_cast<SOCKET>(fd);
}

int closesocket(SOCKET s) {
  Library& library = TheLibrary();
  std::lock_guard lock(library.mutex);
  if (library.startupCount == 0) return Fail(WSANOTINITIALISED);
  if (s > static_cast<SOCKET>(INT32_MAX) || library.sockets.erase(static_cast<int>(s)) == 0) return Fail(WSAENOTSOCK);
  return ::close(static_cast<int>(s)) == 0 ? 0 : FailFromErrno();
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  if (level != SOL_SOCKET) pal::internal::Unsupported("setsockopt", "an option level other than SOL_SOCKET");
  pal::bsd::Option option;
  switch (optname) {
    case SO_BROADCAST: option = pal::bsd::Option::Broadcast; break;
    case SO_REUSEADDR: option = pal::bsd::Option::ReuseAddress; break;
    case SO_RCVBUF: option = pal::bsd::Option::ReceiveBuffer; break;
    default: pal::internal::Unsupported("setsockopt", "this option");
  }
  if (optval == nullptr || optlen < static_cast<int>(sizeof(int))) return Fail(WSAEFAULT);
  const int fd = DescriptorOf(s);
  if (fd < 0) return SOCKET_ERROR;
  int value;
  std::memcpy(&value, optval, sizeof value);
  if (option != pal::bsd::Option::ReceiveBuffer) value = value != 0;
  return pal::bsd::SetIntOption(fd, option, value) == 0 ? 0 : FailFromErrno();
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
  std::uint32_t address;
  std::uint16_t port;
  if (!ReadIPv4(name, namelen, &address, &port)) return SOCKET_ERROR;
  const int fd = DescriptorOf(s);
  if (fd < 0) return SOCKET_ERROR;
  return pal::bsd::Bind(fd, address, port) == 0 ? 0 : FailFromErrno();
}

int __WSAFDIsSet(SOCKET s, fd_set* set) {
  for (u_int i = 0; i < set->fd_count; ++i)
    if (set->fd_array[i] == s) return 1;
  return 0;
}

namespace {

constexpr short kReadable = POLLIN | POLLERR | POLLHUP;
constexpr short kWritable = POLLOUT;
constexpr short kExceptional = POLLPRI;

struct PollList {
  pollfd entries[3 * FD_SETSIZE];
  nfds_t count = 0;

  void Add(const fd_set* set, short events) {
    if (set == nullptr) return;
    for (u_int i = 0; i < set->fd_count && i < FD_SETSIZE; ++i) {
      const int fd = set->fd_array[i] > static_cast<SOCKET>(INT32_MAX) ? -1 : static_cast<int>(set->fd_array[i]);
      entries[count++] = pollfd{fd < 0 ? INT32_MAX : fd, events, 0};
    }
  }
};

/// Keeps in `set` the sockets whose entries (starting at `*next`) show `ready`; returns how many.
int KeepReady(fd_set* set, const PollList& list, nfds_t* next, short ready) {
  if (set == nullptr) return 0;
  u_int kept = 0;
  const u_int count = set->fd_count < FD_SETSIZE ? set->fd_count : FD_SETSIZE;
  for (u_int i = 0; i < count; ++i, ++*next)
    if (list.entries[*next].revents & ready) set->fd_array[kept++] = set->fd_array[i];
  set->fd_count = kept;
  return static_cast<int>(kept);
}

bool Empty(const fd_set* set) { return set == nullptr || set->fd_count == 0; }

}  // namespace

int select(int, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, const timeval* timeout) {
  if (!Started()) return SOCKET_ERROR;
  if (Empty(readfds) && Empty(writefds) && Empty(exceptfds)) return Fail(WSAEINVAL);

  PollList list;
  list.Add(readfds, POLLIN);
  list.Add(writefds, POLLOUT);
  list.Add(exceptfds, POLLPRI);

  using Clock = std::chrono::steady_clock;
  const bool forever = timeout == nullptr;
  const auto deadline = forever ? Clock::time_point::max()
                                : Clock::now() + std::chrono::seconds(timeout->tv_sec) +
                                      std::chrono::microseconds(timeout->tv_usec);
  int result;
  for (;;) {
    int waitMs = -1;
    if (!forever) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      waitMs = left < 0 ? 0 : static_cast<int>(left);
    }
    result = ::poll(list.entries, list.count, waitMs);
    if (result >= 0 || errno != EINTR) break;  // Winsock's select is not cut short by signals
  }
  if (result < 0) return FailFromErrno();
  for (nfds_t i = 0; i < list.count; ++i)
    if (list.entries[i].revents & POLLNVAL) return Fail(WSAENOTSOCK);

  nfds_t next = 0;
  int ready = KeepReady(readfds, list, &next, kReadable);
  ready += KeepReady(writefds, list, &next, kWritable);
  ready += KeepReady(exceptfds, list, &next, kExceptional);
  return ready;
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  if (flags != 0) pal::internal::Unsupported("recvfrom", "flags");
  if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
  if (from != nullptr && (fromlen == nullptr || *fromlen < static_cast<int>(sizeof(sockaddr_in))))
    return Fail(WSAEFAULT);
  const int fd = DescriptorOf(s);
  if (fd < 0) return SOCKET_ERROR;

  std::uint32_t address = 0;
  std::uint16_t port = 0;
  const ssize_t full = pal::bsd::ReceiveFrom(fd, buf, static_cast<size_t>(len), &address, &port);
  if (full < 0) return FailFromErrno();
  if (from != nullptr) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = port;
    in.sin_addr.s_addr = address;
    std::memcpy(from, &in, sizeof in);
    *fromlen = sizeof in;
  }
  // The start of an oversized datagram is in the buffer; the rest is gone, as in Winsock.
  if (full > len) return Fail(WSAEMSGSIZE);
  return static_cast<int>(full);
}

int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) {
  if (flags != 0) pal::internal::Unsupported("sendto", "flags");
  if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
  std::uint32_t address;
  std::uint16_t port;
  if (!ReadIPv4(to, tolen, &address, &port)) return SOCKET_ERROR;
  const int fd = DescriptorOf(s);
  if (fd < 0) return SOCKET_ERROR;
  const ssize_t sent = pal::bsd::SendTo(fd, buf, static_cast<size_t>(len), address, port);
  return sent < 0 ? FailFromErrno() : static_cast<int>(sent);
}

namespace {

bool Refuse(int wsaError) {
  WSASetLastError(wsaError);
  return false;
}

/// The control data of a send: nothing, or one IP_PKTINFO message. False, with the error set,
/// when that message is cut short or has the wrong length; other control data stops the process.
bool ReadSendControl(const WSAMSG& msg, std::optional<pal::bsd::PacketInfo>* info) {
  if (msg.Control.len == 0) return true;
  if (msg.Control.buf == nullptr) return Refuse(WSAEFAULT);
  const LPWSACMSGHDR header = WSA_CMSG_FIRSTHDR(&msg);
  if (header == nullptr) return Refuse(WSAEINVAL);
  if (header->cmsg_level != IPPROTO_IP || header->cmsg_type != IP_PKTINFO)
    pal::internal::Unsupported("WSASendMsg", "a control message other than IP_PKTINFO");
  constexpr SIZE_T kSpace = WSA_CMSG_SPACE(sizeof(IN_PKTINFO));
  if (msg.Control.len > kSpace && msg.Control.len - kSpace >= sizeof(WSACMSGHDR))
    pal::internal::Unsupported("WSASendMsg", "more than one control message");
  if (header->cmsg_len != WSA_CMSG_LEN(sizeof(IN_PKTINFO)) || msg.Control.len < header->cmsg_len)
    return Refuse(WSAEINVAL);
  IN_PKTINFO data;
  std::memcpy(&data, WSA_CMSG_DATA(header), sizeof data);
  *info = pal::bsd::PacketInfo{data.ipi_ifindex, data.ipi_addr.s_addr};
  return true;
}

/// The message's buffers as the host's gather list; false (WSAEFAULT) for a null list.
bool GatherList(const WSAMSG& msg, std::vector<iovec>* parts) {
  if (msg.lpBuffers == nullptr && msg.dwBufferCount > 0) return Refuse(WSAEFAULT);
  for (ULONG i = 0; i < msg.dwBufferCount; ++i) {
    const WSABUF& buffer = msg.lpBuffers[i];
    if (buffer.buf == nullptr && buffer.len > 0) return Refuse(WSAEFAULT);
    parts->push_back(iovec{buffer.buf, buffer.len});
  }
  return true;
}

}  // namespace

int WSASendMsg(SOCKET Handle, LPWSAMSG lpMsg, DWORD dwFlags, LPDWORD lpNumberOfBytesSent, LPWSAOVERLAPPED lpOverlapped,
               LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  if (dwFlags != 0) pal::internal::Unsupported("WSASendMsg", "flags");
  if (lpOverlapped != nullptr || lpCompletionRoutine != nullptr)
    pal::internal::Unsupported("WSASendMsg", "an overlapped send");
  if (lpNumberOfBytesSent == nullptr) pal::internal::Unsupported("WSASendMsg", "no byte count");
  if (lpMsg == nullptr) return Fail(WSAEFAULT);
  std::uint32_t address;
  std::uint16_t port;
  if (!ReadIPv4(lpMsg->name, lpMsg->namelen, &address, &port)) return SOCKET_ERROR;
  std::optional<pal::bsd::PacketInfo> info;
  std::vector<iovec> parts;
  if (!ReadSendControl(*lpMsg, &info) || !GatherList(*lpMsg, &parts)) return SOCKET_ERROR;
  const int fd = DescriptorOf(Handle);
  if (fd < 0) return SOCKET_ERROR;
  const ssize_t sent =
      pal::bsd::SendMessage(fd, parts.data(), parts.size(), address, port, info ? &*info : nullptr);
  if (sent < 0) return FailFromErrno();
  *lpNumberOfBytesSent = static_cast<DWORD>(sent);
  return 0;
}

}  // namespace ws2
