#include "netenv/free_address.h"

#include "diag/debug_log.h"
#include "netenv/icmp_probe.h"
#include "pal/winsock2.h"

namespace prowlnet {
namespace {

/// Whether `text` is exactly four decimal parts of 0 to 255 joined by dots.
bool IsDottedQuad(const char* text) {
  int parts = 0;
  const char* p = text;
  for (;;) {
    if (*p < '0' || *p > '9') return false;
    int value = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
      value = value * 10 + (*p - '0');
      if (++digits > 3 || value > 255) return false;
    }
    if (++parts == 4) return *p == '\0';
    if (*p++ != '.') return false;
  }
}

}  // namespace

std::string FindFreeAddress(const char* host, const char* gateway, const AddressTaken& taken) {
  if (!IsDottedQuad(host)) return host;
  const std::uint32_t hostAddress = ws2::inet_addr(host);
  const std::uint32_t gatewayAddress = ws2::inet_addr(gateway);
  const std::uint32_t network = hostAddress & ws2::htonl(0xFFFFFF00);
  for (std::uint32_t last = 254; last >= 1; --last) {
    const std::uint32_t candidate = network | ws2::htonl(last);
    if (candidate == hostAddress || candidate == gatewayAddress || taken(candidate)) continue;
    if (PintTest(candidate) != 1) continue;
    const std::string answer = ws2::inet_ntoa(ws2::in_addr{candidate});
    DebugLog("got one ip: %s\n", answer.c_str());
    return answer;
  }
  return host;
}

}  // namespace prowlnet
