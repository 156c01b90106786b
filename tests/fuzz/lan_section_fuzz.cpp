// The LAN section reader, on any text: a camera's reply or the host's own.
#include "engine/config_sections.h"
#include "record_checks.h"

using namespace prowlnet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const auto text = fuzz::Text(data, size);
  LANCfg lan{};
  const int result = Network_getLANCfgByXml(lan, text.get());
  FUZZ_CHECK(result == 0 || result == -1);
  FUZZ_CHECK(fuzz::LanIsWhole(lan));
  if (result != 0) FUZZ_CHECK(fuzz::SameBytes(lan, LANCfg{}));
  return 0;
}
