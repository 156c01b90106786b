// The probe's judgement of one datagram received on its ICMP socket, whoever sent it: judged as
// a raw socket's whole IPv4 packet, and as a datagram socket's bare ICMP message whose sender
// recvfrom gave as the bytes where a raw packet holds it.
#include <cstring>

#include "fuzz_input.h"
#include "netenv/icmp_probe.h"

using namespace prowlnet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  // What a receive can give: 1 to 256 bytes in the cleared buffer.
  if (size == 0 || size > static_cast<size_t>(kProbeReceiveSize)) return -1;
  std::uint8_t packet[kProbeReceiveSize] = {};
  std::memcpy(packet, data, size);
  static constexpr std::uint8_t kTarget[4] = {10, 77, 1, 254};
  std::uint32_t target;
  std::memcpy(&target, kTarget, sizeof target);
  std::uint32_t from;
  std::memcpy(&from, packet + 12, sizeof from);

  if (IsEchoReplyFrom(IcmpSocketKind::kRaw, packet, static_cast<int>(size), from, target)) {
    const int headerLength = (packet[0] & 0x0F) * 4;
    FUZZ_CHECK(std::memcmp(packet + 12, kTarget, sizeof kTarget) == 0);
    FUZZ_CHECK(static_cast<int>(size) >= headerLength + 8);
    FUZZ_CHECK(packet[headerLength] == 0);
  }
  if (IsEchoReplyFrom(IcmpSocketKind::kDatagram, packet, static_cast<int>(size), from, target)) {
    FUZZ_CHECK(from == target);
    FUZZ_CHECK(size >= 8);
    FUZZ_CHECK(packet[0] == 0);
  }
  return 0;
}
