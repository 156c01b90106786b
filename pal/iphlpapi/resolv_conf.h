// The resolver configuration of this machine: /etc/resolv.conf.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pal::iphlpapi {

struct ResolverConfig {
  std::vector<std::uint32_t> ipv4Servers;  // network byte order, in file order
  std::string domain;
};

/// Only the first this many bytes of the file count: it is a few lines long, and nothing past
/// that is a configuration.
constexpr size_t kResolvConfLimit = 64 * 1024;

/// Reads /etc/resolv.conf with plain blocking reads, afresh at every call. A missing or
/// unreadable file is a configuration without servers.
ResolverConfig ReadResolverConfig();

/// Parses resolv.conf text: IPv4 "nameserver" lines in order (IPv6 ones skipped), and the domain
/// from the last "domain" line or the first name of the last "search" line, whichever is later.
ResolverConfig ParseResolverConfig(const std::string& text);

}  // namespace pal::iphlpapi
