#include "resolv_conf.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

namespace pal::iphlpapi {
namespace {

constexpr const char* kResolvConfPath = "/etc/resolv.conf";

std::string ReadBoundedFile(const char* path, size_t limit) {
  std::string text;
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return text;
  char chunk[4096];
  while (text.size() < limit) {
    const ssize_t got = ::read(fd, chunk, std::min(sizeof chunk, limit - text.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(chunk, static_cast<size_t>(got));
  }
  ::close(fd);
  return text;
}

}  // namespace

ResolverConfig ParseResolverConfig(const std::string& text) {
  ResolverConfig config;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string keyword;
    std::string value;
    if (!(words >> keyword >> value)) continue;
    if (keyword == "nameserver") {
      in_addr address{};
      if (inet_pton(AF_INET, value.c_str(), &address) == 1) config.ipv4Servers.push_back(address.s_addr);
    } else if (keyword == "domain" || keyword == "search") {
      config.domain = value;
    }
  }
  return config;
}

ResolverConfig ReadResolverConfig() { return ParseResolverConfig(ReadBoundedFile(kResolvConfPath, kResolvConfLimit)); }

}  // namespace pal::iphlpapi
