#include "addresses.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "pal/iphlpapi.h"

namespace prowlnet_cli {

std::optional<std::uint32_t> ParseDottedQuad(const std::string& text) {
  std::uint32_t address = 0;
  size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return std::nullopt;
      ++at;
    }
    const size_t start = at;
    unsigned value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 3) value = value * 10 + (text[at++] - '0');
    if (at == start || value > 255) return std::nullopt;
    address = address << 8 | value;
  }
  if (at != text.size()) return std::nullopt;
  return address;
}

std::string DottedQuad(std::uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, address >> 16 & 0xFF, address >> 8 & 0xFF, address & 0xFF);
  return text;
}

bool IsContiguousNetmask(std::uint32_t mask) {
  const std::uint32_t inverted = ~mask;
  return (inverted & (inverted + 1)) == 0;
}

std::vector<Subnet> LocalSubnets() {
  ULONG size = 0;
  if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW) return {};
  std::unique_ptr<BYTE, decltype(&std::free)> buffer(static_cast<BYTE*>(std::calloc(size, 1)), &std::free);
  auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get());
  if (adapters == nullptr || GetAdaptersInfo(adapters, &size) != ERROR_SUCCESS) return {};
  std::vector<Subnet> subnets;
  for (const IP_ADAPTER_INFO* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
    for (const IP_ADDR_STRING* entry = &adapter->IpAddressList; entry != nullptr; entry = entry->Next) {
      const auto address = ParseDottedQuad(entry->IpAddress.String);
      const auto mask = ParseDottedQuad(entry->IpMask.String);
      if (address && mask && *address != 0) subnets.push_back({*address, *mask});
    }
  }
  return subnets;
}

bool OnAnySubnet(const std::vector<Subnet>& subnets, std::uint32_t address) {
  for (const Subnet& subnet : subnets) {
    if ((subnet.address & subnet.mask) == (address & subnet.mask)) return true;
  }
  return false;
}

bool IsLocalAddress(const std::vector<Subnet>& subnets, std::uint32_t address) {
  for (const Subnet& subnet : subnets) {
    if (subnet.address == address) return true;
  }
  return false;
}

}  // namespace prowlnet_cli
