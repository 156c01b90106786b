// The free address finder: an address on the host's subnet that nothing seems to use.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace prowlnet {

/// Whether an address (network byte order) is known to be taken by something the caller keeps.
using AddressTaken = std::function<bool(std::uint32_t address)>;

/// Tries the candidates .254 down to .1 within the first three octets of `host`, passing over
/// the host itself, `gateway` and every address that `taken` names before any probe, and
/// probing the rest with ICMP echo. Returns the first silent candidate ("got one ip" is logged),
/// or `host` as it stands when none is silent or `host` is not a dotted quad (nothing is probed
/// then: there is no subnet to search).
std::string FindFreeAddress(const char* host, const char* gateway, const AddressTaken& taken);

}  // namespace prowlnet
