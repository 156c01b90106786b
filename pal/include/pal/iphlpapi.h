// IP Helper: the host's DNS servers, its adapters with their IPv4 addresses and default
// gateways, the interface the kernel would route toward an address, and the ARP cache.
//
// The adapter and network-parameter calls follow the Windows buffer protocol: a null buffer or one smaller than needed
// gives ERROR_BUFFER_OVERFLOW with the size needed stored through the size pointer; a buffer of
// at least that size is filled, its chains pointing into the same buffer.
#pragma once

#include <cstdint>

#include "pal/windef.h"

constexpr int MAX_HOSTNAME_LEN = 128;
constexpr int MAX_DOMAIN_NAME_LEN = 128;
constexpr int MAX_SCOPE_ID_LEN = 256;
constexpr int MAX_ADAPTER_NAME_LENGTH = 256;
constexpr int MAX_ADAPTER_DESCRIPTION_LENGTH = 128;
constexpr int MAX_ADAPTER_ADDRESS_LENGTH = 8;

/// An IPv4 address in network byte order.
using IPAddr = ULONG;

// ---- address lists -----------------------------------------------------------------------------

struct IP_ADDRESS_STRING {
  char String[4 * 4];  // dotted quad and terminator
};
using IP_MASK_STRING = IP_ADDRESS_STRING;

struct IP_ADDR_STRING {
  IP_ADDR_STRING* Next;
  IP_ADDRESS_STRING IpAddress;
  IP_MASK_STRING IpMask;
  DWORD Context;
};
using PIP_ADDR_STRING = IP_ADDR_STRING*;

// ---- network parameters ------------------------------------------------------------------------

constexpr UINT BROADCAST_NODETYPE = 1;
constexpr UINT PEER_TO_PEER_NODETYPE = 2;
constexpr UINT MIXED_NODETYPE = 4;
constexpr UINT HYBRID_NODETYPE = 8;

struct FIXED_INFO {
  char HostName[MAX_HOSTNAME_LEN + 4];
  char DomainName[MAX_DOMAIN_NAME_LEN + 4];
  PIP_ADDR_STRING CurrentDnsServer;
  IP_ADDR_STRING DnsServerList;
  UINT NodeType;
  char ScopeId[MAX_SCOPE_ID_LEN + 4];
  UINT EnableRouting;
  UINT EnableProxy;
  UINT EnableDns;
};
using PFIXED_INFO = FIXED_INFO*;

/// HostName is the host's name up to its first dot; DomainName the domain of /etc/resolv.conf
/// (its last "domain" line, or the first name of its last "search" line). DnsServerList holds
/// the IPv4 "nameserver" entries of /etc/resolv.conf in file order, with empty masks; with none
/// it is one entry with empty text. The file is read afresh at every call. NodeType is
/// BROADCAST_NODETYPE (no WINS), CurrentDnsServer null (reserved), EnableRouting and EnableProxy
/// the kernel's IPv4 forwarding and proxy ARP switches, EnableDns 1.
DWORD GetNetworkParams(PFIXED_INFO pFixedInfo, ULONG* pOutBufLen);

// ---- adapters ----------------------------------------------------------------------------------

constexpr UINT MIB_IF_TYPE_OTHER = 1;
constexpr UINT MIB_IF_TYPE_ETHERNET = 6;
constexpr UINT MIB_IF_TYPE_PPP = 23;
constexpr UINT MIB_IF_TYPE_LOOPBACK = 24;
constexpr UINT MIB_IF_TYPE_SLIP = 28;
constexpr UINT IF_TYPE_TUNNEL = 131;

struct IP_ADAPTER_INFO {
  IP_ADAPTER_INFO* Next;
  DWORD ComboIndex;
  char AdapterName[MAX_ADAPTER_NAME_LENGTH + 4];
  char Description[MAX_ADAPTER_DESCRIPTION_LENGTH + 4];
  UINT AddressLength;
  BYTE Address[MAX_ADAPTER_ADDRESS_LENGTH];
  DWORD Index;
  UINT Type;
  UINT DhcpEnabled;
  PIP_ADDR_STRING CurrentIpAddress;
  IP_ADDR_STRING IpAddressList;
  IP_ADDR_STRING GatewayList;
  IP_ADDR_STRING DhcpServer;
  BOOL HaveWins;
  IP_ADDR_STRING PrimaryWinsServer;
  IP_ADDR_STRING SecondaryWinsServer;
  std::int64_t LeaseObtained;  // the Windows runtime's 64-bit time_t
  std::int64_t LeaseExpires;
};
using PIP_ADAPTER_INFO = IP_ADAPTER_INFO*;

/// One record per interface that is administratively up, loopback excepted, in the kernel's
/// order. Index and ComboIndex are the kernel's interface index; AdapterName and Description
/// the interface name; Address the hardware address (at most 8 bytes). IpAddressList holds every
/// IPv4 address of the interface with its mask, in the kernel's order, or one "0.0.0.0" entry
/// when it has none. GatewayList holds the gateways of the main table's default routes through
/// the interface, lowest metric first, with mask "255.255.255.255"; "0.0.0.0" when there are
/// none (or for an on-link default route). DHCP and WINS are off: their entries read "0.0.0.0".
/// ERROR_NO_DATA when no interface qualifies.
DWORD GetAdaptersInfo(PIP_ADAPTER_INFO AdapterInfo, ULONG* SizePointer);

/// The index of the interface the kernel's own route lookup picks toward `dwDestAddr`. Nothing is
/// sent. ERROR_CAN_NOT_COMPLETE, with `*pdwBestIfIndex` untouched, when there is no route.
DWORD GetBestInterface(IPAddr dwDestAddr, DWORD* pdwBestIfIndex);

// ---- the ARP cache -----------------------------------------------------------------------------

constexpr int MAXLEN_PHYSADDR = 8;

constexpr DWORD MIB_IPNET_TYPE_OTHER = 1;
constexpr DWORD MIB_IPNET_TYPE_INVALID = 2;
constexpr DWORD MIB_IPNET_TYPE_DYNAMIC = 3;
constexpr DWORD MIB_IPNET_TYPE_STATIC = 4;

struct MIB_IPNETROW {
  DWORD dwIndex;
  DWORD dwPhysAddrLen;
  BYTE bPhysAddr[MAXLEN_PHYSADDR];
  DWORD dwAddr;  // network byte order
  DWORD dwType;
};
using PMIB_IPNETROW = MIB_IPNETROW*;

struct MIB_IPNETTABLE {
  DWORD dwNumEntries;
  MIB_IPNETROW table[1];  // ANY_SIZE: as many rows as dwNumEntries
};
using PMIB_IPNETTABLE = MIB_IPNETTABLE*;

/// One row per entry of the kernel's IPv4 neighbour table, in the kernel's order: the interface
/// index, the address, and a type by the entry's state. An entry whose link-layer address the
/// kernel has learnt (reachable, stale, or being checked again) is MIB_IPNET_TYPE_DYNAMIC with
/// that address; a permanent or no-ARP entry is MIB_IPNET_TYPE_STATIC; one still being resolved,
/// or whose resolution failed, is MIB_IPNET_TYPE_INVALID with an address length of 0. Nothing is
/// sent. A buffer too small for the table gives ERROR_INSUFFICIENT_BUFFER and the size needed;
/// an empty table gives ERROR_NO_DATA. Implemented for `Order` FALSE (the kernel's order) only.
DWORD GetIpNetTable(PMIB_IPNETTABLE IpNetTable, ULONG* SizePointer, BOOL Order);
