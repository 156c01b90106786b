// A received datagram through the serial number and type reader and the whole reply intake,
// into a real device table: once as a first sighting, and again as a refresh in place.
#include <cstring>

#include "engine/envelope.h"
#include "engine/reply_intake.h"
#include "record_checks.h"

using namespace prowlnet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size > static_cast<size_t>(kEnvelopeBufferSize)) return -1;  // longer datagrams are never read
  const auto text = fuzz::Text(data, size);

  IpcInfo named{};
  const int parsed = ParseSerialAndType(named.serialNumber, named.deviceType, text.get());
  FUZZ_CHECK(parsed <= 0 && parsed >= -3);
  FUZZ_CHECK(fuzz::Terminated(named.serialNumber) && fuzz::Terminated(named.deviceType));

  SharedState shared;
  HandleSearchReply(shared, text.get(), static_cast<int>(size));
  HandleSearchReply(shared, text.get(), static_cast<int>(size));
  FUZZ_CHECK(shared.table.count == 0 || shared.table.count == 1);
  if (shared.table.count == 0) return 0;
  const IpcInfo& entered = *shared.table.slots[0];
  FUZZ_CHECK(parsed == 0);
  FUZZ_CHECK(fuzz::RecordIsWhole(entered));
  FUZZ_CHECK(std::strcmp(entered.serialNumber, named.serialNumber) == 0);
  return 0;
}
