// Windows Sockets 2 over this machine's BSD sockets, with Winsock's semantics where the two
// differ. Everything lives in namespace ws2, because socket, bind, select, sendto and the rest
// are also the names of the host's own socket calls.
//
// Differences from BSD sockets that callers rely on:
// - a datagram longer than the receive buffer fails with WSAEMSGSIZE (the start of it is still
//   copied and the rest is discarded) instead of being cut silently;
// - an empty datagram is received as 0 bytes;
// - fd_set is a counted list of sockets: select works for any descriptor number, and on return
//   each set holds only the sockets that are ready;
// - option levels and names carry Winsock's values (SOL_SOCKET is 0xFFFF);
// - SO_RCVBUF grants the size asked for (the host's ceiling does not cut it when the process is
//   privileged enough to pass it);
// - errors are reported as Winsock error numbers through WSAGetLastError;
// - every call but WSAStartup fails with WSANOTINITIALISED until WSAStartup has succeeded;
// - SO_REUSEADDR shares a port only among sockets that all asked for it: a port held by a socket
//   that did not ask stays closed to the others (as with an exclusive holder on Windows), and
//   binding it fails with WSAEADDRINUSE.
// - WSASendMsg is the direct export of Windows Vista and later (no WSAIoctl lookup); its one
//   control message, IP_PKTINFO, picks the outgoing interface of that datagram alone, which also
//   carries a limited broadcast (255.255.255.255) out of an interface that no route covers.
#pragma once

#include <sys/select.h>  // the host's FD_ macros, which the Winsock functions below replace
#include <sys/time.h>    // struct timeval: the same fields as Winsock's

#include "pal/windef.h"

#undef FD_SETSIZE
#undef FD_SET
#undef FD_CLR
#undef FD_ISSET
#undef FD_ZERO

namespace ws2 {

using u_char = unsigned char;
using u_short = unsigned short;
using u_int = unsigned int;
using u_long = std::uint32_t;  // 32 bits, as on Windows
using SOCKET = UINT_PTR;

constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
constexpr int SOCKET_ERROR = -1;

// ---- start-up ----------------------------------------------------------------------------------

constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
};
using LPWSADATA = WSADATA*;

/// Counts its callers; version 2.2 (and any request of 2.2 or more) is granted 2.2.
int WSAStartup(WORD versionRequested, LPWSADATA data);
int WSACleanup();

int WSAGetLastError();
void WSASetLastError(int error);

// ---- error numbers -----------------------------------------------------------------------------

constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;

// ---- addresses ---------------------------------------------------------------------------------

constexpr int AF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int SOCK_DGRAM = 2;
constexpr int SOCK_RAW = 3;
constexpr int IPPROTO_IP = 0;
constexpr int IPPROTO_ICMP = 1;
constexpr int IPPROTO_UDP = 17;

constexpr int IP_PKTINFO = 19;  // level IPPROTO_IP

constexpr u_long INADDR_ANY = 0x00000000;
constexpr u_long INADDR_BROADCAST = 0xFFFFFFFF;
constexpr u_long INADDR_NONE = 0xFFFFFFFF;

struct in_addr {
  u_long s_addr;  // network byte order
};

struct sockaddr {
  u_short sa_family;
  char sa_data[14];
};

struct sockaddr_in {
  short sin_family;
  u_short sin_port;  // network byte order
  in_addr sin_addr;
  char sin_zero[8];
};

constexpr u_short htons(u_short value) { return static_cast<u_short>((value << 8) | (value >> 8)); }
constexpr u_short ntohs(u_short value) { return htons(value); }
constexpr u_long htonl(u_long value) {
  return ((value & 0xFF) << 24) | ((value & 0xFF00) << 8) | ((value >> 8) & 0xFF00) | (value >> 24);
}
constexpr u_long ntohl(u_long value) { return htonl(value); }

/// A dotted address ("a.b.c.d", or the shorter "a.b.c", "a.b", "a" forms; each part decimal,
/// octal with a leading 0 or hexadecimal with 0x) in network byte order. Text after the address
/// must begin with white space and is ignored. INADDR_NONE for null, empty or ill-formed text.
u_long inet_addr(const char* cp);
/// The dotted quad of an address, in a buffer of the calling thread that the next call reuses.
char* inet_ntoa(in_addr address);

// ---- options -----------------------------------------------------------------------------------

constexpr int SOL_SOCKET = 0xFFFF;
constexpr int SO_REUSEADDR = 0x0004;
constexpr int SO_BROADCAST = 0x0020;
constexpr int SO_RCVBUF = 0x1002;

// ---- socket lists ------------------------------------------------------------------------------

#ifndef WS2_FD_SETSIZE
#define WS2_FD_SETSIZE 64
#endif
#define FD_SETSIZE WS2_FD_SETSIZE

struct fd_set {
  u_int fd_count;
  SOCKET fd_array[FD_SETSIZE];
};

int __WSAFDIsSet(SOCKET socket, fd_set* set);

// The Winsock set operations, as functions so that only a Winsock fd_set is accepted. Callers
// write them unqualified: argument-dependent lookup finds them here.

inline void FD_ZERO(fd_set* set) { set->fd_count = 0; }

inline int FD_ISSET(SOCKET socket, fd_set* set) { return __WSAFDIsSet(socket, set); }

