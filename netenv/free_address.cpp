// The free address finder: candidates .254 down to .1 within the host address's first three
// octets, passing over every address known to be taken, then probing the rest with ICMP echo.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diag/debug_log.h"
#include "engine/ansi_text.h"
#include "engine/control_object.h"
#include "engine/text_field.h"
#include "netenv/host_net_info.h"
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

/// Whether some device in the table has `address` as its LAN address.
bool DeviceHasAddress(SharedState& shared, std::uint32_t address) {
  CriticalSectionLock lock(shared.lock);
  const DeviceTable& table = shared.table;
  for (int i = 0; i < table.count; ++i) {
    if (LanAddressOf(table.slots[static_cast<size_t>(i)]->lan) == address) return true;
  }
  return false;
}

}  // namespace

HRESULT CCProwlnet::GetOneIPAddress(BSTR* strResult) {
  LoadHostNetInfoIfNeeded(shared());
  char host[HostNetInfo::kSize];
  char gateway[HostNetInfo::kSize];
  ReadHostNetEntry(shared(), HostNetInfo::kAddress, host);
  ReadHostNetEntry(shared(), HostNetInfo::kGateway, gateway);

  std::string answer = host;
  // Without an address of its own the host has no subnet to search: probe nothing.
  if (IsDottedQuad(host)) {
    const std::uint32_t hostAddress = ws2::inet_addr(host);
    const std::uint32_t gatewayAddress = ws2::inet_addr(gateway);
    const std::uint32_t network = hostAddress & ws2::htonl(0xFFFFFF00);
    for (std::uint32_t last = 254; last >= 1; --last) {
      const std::uint32_t candidate = network | ws2::htonl(last);
      if (candidate == hostAddress || candidate == gatewayAddress || DeviceHasAddress(shared(), candidate) ||
          assignedAddresses_.Holds(candidate)) {
        continue;
      }
      if (PintTest(candidate) == 1) {
        answer = ws2::inet_ntoa(ws2::in_addr{candidate});
        DebugLog("got one ip: %s\n", answer.c_str());
        break;
      }
    }
  }
  BSTR result = BstrFromAnsi(answer.c_str());
  if (result == nullptr) return E_OUTOFMEMORY;
  StoreOrFree(result, strResult);
  return S_OK;
}

}  // namespace prowlnet