/// Adds `socket` once, while there is room.
inline void FD_SET(SOCKET socket, fd_set* set) {
  for (u_int i = 0; i < set->fd_count; ++i) {
    if (set->fd_array[i] == socket) return;
  }
  if (set->fd_count < FD_SETSIZE) set->fd_array[set->fd_count++] = socket;
}

/// Removes `socket`, keeping the order of the others.
inline void FD_CLR(SOCKET socket, fd_set* set) {
  for (u_int i = 0; i < set->fd_count; ++i) {
    if (set->fd_array[i] != socket) continue;
    for (; i + 1 < set->fd_count; ++i) set->fd_array[i] = set->fd_array[i + 1];
    --set->fd_count;
    return;
  }
}

using ::timeval;

// ---- calls -------------------------------------------------------------------------------------

/// AF_INET with SOCK_DGRAM, SOCK_RAW or SOCK_STREAM, as Winsock has them, and one combination of
/// our own: SOCK_DGRAM with IPPROTO_ICMP, which Windows refuses (its unprivileged echo is IP
/// Helper's IcmpSendEcho), opens this machine's datagram ICMP socket. An ordinary process may open
/// it where net.ipv4.ping_group_range admits one of its groups (WSAEACCES otherwise, as for a raw
/// socket without CAP_NET_RAW). It sends echo requests only, in each of which the host puts an
/// identifier of its own and fills in the checksum; recvfrom gives only the echo replies to this
/// socket's requests, as the ICMP message without the IP header, with the sender in `from`.
SOCKET socket(int af, int type, int protocol);
int closesocket(SOCKET s);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int bind(SOCKET s, const sockaddr* name, int namelen);
/// `nfds` is ignored, as in Winsock. A null timeout waits without limit.
int select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, const timeval* timeout);
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen);

// ---- messages with control data ----------------------------------------------------------------

struct WSABUF {
  ULONG len;
  CHAR* buf;
};
using LPWSABUF = WSABUF*;

struct WSAMSG {
  sockaddr* name;
  INT namelen;
  LPWSABUF lpBuffers;
  ULONG dwBufferCount;
  WSABUF Control;
  ULONG dwFlags;
};
using LPWSAMSG = WSAMSG*;

struct WSACMSGHDR {
  SIZE_T cmsg_len;
  INT cmsg_level;
  INT cmsg_type;
};
using LPWSACMSGHDR = WSACMSGHDR*;

/// IP_PKTINFO's data. On a send: the source address (INADDR_ANY lets the stack take the
/// interface's own) and the index of the outgoing interface.
struct IN_PKTINFO {
  in_addr ipi_addr;
  ULONG ipi_ifindex;
};

struct WSAOVERLAPPED;
using LPWSAOVERLAPPED = WSAOVERLAPPED*;
using LPWSAOVERLAPPED_COMPLETION_ROUTINE = void (*)(DWORD error, DWORD transferred, LPWSAOVERLAPPED overlapped,
                                                   DWORD flags);

// The control-buffer layout of ws2def.h, as type-checked functions: each header aligned for
// itself, its data and the space it takes aligned to the natural alignment.
constexpr SIZE_T kMaxNaturalAlignment = sizeof(ULONG_PTR);

constexpr SIZE_T WSA_CMSGHDR_ALIGN(SIZE_T length) {
  return (length + alignof(WSACMSGHDR) - 1) & ~(alignof(WSACMSGHDR) - 1);
}
constexpr SIZE_T WSA_CMSGDATA_ALIGN(SIZE_T length) {
  return (length + kMaxNaturalAlignment - 1) & ~(kMaxNaturalAlignment - 1);
}
constexpr SIZE_T WSA_CMSG_SPACE(SIZE_T length) {
  return WSA_CMSGDATA_ALIGN(sizeof(WSACMSGHDR) + WSA_CMSGHDR_ALIGN(length));
}
constexpr SIZE_T WSA_CMSG_LEN(SIZE_T length) { return WSA_CMSGDATA_ALIGN(sizeof(WSACMSGHDR)) + length; }

inline LPWSACMSGHDR WSA_CMSG_FIRSTHDR(const WSAMSG* msg) {
  return msg->Control.len >= sizeof(WSACMSGHDR) ? reinterpret_cast<LPWSACMSGHDR>(msg->Control.buf) : nullptr;
}
inline unsigned char* WSA_CMSG_DATA(LPWSACMSGHDR cmsg) {
  return reinterpret_cast<unsigned char*>(cmsg) + WSA_CMSGDATA_ALIGN(sizeof(WSACMSGHDR));
}

/// Sends one datagram gathered from the message's buffers to its name, blocking. Implemented:
/// dwFlags 0, no overlapped operation and a byte count to fill, and a control buffer that is
/// empty or holds one IPPROTO_IP/IP_PKTINFO message; anything else stops the process. 0 with
/// the bytes sent, or SOCKET_ERROR: a control message of the wrong length is WSAEINVAL, an
/// interface that is down WSAENETUNREACH.
int WSASendMsg(SOCKET Handle, LPWSAMSG lpMsg, DWORD dwFlags, LPDWORD lpNumberOfBytesSent, LPWSAOVERLAPPED lpOverlapped,
               LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);

}  // namespace ws2
